// The whole program, headless: SDL's offscreen driver and Mesa's software renderer.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "NoLeakCheck.h"
#include "RunTool.h"
#include "TempDir.h"

namespace {
ToolRun run(const std::string& args) { return runTool(std::string(kNoLeakCheckEnv) + BRACKENFOLD_BIN + " " + args); }

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Picture loadPng(const std::string& path) {
  Picture p;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &p.width, &p.height, &channels, 3);
  if (data) {
    p.rgb.assign(data, data + static_cast<size_t>(p.width) * p.height * 3);
    stbi_image_free(data);
  }
  return p;
}
}  // namespace

TEST(Program, RunsFiveFramesAndEndsWithZero) {
  const ToolRun r = run("--no-dialog --frames 5 --allow-software");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(Program, SoftwareRendererIsRefusedWithoutPermission) {
  const ToolRun r = run("--no-dialog --frames 5");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("The options you choosed are not hardware accelerated by your GFX Card"), std::string::npos)
      << r.output;
}

TEST(Program, RefusedFullscreenModeStillRuns) {
  const ToolRun r = run("--no-dialog --fullscreen --size 333x222 --frames 2 --allow-software");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(Program, HelpAndVersion) {
  ToolRun r = run("--help");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("--capture DIR"), std::string::npos);
  r = run("--version");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output.rfind("brackenfold ", 0), 0u);
}

TEST(Program, BadValuesGiveOneLineAndExitCodeTwo) {
  for (const char* args : {"--bpp 24", "--size 640", "--size 0x480", "--frames -1", "--fps 30", "--capture",
                           "--seconds abc", "--bogus"}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << args << ": " << r.output;
  }
}

TEST(Program, CaptureWritesEveryFrameOfTheFixedStep) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 10 --seconds 0.5");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (int i = 0; i < 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", i);
    EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("frame_00005.png")));
  // The rings turn between frames.
  EXPECT_NE(readFile(dir.file("frame_00000.png")), readFile(dir.file("frame_00004.png")));
}

TEST(Program, CapturedFrameShowsFiveRedShadesWithBlackOutlinesOnBlack) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 30 --seconds 0.1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const Picture frame = loadPng(dir.file("frame_00000.png"));
  ASSERT_EQ(frame.width, 640);
  ASSERT_EQ(frame.height, 480);

  // At angle 0 the rings face the camera: 16 units away with a 45 degree field, one unit is
  // 240 / (16 tan 22.5) = 36.2 pixels.
  const double unit = 240 / (16 * std::tan(22.5 * 3.14159265358979 / 180));
  std::map<int, int> shades;  // red value -> pixel count
  int outline = 0, other = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const unsigned char* p = frame.at(x, y);
      if (p[1] || p[2]) {
        ++other;
        continue;
      }
      const double radius = std::hypot(x + 0.5 - 320, y + 0.5 - 240) / unit;
      if (p[0] == 0) {
        if (radius > 1.3 && radius < 5.7) ++outline;
      } else {
        ++shades[p[0]];
      }
    }
  }
  EXPECT_EQ(other, 0) << "only shades of red and black";
  for (int i = 1; i <= 5; ++i) {
    const int expected = static_cast<int>(std::lround(0.1 * i * 255));
    const int count = shades[expected - 1] + shades[expected] + shades[expected + 1];
    EXPECT_GT(count, 2000) << "ring " << i << " shade " << expected;
  }
  EXPECT_GT(outline, 300) << "black outlines across the rings";
  const unsigned char* centre = frame.at(320, 240);
  EXPECT_EQ(centre[0], 0) << "the smallest ring has a hole of radius 1";
  const unsigned char* corner = frame.at(5, 5);
  EXPECT_EQ(corner[0], 0) << "black background";
}
