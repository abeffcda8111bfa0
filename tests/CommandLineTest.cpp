#include "CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
ParseResult parse(std::vector<const char*> args, IntroOptions& options, std::string& error) {
  args.insert(args.begin(), "brackenfold");
  return parseCommandLine(static_cast<int>(args.size()), args.data(), options, error);
}
}  // namespace

TEST(CommandLine, DefaultsAreTheDialogsDefaults) {
  IntroOptions o;
  std::string error;
  ASSERT_EQ(parse({}, o, error), ParseResult::Run);
  EXPECT_FALSE(o.noDialog);
  EXPECT_EQ(o.display.width, 640);
  EXPECT_EQ(o.display.height, 480);
  EXPECT_EQ(o.display.colourBits, 32);
  EXPECT_EQ(o.display.stencilBits, 0);
  EXPECT_FALSE(o.display.fullscreen);
  EXPECT_EQ(o.frames, 0);
  EXPECT_TRUE(o.captureDir.empty());
  EXPECT_EQ(o.fps, 60);
}

TEST(CommandLine, EveryOptionLandsInItsField) {
  IntroOptions o;
  std::string error;
  ASSERT_EQ(parse({"--no-dialog", "--size", "1024x768", "--bpp", "16", "--stencil", "--fullscreen", "--frames",
                   "42", "--allow-software", "--capture", "out", "--fps", "29.97", "--seconds", "2.5"},
                  o, error),
            ParseResult::Run)
      << error;
  EXPECT_TRUE(o.noDialog);
  EXPECT_EQ(o.display.width, 1024);
  EXPECT_EQ(o.display.height, 768);
  EXPECT_EQ(o.display.colourBits, 16);
  EXPECT_EQ(o.display.stencilBits, 8);
  EXPECT_TRUE(o.display.fullscreen);
  EXPECT_EQ(o.frames, 42);
  EXPECT_TRUE(o.allowSoftware);
  EXPECT_EQ(o.captureDir, "out");
  EXPECT_DOUBLE_EQ(o.fps, 29.97);
  EXPECT_DOUBLE_EQ(o.seconds, 2.5);
}

TEST(CommandLine, HelpAndVersionWinWherever) {
  IntroOptions o;
  std::string error;
  EXPECT_EQ(parse({"--frames", "3", "--help"}, o, error), ParseResult::Help);
  EXPECT_EQ(parse({"--version", "--bogus"}, o, error), ParseResult::Version);
}

TEST(CommandLine, BadValuesAreErrorsNamingTheOption) {
  const std::vector<std::vector<const char*>> cases = {
      {"--size"},          {"--size", "640"},      {"--size", "640x"},    {"--size", "x480"},
      {"--size", "0x480"}, {"--size", "640x480x"}, {"--size", "99999x1"}, {"--bpp", "24"},
      {"--bpp", "32b"},    {"--frames", "0"},      {"--frames", "-3"},    {"--frames", "1e3"},
      {"--fps", "0", "--capture", "d"}, {"--fps", "nan", "--capture", "d"}, {"--seconds", "inf"},
      {"--seconds", "-1"}, {"--capture", ""},      {"--fps", "30"},       {"--frame"},
      {"--mute", "--video", "a.mp4"}};
  for (const auto& args : cases) {
    IntroOptions o;
    std::string error;
    EXPECT_EQ(parse(args, o, error), ParseResult::Error) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(error.rfind("brackenfold: ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(CommandLine, ValuesAfterEqualsAndShortForms) {
  IntroOptions o;
  std::string error;
  ASSERT_EQ(parse({"--capture=out", "--fps=30", "--size=320x200", "-q"}, o, error), ParseResult::Run) << error;
  EXPECT_EQ(o.captureDir, "out");
  EXPECT_EQ(o.fps, 30);
  EXPECT_EQ(o.display.width, 320);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(parse({"-V"}, o, error), ParseResult::Version);
  EXPECT_EQ(parse({"--frames", "0"}, o, error), ParseResult::Error);
  EXPECT_EQ(error, "brackenfold: --frames: bad value 0 (a whole number of frames from 1 to 1000000000)");
  EXPECT_EQ(parse({"frames"}, o, error), ParseResult::Error);
  EXPECT_EQ(error, "brackenfold: unexpected argument frames (the intro takes options only; see --help)");
}
