// The whole program, headless: SDL's offscreen driver and Mesa's software renderer.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "NoLeakCheck.h"
#include "RunTool.h"
#include "TempDir.h"

namespace {
ToolRun run(const std::string& args, const std::string& environment = "") {
  return runTool(environment + " " + kNoLeakCheckEnv + BRACKENFOLD_BIN + " " + args);
}

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

// SDL would fall back on its offscreen driver, whose software renderer is refused dialog after
// dialog: one line instead, before any window is tried.
TEST(Program, WithoutADisplayOneLineAndExitOne) {
  const ToolRun r = run("--seconds 1", "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  EXPECT_NE(r.output.find("no display"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("--capture DIR"), std::string::npos) << r.output;
}

// Drawn offscreen with no display for the dialog either, the settings cannot change between
// tries: one warning and the line that says what to do, not the dialog's every retry.
TEST(Program, OffscreenRefusalIsOneWarningAndTheWayOn) {
  const ToolRun r = run("--frames 5", "env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "Warning: The options you choosed are not hardware accelerated by your GFX Card\n"
                      "brackenfold: only a software OpenGL renderer is available here; run with --allow-software "
                      "to accept it\n");
}

TEST(Program, CaptureWritesEveryFrameOfTheFixedStep) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture=" + dir.path() + " --fps=10 --seconds 0.5");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "") << "no progress line where the output is no terminal";
  for (int i = 0; i < 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", i);
    EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("frame_00005.png")));
  // The rings turn between frames.
  EXPECT_NE(readFile(dir.file("frame_00000.png")), readFile(dir.file("frame_00004.png")));
}

// A shorter capture into the folder of a longer one leaves none of the old frames beside its
// own, and nothing else of the folder goes; a run refused before its first frame makes no folder.
TEST(Program, CaptureClearsAnEarlierCaptureAndFailedRunsLeaveNoFolder) {
  TempDir dir;
  for (const char* name : {"frame_00007.png", "frame_123456.png", "soundtrack.wav", "frame_7.png", "notes.txt"})
    std::ofstream(dir.file(name)) << "earlier";
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 10 --seconds 0.2");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("removed 3 files of an earlier capture"), std::string::npos) << r.output;
  for (const char* name : {"frame_00000.png", "frame_00001.png", "soundtrack.wav", "frame_7.png", "notes.txt"})
    EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
  for (const char* name : {"frame_00002.png", "frame_00007.png", "frame_123456.png"})
    EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
  EXPECT_NE(readFile(dir.file("soundtrack.wav")), "earlier");

  const ToolRun refused = run("--no-dialog --capture " + dir.file("new/frames") + " --fps 10 --seconds 0.2");
  EXPECT_EQ(refused.exitCode, 1) << refused.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("new"))) << refused.output;

  const ToolRun onAFile = run("--no-dialog --allow-software --capture " + dir.file("notes.txt") + " --frames 1");
  EXPECT_EQ(onAFile.exitCode, 2);
  EXPECT_EQ(onAFile.output, "brackenfold: --capture: cannot make folder " + dir.file("notes.txt") + ": Not a directory\n");
}

// On a terminal a capture says how far it has come, on one line rewritten in place and taken
// away at the end (script gives the run a terminal).
TEST(Program, CaptureShowsItsProgressOnATerminal) {
  if (runTool("script --version").exitCode != 0) GTEST_SKIP() << "no script(1) to give the run a terminal";
  TempDir dir;
  const ToolRun r = runTool("script -qec '" + std::string(kNoLeakCheckEnv) + BRACKENFOLD_BIN +
                            " --no-dialog --allow-software --capture " + dir.path() + " --fps 30 --seconds 2' /dev/null");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("\rbrackenfold: frame "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" of 60 ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" elapsed, "), std::string::npos) << r.output;
  const size_t last = r.output.rfind('\r');
  ASSERT_NE(last, std::string::npos);
  EXPECT_EQ(r.output.find_first_not_of(" \r\n", r.output.rfind('\r', last - 1)), std::string::npos)
      << "the line is blanked at the end";
}

TEST(Program, CapturedFrameShowsFiveRedShadesWithBlackOutlines) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 30 --seconds 0.1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const Picture frame = loadPng(dir.file("frame_00000.png"));
  ASSERT_EQ(frame.width, 640);
  ASSERT_EQ(frame.height, 480);

  // At angle 0 the rings face the camera: 16 units away with a 45 degree field, one unit is
  // 240 / (16 tan 22.5) = 36.2 pixels. They are opaque over the backdrop; the ring of letters
  // crosses them in a band around the middle row.
  const double unit = 240 / (16 * std::tan(22.5 * 3.14159265358979 / 180));
  std::map<int, int> shades;  // red value -> pixel count
  int outline = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const unsigned char* p = frame.at(x, y);
      const double radius = std::hypot(x + 0.5 - 320, y + 0.5 - 240) / unit;
      if (p[1] || p[2] || radius < 1.05 || radius > 5.95) continue;
      if (p[0] == 0)
        ++outline;
      else
        ++shades[p[0]];
    }
  }
  for (int i = 1; i <= 5; ++i) {
    const int expected = static_cast<int>(std::lround(0.1 * i * 255));
    const int count = shades[expected - 1] + shades[expected] + shades[expected + 1];
    EXPECT_GT(count, 1500) << "ring " << i << " shade " << expected;
  }
  EXPECT_GT(outline, 300) << "black outlines across the rings";
  const unsigned char* corner = frame.at(5, 5);
  EXPECT_EQ(corner[0] + corner[1] + corner[2], 0) << "black beyond the backdrop";
}

