#include "VideoEncoder.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::string shellQuoted(const std::string& path) {
  std::string out = "'";
  for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
}  // namespace

bool VideoEncoder::available(std::string& error) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
    error = "brackenfold: --video needs ffmpeg, which is not installed (apt-get install ffmpeg)";
    return false;
  }
  return true;
}

VideoEncoder::VideoEncoder(std::string output, std::string workDir, int width, int height, double fps)
    : output(std::move(output)), workDir(std::move(workDir)), width(width), height(height), fps(fps) {}

VideoEncoder::~VideoEncoder() {
  if (pipe) pclose(pipe);
}

bool VideoEncoder::start() {
  char format[160];
  std::snprintf(format, sizeof format, "-f rawvideo -pix_fmt rgb24 -video_size %dx%d -framerate %.6g", width, height,
                fps);
  const std::string command = "ffmpeg -loglevel error -y " + std::string(format) +
                              " -i - -c:v libx264 -preset fast -crf 18 -pix_fmt yuv420p " + shellQuoted(silentVideo());
  pipe = popen(command.c_str(), "w");
  return pipe != nullptr;
}

bool VideoEncoder::write(const unsigned char* rgb) {
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  return pipe && std::fwrite(rgb, 1, bytes, pipe) == bytes;
}

bool VideoEncoder::finish(const std::string& wavPath) {
  if (!pipe) return false;
  const int encoded = pclose(pipe);
  pipe = nullptr;
  if (encoded != 0) return false;
  const std::string command = "ffmpeg -loglevel error -y -i " + shellQuoted(silentVideo()) + " -i " + shellQuoted(wavPath) +
                              " -c:v copy -c:a aac -b:a 192k -shortest -movflags +faststart " + shellQuoted(output);
  const bool muxed = std::system(command.c_str()) == 0;
  std::remove(silentVideo().c_str());
  return muxed;
}
