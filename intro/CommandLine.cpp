#include "CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "usage: brackenfold [options]\n"
    "  --no-dialog          take the display settings from the command line\n"
    "  --size WxH           client size in pixels (default 640x480)\n"
    "  --bpp 16|32          colour bits (default 32)\n"
    "  --stencil            ask for an 8-bit stencil buffer\n"
    "  --fullscreen         switch the display to the chosen size\n"
    "  --frames N           end after N frames\n"
    "  --seconds S          end after S seconds (capture: S seconds of frames, default 10)\n"
    "  --allow-software     accept a software OpenGL renderer\n"
    "  --capture DIR        render offscreen at a fixed time step into DIR/frame_00000.png ...\n"
    "                       and DIR/soundtrack.wav\n"
    "  --fps F              capture frame rate (default 60)\n"
    "  --video FILE.mp4     render offscreen like --capture and write one video with the music (ffmpeg)\n"
    "  --mute               play no music\n"
    "  --stats              at the end, print start-up time, frame times and audio underruns\n"
    "  --help               show this text\n"
    "  --version            show the version\n";

namespace {
bool parseLong(const char* text, long low, long high, long& out) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno || end == text || *end || value < low || value > high) return false;
  out = value;
  return true;
}

bool parseDouble(const char* text, double low, double high, double& out) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (errno || end == text || *end || !std::isfinite(value) || value <= low || value > high) return false;
  out = value;
  return true;
}

bool parseSize(const char* text, int& width, int& height) {
  const char* x = std::strchr(text, 'x');
  if (!x) return false;
  const std::string w(text, x);
  long lw = 0, lh = 0;
  if (!parseLong(w.c_str(), 1, 16384, lw) || !parseLong(x + 1, 1, 16384, lh)) return false;
  width = static_cast<int>(lw);
  height = static_cast<int>(lh);
  return true;
}
}  // namespace

ParseResult parseCommandLine(int argc, const char* const* argv, IntroOptions& options, std::string& error) {
  bool fpsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) return nullptr;
      return argv[++i];
    };
    auto bad = [&](const char* what) {
      error = "brackenfold: " + arg + ": " + what;
      return ParseResult::Error;
    };
    if (arg == "--help" || arg == "-h") return ParseResult::Help;
    if (arg == "--version") return ParseResult::Version;
    if (arg == "--no-dialog") {
      options.noDialog = true;
    } else if (arg == "--stencil") {
      options.display.stencilBits = 8;
    } else if (arg == "--fullscreen") {
      options.display.fullscreen = true;
    } else if (arg == "--allow-software") {
      options.allowSoftware = true;
    } else if (arg == "--mute") {
      options.mute = true;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--video") {
      const char* v = value();
      if (!v || !*v) return bad("expected a file name");
      options.videoPath = v;
    } else if (arg == "--size") {
      const char* v = value();
      if (!v || !parseSize(v, options.display.width, options.display.height))
        return bad("expected WxH, each from 1 to 16384");
    } else if (arg == "--bpp") {
      const char* v = value();
      long bits = 0;
      if (!v || !parseLong(v, 16, 32, bits) || (bits != 16 && bits != 32)) return bad("expected 16 or 32");
      options.display.colourBits = static_cast<int>(bits);
    } else if (arg == "--frames") {
      const char* v = value();
      if (!v || !parseLong(v, 1, 1000000000, options.frames)) return bad("expected a whole number of frames, at least 1");
    } else if (arg == "--seconds") {
      const char* v = value();
      if (!v || !parseDouble(v, 0, 86400, options.seconds)) return bad("expected seconds above 0, at most 86400");
    } else if (arg == "--fps") {
      const char* v = value();
      if (!v || !parseDouble(v, 0, 1000, options.fps)) return bad("expected frames per second above 0, at most 1000");
      fpsGiven = true;
    } else if (arg == "--capture") {
      const char* v = value();
      if (!v || !*v) return bad("expected a folder");
      options.captureDir = v;
    } else {
      error = "brackenfold: unknown option " + arg + " (see --help)";
      return ParseResult::Error;
    }
  }
  if (fpsGiven && options.captureDir.empty() && options.videoPath.empty()) {
    error = "brackenfold: --fps: only with --capture or --video";
    return ParseResult::Error;
  }
  return ParseResult::Run;
}
