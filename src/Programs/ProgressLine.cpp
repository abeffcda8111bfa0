#include "Programs/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

bool ProgressLine::onTerminal(FILE* file) { return isatty(fileno(file)) != 0; }

std::string ProgressLine::clock(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

std::string ProgressLine::text(const std::string& done, double share, double elapsed) {
  share = std::clamp(share, 0.0, 1.0);
  // At the pace so far: what took `elapsed` did `share` of the work.
  const std::string taken = clock(elapsed), left = share > 0 ? clock(elapsed * (1 - share) / share) : "";
  char line[256];
  std::snprintf(line, sizeof line, "%s (%d%%), %s elapsed%s%s%s", done.c_str(), static_cast<int>(share * 100),
                taken.c_str(), left.empty() ? "" : ", ", left.c_str(), left.empty() ? "" : " left");
  return line;
}

void ProgressLine::update(const std::string& done, double share, double elapsed) {
  if (!shown_ || elapsed < 1 || (lastShown_ >= 0 && elapsed - lastShown_ < 0.25)) return;
  lastShown_ = elapsed;
  const std::string line = text(done, share, elapsed);
  // Spaces cover what a longer line before left.
  std::fprintf(out_, "\r%s%*s", line.c_str(), static_cast<int>(width_ > line.size() ? width_ - line.size() : 0), "");
  std::fflush(out_);
  width_ = line.size();
}

void ProgressLine::finish() {
  if (!width_) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(width_), "");
  std::fflush(out_);
  width_ = 0;
}
