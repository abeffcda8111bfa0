#pragma once

#include <string>

#include "GLServer/OptionsDialog.h"

struct IntroOptions {
  bool noDialog = false;
  OptionsChoice display;
  bool allowSoftware = false;
  long frames = 0;        // 0: no limit
  double seconds = 0;     // 0: no limit (capture: 10 s)
  std::string captureDir; // empty: no capture
  std::string videoPath;  // empty: no video
  double fps = 60;
  bool mute = false;
  bool stats = false;
  bool quiet = false;  // no progress line, no notes
};

enum class ParseResult { Run, Help, Version, Error };

// Reads argv; on Error, error holds the one-line message.
ParseResult parseCommandLine(int argc, const char* const* argv, IntroOptions& options, std::string& error);

// The --help text: the options' lines from the same table the parse reads, and the exit codes.
std::string usageText();

constexpr double kDefaultCaptureSeconds = 10;
