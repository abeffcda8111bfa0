// The option parser every tool and the intro share, and the progress line of long work.
#include "Programs/Options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Programs/ProgressLine.h"

namespace {
// A tool's table as the players declare theirs.
struct Tool {
  bool loop = false, quiet = false;
  long rate = 44100;
  double gain = 0, fps = 60;
  std::string out;
  int width = 640, height = 480;
  Options options{"tool",
                  {Option::flag("--loop", 'l', loop, "play on"),
                   Option::integer("--rate", 'r', "R", "Hz", 8000, 192000, rate, "frames per second"),
                   Option::number("--gain", 0, "DB", "decibels", -48, 48, false, gain, "louder or quieter"),
                   Option::number("--fps", 0, "F", "frames per second", 0, 1000, true, fps, "frame rate"),
                   Option::text("--output", 'o', "OUT", "a file name", out, "the file to write"),
                   Option::size("--size", 0, 4096, width, height, "the size"),
                   Option::flag("--quiet", 'q', quiet, "only errors\nand nothing else")}};

  Options::Result parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tool");
    return options.parse(static_cast<int>(args.size()), args.data());
  }
};
}  // namespace

TEST(Options, ValuesSeparateOrJoinedAndOptionsAnywhereAmongTheFiles) {
  Tool t;
  ASSERT_EQ(t.parse({"in.xm", "--rate", "48000", "--gain=-6.5", "-o", "a.wav", "-r22050", "--size=320x200", "b"}),
            Options::Result::kRun)
      << t.options.error();
  EXPECT_EQ(t.rate, 22050) << "the last one given stands";
  EXPECT_EQ(t.gain, -6.5);
  EXPECT_EQ(t.out, "a.wav");
  EXPECT_EQ(t.width, 320);
  EXPECT_EQ(t.height, 200);
  EXPECT_EQ(t.options.operands(), (std::vector<std::string>{"in.xm", "b"}));
  EXPECT_TRUE(t.options.given("--gain"));
  EXPECT_FALSE(t.options.given("--loop"));
}

// A value may be kept as a pointer (a name looked up later): it points into argv, whichever
// way it was given.
TEST(Options, ValuesKeptAsPointersOutliveTheParse) {
  struct Kept {
    const char* values[3] = {};
    int n = 0;
  } kept;
  Options options("tool", {Option::custom(
                              "--rules", 'R', "NAME", "a name",
                              [](const char* v, void* k) {
                                Kept& into = *static_cast<Kept*>(k);
                                into.values[into.n++] = v;
                                return true;
                              },
                              &kept, "rules")});
  const char* args[] = {"tool", "--rules=ft2", "-Rintro", "--rules", "pt"};
  ASSERT_EQ(options.parse(5, args), Options::Result::kRun);
  EXPECT_STREQ(kept.values[0], "ft2");
  EXPECT_STREQ(kept.values[1], "intro");
  EXPECT_STREQ(kept.values[2], "pt");
  EXPECT_EQ(kept.values[0], args[1] + 8);
}

TEST(Options, ShortFlagsRunTogetherAndDoubleDashEndsTheOptions) {
  Tool t;
  ASSERT_EQ(t.parse({"-lqo", "x.wav", "--", "-r", "--loop", "-"}), Options::Result::kRun) << t.options.error();
  EXPECT_TRUE(t.loop);
  EXPECT_TRUE(t.quiet);
  EXPECT_EQ(t.out, "x.wav");
  EXPECT_EQ(t.rate, 44100);
  EXPECT_EQ(t.options.operands(), (std::vector<std::string>{"-r", "--loop", "-"}));
}

TEST(Options, HelpAndVersionWinOverMistakesWherever) {
  Tool t;
  EXPECT_EQ(t.parse({"--bogus", "--rate", "1", "-h"}), Options::Result::kHelp);
  EXPECT_EQ(t.parse({"--version", "--bogus"}), Options::Result::kVersion);
  EXPECT_EQ(t.parse({"-V"}), Options::Result::kVersion);
  EXPECT_EQ(t.parse({"--", "--help"}), Options::Result::kRun) << "after --, a file named --help";
}