namespace {
struct Mean {
  double r = 0, g = 0, b = 0;
};

// Mean colour of a rectangle of the picture (x0..x1, y0..y1, rows from the top).
Mean meanOf(const Picture& p, int x0, int y0, int x1, int y1) {
  Mean m;
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x, ++n) {
      m.r += p.at(x, y)[0];
      m.g += p.at(x, y)[1];
      m.b += p.at(x, y)[2];
    }
  m.r /= n, m.g /= n, m.b /= n;
  return m;
}

int brightPixels(const Picture& p, int y0, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < p.width; ++x) n += std::min({p.at(x, y)[0], p.at(x, y)[1], p.at(x, y)[2]}) > 170;
  return n;
}
}  // namespace

// At z = -5 the picture is 2 * 5 tan 22.5 = 4.14 units high: 116 pixels a unit, from the middle.
TEST(Program, CapturedFramesShowTheBackdropPanelAndRingText) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 2 --seconds 5");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const Picture first = loadPng(dir.file("frame_00000.png"));
  const Picture late = loadPng(dir.file("frame_00009.png"));
  ASSERT_EQ(first.width, 640);

  // The panel: x from -1.8 to 1.7, y from 1.5 to 1.8 at the start (rows 31 to 66).
  EXPECT_GT(meanOf(first, 140, 36, 480, 62).r + meanOf(first, 140, 36, 480, 62).b, 40) << "the logo panel";
  EXPECT_LT(meanOf(first, 0, 0, 640, 24).r + meanOf(first, 0, 0, 640, 24).b, 2) << "black above it";
  // The layers fill rows 101 to 379; bar pair 3 (y 1.145 to 1.175) cuts rows 104 to 107.
  const Mean layer = meanOf(first, 0, 115, 60, 200);
  EXPECT_GT(layer.r + layer.g + layer.b, 60) << "the first layer";
  EXPECT_LT(meanOf(first, 0, 105, 60, 107).r + meanOf(first, 0, 105, 60, 107).b, 10) << "a black bar";
  // 4.5 s later the second layer has faded in to about 0.88: a different colour mix.
  const Mean crossed = meanOf(late, 0, 115, 60, 200);
  EXPECT_GT(std::abs((crossed.r - crossed.b) - (layer.r - layer.b)), 20) << "the second layer";
  // The ring of letters: its near side 9 units away, 0.5 high, rows 224 to 256.
  EXPECT_GT(brightPixels(first, 222, 258), 150) << "bright letters in front";
  EXPECT_LT(brightPixels(first, 300, 360), brightPixels(first, 222, 258) / 4);
}

namespace {
std::string moduleFile() {
  std::ifstream manifest(SOURCE_DIR "/resources/resources.txt");
  std::string type, number, file;
  while (manifest >> type) {
    if (type[0] == '#') {
      std::getline(manifest, file);
      continue;
    }
    manifest >> number >> file;
    if ((type == "SOUND" || type == "sound") && number == "184") return SOURCE_DIR "/resources/" + file;
  }
  return "";
}
}  // namespace

TEST(Program, CaptureSoundtrackIsTheModuleAsBfrenderRendersIt) {
  TempDir dir;
  const ToolRun r = run("--no-dialog --allow-software --capture " + dir.path() + " --fps 25 --seconds 2");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string wav = readFile(dir.file("soundtrack.wav"));
  ASSERT_EQ(wav.size(), 44u + 2 * 44100 * 4) << "2 s of 16-bit stereo";
  const std::string module = moduleFile();
  ASSERT_FALSE(module.empty()) << "the manifest lists module 184";
  const ToolRun x = runTool(std::string(BFRENDER_BIN) + " " + module + " " + dir.file("x.wav") + " --seconds 2 --rules intro");
  ASSERT_EQ(x.exitCode, 0) << x.output;
  EXPECT_TRUE(wav == readFile(dir.file("x.wav"))) << "the soundtrack differs from bfrender's";
  size_t loud = 0;
  for (size_t i = 44; i + 1 < wav.size(); i += 2)
    loud += std::abs(static_cast<int16_t>(static_cast<unsigned char>(wav[i]) | wav[i + 1] << 8)) > 1000;
  EXPECT_GT(loud, 10000u) << "music, not silence";
}


// The live path: SoundXM on the SDL audio device (SDL's disk driver, which writes what it plays
// to a file at the pace of a sound card) plays the module as bfrender renders it.
TEST(Program, MusicPlaysOnTheAudioDevice) {
  TempDir dir;
  const std::string raw = dir.file("played.raw");
  const ToolRun r = run("--no-dialog --allow-software --seconds 3 --stats", "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + raw);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(" audio underruns"), std::string::npos) << r.output;
  const ToolRun x = runTool(std::string(BFRENDER_BIN) + " " + moduleFile() + " " + dir.file("x.wav") + " --seconds 1 --rules intro");
  ASSERT_EQ(x.exitCode, 0) << x.output;
  const std::string played = readFile(raw), rendered = readFile(dir.file("x.wav")).substr(44);
  // The device plays silence until the ring starts.
  const size_t start = played.find_first_not_of('\0');
  ASSERT_NE(start, std::string::npos) << "nothing was played";
  const size_t frameStart = start / 4 * 4;
  ASSERT_GE(played.size(), frameStart + 88200) << "less than half a second played";
  const size_t firstNonZero = rendered.find_first_not_of('\0') / 4 * 4;
  EXPECT_EQ(played.substr(frameStart, 88200), rendered.substr(firstNonZero, 88200));
}

TEST(Program, VideoHoldsPicturesAndSound) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir dir;
  const std::string video = dir.file("intro.mp4");
  const ToolRun r = run("--no-dialog --allow-software --video " + video + " --fps 10 --seconds 1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const ToolRun probe = runTool("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + video);
  EXPECT_NE(probe.output.find("video"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("audio"), std::string::npos) << probe.output;
}
