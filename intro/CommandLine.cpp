#include "CommandLine.h"

#include <cstring>

#include "Programs/Options.h"

namespace {
const char kSynopsis[] = "usage: brackenfold [options]\n";
const char kOptionsHeading[] = "options (--opt=value too):\n";
const char kExitStatus[] =
    "exit status:\n"
    "  0  the intro ran to its end (Escape, the window closed, --frames or --seconds)\n"
    "  1  no window could be opened, or the settings were cancelled\n"
    "  2  a bad option or value, or a capture that could not be written\n";

// The intro's options as one table, reading into o; the stencil flag lands in stencil.
Options optionTable(IntroOptions& o, bool& stencil) {
  return Options(
      "brackenfold",
      {Option::flag("--no-dialog", 0, o.noDialog, "take the display settings from the command line"),
       Option::size("--size", 0, 16384, o.display.width, o.display.height, "client size in pixels (default 640x480)"),
       Option::custom(
           "--bpp", 0, "16|32", "16 or 32",
           [](const char* v, void* bits) {
             if (std::strcmp(v, "16") != 0 && std::strcmp(v, "32") != 0) return false;
             *static_cast<int*>(bits) = v[0] == '1' ? 16 : 32;
             return true;
           },
           &o.display.colourBits, "colour bits (default 32)"),
       Option::flag("--stencil", 0, stencil, "ask for an 8-bit stencil buffer"),
       Option::flag("--fullscreen", 0, o.display.fullscreen, "switch the display to the chosen size"),
       Option::integer("--frames", 0, "N", "frames", 1, 1000000000, o.frames, "end after N frames"),
       Option::number("--seconds", 0, "S", "seconds", 0, 86400, true, o.seconds,
                      "end after S seconds (capture: S seconds of frames, default 10)"),
       Option::flag("--allow-software", 0, o.allowSoftware, "accept a software OpenGL renderer"),
       Option::text("--capture", 0, "DIR", "a folder", o.captureDir,
                    "render offscreen at a fixed time step into DIR/frame_00000.png ...\n"
                    "and the music, in lockstep, into DIR/soundtrack.wav"),
       Option::number("--fps", 0, "F", "frames per second", 0, 1000, true, o.fps, "capture frame rate (default 60)"),
       Option::text("--video", 0, "FILE.mp4", "a file name", o.videoPath,
                    "render offscreen like --capture and write one video with the music (ffmpeg)"),
       Option::flag("--mute", 0, o.mute, "play no music"),
       Option::flag("--stats", 0, o.stats, "at the end, print start-up time, frame times and audio underruns"),
       Option::flag("--quiet", 'q', o.quiet, "no progress line and no notes, only warnings and errors")});
}
}  // namespace

std::string usageText() {
  IntroOptions unused;
  bool stencil = false;
  return kSynopsis + std::string(kOptionsHeading) + optionTable(unused, stencil).helpText() + kExitStatus;
}

ParseResult parseCommandLine(int argc, const char* const* argv, IntroOptions& options, std::string& error) {
  bool stencil = false;
  Options table = optionTable(options, stencil);
  switch (table.parse(argc, argv)) {
    case Options::Result::kHelp: return ParseResult::Help;
    case Options::Result::kVersion: return ParseResult::Version;
    case Options::Result::kError: error = table.error(); return ParseResult::Error;
    case Options::Result::kRun: break;
  }
  if (!table.operands().empty()) {
    error = table.message("unexpected argument " + table.operands()[0] + " (the intro takes options only; see --help)");
    return ParseResult::Error;
  }
  if (stencil) options.display.stencilBits = 8;
  const bool capturing = !options.captureDir.empty() || !options.videoPath.empty();
  if (table.given("--fps") && !capturing) {
    error = table.message("--fps: only with --capture or --video");
    return ParseResult::Error;
  }
  if (options.mute && capturing) {
    error = table.message("--mute: not with --capture or --video (they play nothing and write the music)");
    return ParseResult::Error;
  }
  return ParseResult::Run;
}