// Every mistake is one line naming the option, the value and what is allowed.
TEST(Options, MistakesAreOneLineWithTheRange) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"--rate", "4000"}, "tool: --rate: bad value 4000 (a whole number of Hz from 8000 to 192000)"},
      {{"-r", "48k"}, "tool: -r: bad value 48k (a whole number of Hz from 8000 to 192000)"},
      {{"--rate=44100.5"}, "tool: --rate: bad value 44100.5 (a whole number of Hz from 8000 to 192000)"},
      {{"--gain", "49"}, "tool: --gain: bad value 49 (decibels from -48 to 48)"},
      {{"--gain=nan"}, "tool: --gain: bad value nan (decibels from -48 to 48)"},
      {{"--fps", "0"}, "tool: --fps: bad value 0 (frames per second above 0, at most 1000)"},
      {{"--size", "0x5"}, "tool: --size: bad value 0x5 (WxH, each a whole number from 1 to 4096)"},
      {{"--size", "5x"}, "tool: --size: bad value 5x (WxH, each a whole number from 1 to 4096)"},
      {{"--output="}, "tool: --output: bad value \"\" (a file name)"},
      {{"--rate"}, "tool: --rate: missing value (a whole number of Hz from 8000 to 192000)"},
      {{"a", "-o"}, "tool: -o: missing value (a file name)"},
      {{"--loop=yes"}, "tool: --loop: takes no value"},
      {{"--lop"}, "tool: unknown option --lop (see --help)"},
      {{"-lx"}, "tool: unknown option -x (see --help)"},
  };
  for (const auto& [args, message] : cases) {
    Tool t;
    EXPECT_EQ(t.parse(args), Options::Result::kError) << message;
    EXPECT_EQ(t.options.error(), message);
  }
}

TEST(Options, OptionsThatDoNotGoTogether) {
  Tool t;
  ASSERT_EQ(t.parse({"--loop", "-q"}), Options::Result::kRun);
  EXPECT_TRUE(t.options.apart("--loop", "--gain", "why"));
  EXPECT_FALSE(t.options.apart("--quiet", "--loop", "a loop says nothing"));
  EXPECT_EQ(t.options.error(), "tool: --quiet: not with --loop (a loop says nothing)");
}

// The help's option lines come from the table, aligned, continued lines under the text.
TEST(Options, HelpLinesFromTheTable) {
  Tool t;
  EXPECT_EQ(t.options.helpText(),
            "  -l, --loop        play on\n"
            "  -r, --rate R      frames per second\n"
            "      --gain DB     louder or quieter\n"
            "      --fps F       frame rate\n"
            "  -o, --output OUT  the file to write\n"
            "      --size WxH    the size\n"
            "  -q, --quiet       only errors\n"
            "                    and nothing else\n"
            "  -h, --help        print the usage, the options and the exit status\n"
            "  -V, --version     print the version\n");
}

TEST(ProgressLine, TextSaysDoneShareElapsedAndLeft) {
  EXPECT_EQ(ProgressLine::text("frame 300 of 1200", 0.25, 4), "frame 300 of 1200 (25%), 0:04 elapsed, 0:12 left");
  EXPECT_EQ(ProgressLine::text("x", 0, 2), "x (0%), 0:02 elapsed");
  EXPECT_EQ(ProgressLine::clock(3725.4), "1:02:05");
}

// Shown only after the first second, at most four times a second, taken away at the end.
TEST(ProgressLine, RewritesInPlaceAndLeavesNothingBehind) {
  char buffer[512] = {};
  FILE* out = fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(out, nullptr);
  {
    ProgressLine line(out, true);
    line.update("a", 0.1, 0.5);
    line.update("bb", 0.5, 1.0);
    line.update("c", 0.6, 1.1);
    line.update("d", 1.0, 2.0);
  }
  std::fclose(out);
  const std::string b = "bb (50%), 0:01 elapsed, 0:01 left", d = "d (100%), 0:02 elapsed, 0:00 left";
  EXPECT_EQ(std::string(buffer), "\r" + b + "\r" + d + std::string(b.size() - d.size(), ' ') + "\r" +
                                     std::string(d.size(), ' ') + "\r");
}
