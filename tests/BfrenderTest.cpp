// The bfrender tool, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "RunTool.h"
#include "TempDir.h"
#include "MODTestModules.h"
#include "S3MTestModules.h"
#include "XMTestModules.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"

namespace {
ToolRun bfrender(const std::string& args) { return runTool(std::string(BFRENDER_BIN) + " " + args); }

void save(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

uint32_t le32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

// Two orders of 4 rows at speed 3, the second jumping back to the first: one pass is 8 rows.
XMModuleSpec loopingSong() {
  XMModuleSpec m = constantModule(2, 4);
  m.speed = 3;
  m.patterns.resize(2);
  m.patterns[1].rows = 4;
  m.patterns[1].at(3, 0, 2) = {0, 0, 0, 0xB, 0};
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.orders = {0, 1};
  return m;
}
}  // namespace

TEST(Bfrender, OnePassEndsWhereTheOrdersComeBack) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(loopingSong()));
  const ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file("out.wav"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string wav = readFile(dir.file("out.wav"));
  ASSERT_GE(wav.size(), 44u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(le32(wav, 24), 44100u);
  EXPECT_EQ(le32(wav, 28), 44100u * 4);
  // 8 rows x 3 ticks x 882 frames x 4 bytes.
  EXPECT_EQ(le32(wav, 40), 8u * 3 * 882 * 4);
  EXPECT_EQ(wav.size(), 44u + 8 * 3 * 882 * 4);
}

// A pass is as long as its ticks: 4 rows at 125 BPM (882 frames a tick) and 4 at 150 (735) by the
// FastTracker 2 rules; the intro's rules keep the start tempo, 8 x 882.
TEST(Bfrender, OnePassFollowsTempoChanges) {
  TempDir dir;
  XMModuleSpec m = constantModule(1, 8);
  m.speed = 1;
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  m.patterns[0].at(4, 0, 1) = {0, 0, 0, 0xF, 150};
  save(dir.file("in.xm"), writeXM(m));
  for (const auto& [rules, frames] : {std::pair{"ft2", 4u * 882 + 4 * 735}, std::pair{"intro", 8u * 882}}) {
    const ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file("out.wav") + " --rules=" + rules);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(le32(readFile(dir.file("out.wav")), 40), frames * 4) << rules;
  }
}

TEST(Bfrender, SecondsAndRateAndTheSameFramesEveryTime) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(loopingSong()));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("a.wav") + " --seconds 1.5 --rate 22050").exitCode, 0);
  // Options before the files, their values after "=", the output named by -o.
  ASSERT_EQ(bfrender("--rate=22050 --seconds=1.5 " + dir.file("in.xm") + " -o " + dir.file("b.wav")).exitCode, 0);
  const std::string a = readFile(dir.file("a.wav"));
  EXPECT_EQ(le32(a, 24), 22050u);
  EXPECT_EQ(le32(a, 40), 33075u * 4);
  EXPECT_EQ(a, readFile(dir.file("b.wav")));
}

// The file is written a ring (two seconds) at a time as the song renders; it must hold what one
// render in memory gives, also where a pass or the length ends inside a ring.
TEST(Bfrender, StreamedFileHoldsTheFramesOfOneRender) {
  TempDir dir;
  XMModuleSpec m = loopingSong();
  m.patterns[0].rows = 64;  // a pass of 68 rows: 179928 frames, past two rings
  m.patterns[0].at(17, 1, 2) = {60, 1, 0x30, 0, 0};
  const std::vector<uint8_t> image = writeXM(m);
  save(dir.file("in.xm"), image);
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("pass.wav") + " --rules intro").exitCode, 0);
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("long.wav") + " --seconds 5.01 --rules intro").exitCode, 0);
  auto bytes = [](const std::vector<int16_t>& frames) {
    std::string out(frames.size() * 2, '\0');
    for (size_t i = 0; i < frames.size(); ++i) {
      out[2 * i] = static_cast<char>(frames[i] & 0xFF);
      out[2 * i + 1] = static_cast<char>(static_cast<uint16_t>(frames[i]) >> 8);
    }
    return out;
  };
  const std::string pass = readFile(dir.file("pass.wav")), longer = readFile(dir.file("long.wav"));
  LoadedSong a(image, intro::kRules), b(image, intro::kRules);
  ASSERT_NE(a.song, nullptr);
  std::vector<int16_t> onePass, fiveSeconds;
  {
    OfflineRenderer renderer(*a.song, 44100);
    onePass = renderer.renderOnePass();
  }
  {
    OfflineRenderer renderer(*b.song, 44100);
    fiveSeconds = renderer.render(220941);
  }
  EXPECT_EQ(onePass.size(), 2u * 68 * 3 * 882);
  EXPECT_EQ(le32(pass, 40), onePass.size() * 2);
  EXPECT_EQ(le32(pass, 4), 36 + onePass.size() * 2);
  EXPECT_TRUE(pass.substr(44) == bytes(onePass));
  EXPECT_EQ(le32(longer, 40), 220941u * 4);
  EXPECT_TRUE(longer.substr(44) == bytes(fiveSeconds));
}

TEST(Bfrender, InfoDescribesTheModule) {
  TempDir dir;
  XMModuleSpec m = loopingSong();
  m.orders = {0, 1, 3};
  m.restartPosition = 1;
  m.instruments[0].samples[0].loopType = 2;
  m.instruments[0].samples[0].loopStart = 100;
  m.instruments[0].samples[0].loopLength = 50;
  m.instruments[0].samples[0].finetune = -16;
  m.instruments[0].samples[0].relativeNote = 12;
  m.instruments[0].samples[0].volume = 40;
  m.name = "Title\x01";
  m.instruments[0].name = "by someone";
  m.instruments.push_back(m.instruments[0]);
  m.instruments[1].name = "";
  m.instruments[1].samples[0].loopType = 0;
  save(dir.file("in.xm"), writeXM(m));
  const ToolRun r = bfrender("--info " + dir.file("in.xm"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.rfind("title: Title\ntracker: brackenfold xmwriter\n", 0), 0u) << r.output;
  // Order 1 jumps back to order 0: 8 rows at speed 3, 882 frames a tick, 0.48 s.
  EXPECT_NE(r.output.find("duration: 0:00.48 (one pass)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instrument 1: \"by someone\", 1 samples"), std::string::npos);
  EXPECT_NE(r.output.find("instrument 2: \"\", 1 samples"), std::string::npos);
  // Only a loop has a start and a length.
  EXPECT_NE(r.output.find("sample 0: length 20000, loop none, bits 8, volume 40"), std::string::npos);
  EXPECT_NE(r.output.find("channels: 2\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("song length: 3\n"), std::string::npos);
  EXPECT_NE(r.output.find("restart position: 1\n"), std::string::npos);
  EXPECT_NE(r.output.find("patterns: 2 in file, 4 used, 4 allocated\n"), std::string::npos);
  EXPECT_NE(r.output.find("instruments: 2\n"), std::string::npos);
  EXPECT_NE(r.output.find("sample 0: length 20000, loop ping-pong, loop start 100, loop length 50, bits 8, volume 40, "
                          "finetune -16, relative note 12\n"),
            std::string::npos)
      << r.output;
}

TEST(Bfrender, InfoAndOneWarningForAnS3MWithAdLibChannels) {
  TempDir dir;
  S3MModuleSpec m = constantS3M();
  m.channelSettings[2] = 16;  // A1
  m.channelSettings[3] = 17;  // A2
  m.samples[0].c2spd = 22050;
  S3MSampleSpec organ;
  organ.type = 2;
  organ.name = "organ";
  m.samples.push_back(organ);
  put(m, 0, {0, kC4, 1, -1, 0, 0});
  save(dir.file("in.s3m"), writeS3M(m));
  ToolRun r = bfrender("--info " + dir.file("in.s3m"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const char* line :
       {"tracker: Scream Tracker 3.20\n", "format: S3M, 2 AdLib channels silent (not synthesised), played by the Scream Tracker 3 rules\n",
        "volume: global 64, master 48, stereo\n", "channel pans (0 left to 256 right): 51 204 off off\n",
        "header flags: 0x0000\n",
        "  sample 0: length 2000, loop forward, loop start 0, loop length 2000, bits 16, volume 64, C frequency 22050\n",
        "instrument 2: \"organ\", 1 samples, fadeout 0\n  sample 0: AdLib, not synthesised (silent)\n"})
    EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;
  EXPECT_EQ(r.output.find("frequencies:"), std::string::npos) << "no finetune table in S3M";
  r = bfrender(dir.file("in.s3m") + " " + dir.file("out.wav") + " --seconds 0.1");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "bfrender: warning: " + dir.file("in.s3m") + ": 2 AdLib channels silent (not synthesised)\n");
  EXPECT_EQ(bfrender(dir.file("in.s3m") + " " + dir.file("out.wav") + " --seconds 0.1 -q").output, "");
}

TEST(Bfrender, WhatItCannotLoadOrParseIsOneLineAndCodeTwo) {
  TempDir dir;
  save(dir.file("bad.xm"), {'n', 'o', 't', ' ', 'x', 'm'});
  for (const std::string& args :
       {"--info " + dir.file("bad.xm"), dir.file("bad.xm") + " " + dir.file("o.wav"), dir.file("missing.xm") + " x.wav",
        dir.file("bad.xm") + " o.wav --seconds -2", dir.file("bad.xm") + " o.wav --rate 100", std::string("a b c"),
        std::string("--bogus a b")}) {
    const ToolRun r = bfrender(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << args << ": " << r.output;
  }
  // The loader's reason reaches the line.
  EXPECT_NE(bfrender("--info " + dir.file("bad.xm")).output.find(": neither XM"), std::string::npos);
}

// The reasons a user needs: the range allowed, the system's word on a file.
TEST(Bfrender, MessagesNameWhatIsAllowedAndWhy) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(loopingSong()));
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("in.xm") + " o.wav --rate 0", "--rate: bad value 0 (a whole number of Hz from 8000 to 192000)\n"},
      {dir.file("in.xm") + " o.wav --channels 2-1", "--channels: bad value 2-1 (channel numbers from 1 to 64"},
      {dir.file("in.xm") + " o.wav --channels 1,3", "--channels: the module has 2 channels (1 to 2)\n"},
      {dir.file("missing.xm") + " o.wav", "missing.xm: No such file or directory\n"},
      {dir.path() + " o.wav", ": Is a directory\n"},
      {dir.file("in.xm") + " " + dir.file("no/such/out.wav"), "out.wav: No such file or directory\n"},
      {dir.file("in.xm") + " " + dir.file("full.wav"), "cannot write " + dir.file("full.wav") + ": No space left on device\n"},
      // What would be ignored, or cannot be both, is said instead.
      {"--info " + dir.file("in.xm") + " --seconds 5", "bfrender: --seconds: not with --info (--info renders nothing)\n"},
      {"--channels 1 --info " + dir.file("in.xm"), "bfrender: --channels: not with --info (--info renders nothing)\n"},
      {dir.file("in.xm") + " o.wav --stems d", "bfrender: write o.wav or --stems d, not both\n"},
      {dir.file("in.xm"), "bfrender: nothing to write: name OUT.wav, .flac or .raw (- for standard output), --stems DIR, or --info\n"},
      {dir.file("in.xm") + " o.wav --gain=49", "bfrender: --gain: bad value 49 (decibels from -48 to 48)\n"}};
  std::filesystem::create_symlink("/dev/full", dir.file("full.wav"));
  for (const auto& [args, message] : cases) {
    const ToolRun r = bfrender(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
  }
  const ToolRun r = bfrender("--version");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output.rfind("bfrender ", 0), 0u) << r.output;
}

// "-" is standard output: the same bytes as the file, its sizes written before the frames.
TEST(Bfrender, DashWritesTheWavToStandardOutput) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(loopingSong()));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("file.wav")).exitCode, 0);
  ASSERT_EQ(runTool(std::string(BFRENDER_BIN) + " " + dir.file("in.xm") + " - | cat > " + dir.file("piped.wav")).exitCode,
            0);
  const std::string piped = readFile(dir.file("piped.wav"));
  EXPECT_EQ(le32(piped, 40), 8u * 3 * 882 * 4);
  EXPECT_TRUE(piped == readFile(dir.file("file.wav")));
}

// A module cut short plays what is there, with one warning saying what it lacked; one cut before
// any sample data has nothing to play and is refused.
TEST(Bfrender, ModuleCutShortIsNamedAndRefusedWhenNothingIsLeft) {
  TempDir dir;
  const std::vector<uint8_t> whole = writeXM(loopingSong());
  save(dir.file("cut.xm"), std::vector<uint8_t>(whole.begin(), whole.end() - 100));
  ToolRun r = bfrender(dir.file("cut.xm") + " " + dir.file("out.wav"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "bfrender: warning: " + dir.file("cut.xm") +
                          ": ends early: 2 of 2 patterns and 0 of 1 instruments read whole; playing what is there\n");
  EXPECT_EQ(le32(readFile(dir.file("out.wav")), 40), 8u * 3 * 882 * 4);
  r = bfrender("--info " + dir.file("cut.xm"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("\ndamaged: ends early: 2 of 2 patterns and 0 of 1 instruments read whole"), std::string::npos)
      << r.output;

  XMModuleSpec patternsOnly = loopingSong();
  patternsOnly.instruments.clear();
  save(dir.file("cut.xm"), std::vector<uint8_t>(whole.begin(), whole.begin() + writeXM(patternsOnly).size() + 100));
  r = bfrender(dir.file("cut.xm") + " " + dir.file("none.wav"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: " + dir.file("cut.xm") +
                          ": ends early: 2 of 2 patterns and 0 of 1 instruments read whole; nothing left to play\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
}

// Three channels playing a sawtooth at three pitches and volumes, with notes cut and restarted
// (so that voices move to their partners), by the FastTracker 2 rules.
XMModuleSpec threeVoices() {
  XMModuleSpec m = constantModule(3, 16);
  m.speed = 2;
  std::vector<int16_t>& saw = m.instruments[0].samples[0].data;
  for (size_t i = 0; i < saw.size(); ++i) saw[i] = static_cast<int16_t>((i * 397) % 20000 - 10000);
  for (int row = 0; row < 16; row += 4) {
    m.patterns[0].at(row, 0, 3) = {static_cast<uint8_t>(49 + row), 1, 0x30, 0, 0};
    m.patterns[0].at(row + 2, 1, 3) = {61, 1, 0x50, 0, 0};
    m.patterns[0].at(row + 1, 2, 3) = {static_cast<uint8_t>(37 + row / 2), 1, 0x20, 0x8, static_cast<uint8_t>(row * 16)};
  }
  return m;
}

std::vector<int16_t> wavFrames(const std::string& wav) {
  std::vector<int16_t> values((wav.size() - 44) / 2);
  std::memcpy(values.data(), wav.data() + 44, values.size() * 2);
  return values;
}

// Stems sum back to the mix: each is rounded once, so by at most one step a channel.
TEST(Bfrender, StemsSumToTheMixAndChannelsRenderAsTheirStems) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(threeVoices()));
  ToolRun r = bfrender(dir.file("in.xm") + " --stems " + dir.file("stems"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<int16_t> mix = wavFrames(readFile(dir.file("stems/mix.wav")));
  ASSERT_EQ(mix.size(), 2u * 16 * 2 * 882);
  std::vector<int32_t> sum(mix.size());
  std::vector<std::vector<int16_t>> stems;
  for (const char* name : {"01-channel.wav", "02-channel.wav", "03-channel.wav"}) {
    stems.push_back(wavFrames(readFile(dir.file("stems/") + name)));
    ASSERT_EQ(stems.back().size(), mix.size()) << name;
    EXPECT_GT(*std::max_element(stems.back().begin(), stems.back().end()), 1000) << name;
    for (size_t i = 0; i < mix.size(); ++i) sum[i] += stems.back()[i];
  }
  int worst = 0;
  for (size_t i = 0; i < mix.size(); ++i) worst = std::max(worst, std::abs(sum[i] - mix[i]));
  EXPECT_LE(worst, 3);
  EXPECT_GT(*std::max_element(mix.begin(), mix.end()), 4000);

  r = bfrender(dir.file("in.xm") + " " + dir.file("two.wav") + " --channels 2");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(wavFrames(readFile(dir.file("two.wav"))) == stems[1]);
  r = bfrender(dir.file("in.xm") + " --stems " + dir.file("some") + " --channels 1,3");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("some/02-channel.wav")));
  EXPECT_TRUE(wavFrames(readFile(dir.file("some/03-channel.wav"))) == stems[2]);
}

// Stems of a module with fewer channels replace an earlier render's whole: none of its stems
// stay beside the new ones, and the user is told.
TEST(Bfrender, StemsReplaceAnEarlierRendersStems) {
  TempDir dir;
  save(dir.file("three.xm"), writeXM(threeVoices()));
  save(dir.file("two.xm"), writeXM(loopingSong()));
  std::filesystem::create_directory(dir.file("d"));
  std::ofstream(dir.file("d/notes.txt")) << "mine";
  ASSERT_EQ(bfrender(dir.file("three.xm") + " --stems " + dir.file("d")).output, "");
  const ToolRun r = bfrender(dir.file("two.xm") + " --stems " + dir.file("d"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "bfrender: --stems: removed 1 file of an earlier render from " + dir.file("d") + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("d/03-channel.wav")));
  for (const char* name : {"01-channel.wav", "02-channel.wav", "mix.wav", "notes.txt"})
    EXPECT_TRUE(std::filesystem::exists(dir.file("d/") + name)) << name;
  std::ofstream(dir.file("file")) << "in the way";
  const ToolRun blocked = bfrender(dir.file("two.xm") + " --stems " + dir.file("file"));
  EXPECT_EQ(blocked.exitCode, 2);
  EXPECT_EQ(blocked.output, "bfrender: --stems: cannot make folder " + dir.file("file") + ": Not a directory\n");
}

// The gain scales the mix before it is rounded; what then lies beyond full scale is clipped and
// counted, sample by sample, and said once at the end (not with --quiet).
TEST(Bfrender, GainAndTheClippedSamplesCount) {
  TempDir dir;
  XMModuleSpec m = constantModule(1, 16, 20000);
  m.instruments[0].samples[0].sixteenBit = true;
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  save(dir.file("in.xm"), writeXM(m));
  ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file("0.wav"));
  ASSERT_EQ(r.output, "");
  const std::vector<int16_t> plain = wavFrames(readFile(dir.file("0.wav")));
  r = bfrender(dir.file("in.xm") + " " + dir.file("low.wav") + " --gain -6.0206");
  ASSERT_EQ(r.output, "");
  const std::vector<int16_t> low = wavFrames(readFile(dir.file("low.wav")));
  ASSERT_EQ(low.size(), plain.size());
  for (size_t i = 0; i < low.size(); i += 97) EXPECT_NEAR(low[i], plain[i] / 2.0, 1.0) << i;

  r = bfrender(dir.file("in.xm") + " " + dir.file("loud.wav") + " --gain 24");
  ASSERT_EQ(r.exitCode, 0);
  const std::string tail = " samples clipped at full scale (a negative --gain lowers the level)\n";
  ASSERT_EQ(r.output.rfind("bfrender: ", 0), 0u) << r.output;
  ASSERT_NE(r.output.find(tail), std::string::npos) << r.output;
  const long clipped = std::atol(r.output.c_str() + 10);
  // Judged from the 0 dB render, rounded once already: certainly beyond, and possibly.
  const double g = std::pow(10.0, 24 / 20.0);
  long surely = 0, maybe = 0;
  for (int16_t v : plain) {
    surely += std::abs(v) * g > 32768 + g;
    maybe += std::abs(v) * g > 32767.5 - g;
  }
  EXPECT_GT(surely, 0);
  EXPECT_GE(clipped, surely);
  EXPECT_LE(clipped, maybe);
  EXPECT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("q.wav") + " --gain 24 -q").output, "");
}

// A version 1.02 module keeps every instrument's headers before the patterns; the names of the
// empty ones (where trackers keep credits) are the file's.
TEST(Bfrender, InfoNamesTheInstrumentsOfAnOlderLayout) {
  TempDir dir;
  XMModuleSpec m = loopingSong();
  m.version = 0x0102;
  m.instruments[0].name = "lead";
  for (const char* credit : {"music by someone", "", "greets to all"}) {
    XMInstrumentSpec text;
    text.name = credit;
    m.instruments.push_back(text);
  }
  save(dir.file("old.xm"), writeXM(m));
  const ToolRun r = bfrender("--info " + dir.file("old.xm"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("format: XM 1.02"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instrument 1: \"lead\", 1 samples"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instrument 2: \"music by someone\", 0 samples"), std::string::npos) << r.output;
  // Between the credits a slot with neither name nor sample is left out, and counted.
  EXPECT_EQ(r.output.find("instrument 3:"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instruments: 4 (1 empty slot left out)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instrument 4: \"greets to all\", 0 samples"), std::string::npos) << r.output;
}

// A song that never comes back round is cut at twenty minutes: said before the render starts.
TEST(Bfrender, ASongThatNeverEndsIsCutWithAWord) {
  TempDir dir;
  XMModuleSpec m = constantModule(1, 256);
  m.speed = 31;
  m.bpm = 32;  // twice 256 rows of 31 ticks of 78 ms: past twenty minutes
  m.orders = {0, 0};
  save(dir.file("long.xm"), writeXM(m));
  const ToolRun r = bfrender(dir.file("long.xm") + " /dev/null --rate 8000");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "bfrender: warning: " + dir.file("long.xm") +
                          ": one pass does not end within 20 minutes: rendering 20:00 (--seconds S for another length)\n");
}

// It renders offline only. Loading the sound and window libraries would cost every run: a
// one-second render took 7 ms of CPU with SDL's fifty libraries loaded, 1.4 ms without.
TEST(Bfrender, LoadsNoDeviceOrWindowLibrary) {
  const ToolRun r = runTool(std::string("ldd ") + BFRENDER_BIN);
  // Linked statically (the plain build), it has no libraries at all.
  ASSERT_TRUE(r.exitCode == 0 || r.output.find("not a dynamic executable") != std::string::npos) << r.output;
  for (const char* library : {"libSDL2", "libasound", "libX11", "libfltk"})
    EXPECT_EQ(r.output.find(library), std::string::npos) << library << " in\n" << r.output;
}

namespace {
int16_t le16s(const std::string& s, size_t at) {
  return static_cast<int16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
}  // namespace

// A mistyped output loses nothing: a module, a picture or any file not of the kind written stays
// as it was unless --force, and an input is never written over. A WAV over a WAV is a re-render.
TEST(Bfrender, WritesOverNoFileOfTheUsersWithoutForce) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(loopingSong()));
  save(dir.file("other.mod"), writeMOD(constantMOD()));
  const std::string module = readFile(dir.file("other.mod"));
  std::filesystem::copy_file(dir.file("other.mod"), dir.file("song.wav"));
  std::ofstream(dir.file("notes.raw")) << "my notes";
  std::filesystem::create_symlink(dir.file("in.xm"), dir.file("link.wav"));
  const std::pair<std::string, std::string> refused[] = {
      {dir.file("in.xm") + " " + dir.file("other.mod"),
       "bfrender: " + dir.file("other.mod") + ": cannot write this format (the name must end in .wav, .flac or .raw; "
       "several modules: --output-dir DIR)\n"},
      {dir.file("in.xm") + " " + dir.file("in.xm"), dir.file("in.xm") + ": cannot write this format"},
      {dir.file("in.xm") + " " + dir.file("song.wav"),
       "bfrender: " + dir.file("song.wav") + " exists and is not a WAV file: not written over without --force\n"},
      {dir.file("in.xm") + " " + dir.file("notes.raw"),
       "bfrender: " + dir.file("notes.raw") + " exists: not written over without --force\n"},
      {dir.file("in.xm") + " " + dir.file("link.wav") + " --force",
       "bfrender: " + dir.file("link.wav") + " is the input " + dir.file("in.xm") + ": name another file to write\n"}};
  for (const auto& [args, message] : refused) {
    const ToolRun r = bfrender(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(r.output.rfind(message.rfind("bfrender", 0) == 0 ? message : "bfrender: " + message, 0), 0u)
        << args << ": " << r.output;
  }
  EXPECT_EQ(readFile(dir.file("other.mod")), module);
  EXPECT_EQ(readFile(dir.file("song.wav")), module);
  EXPECT_EQ(readFile(dir.file("notes.raw")), "my notes");
  EXPECT_EQ(readFile(dir.file("in.xm")).substr(0, 17), "Extended Module: ");

  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("out.wav")).exitCode, 0);
  EXPECT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("out.wav") + " --seconds 0.1").exitCode, 0) << "WAV over WAV";
  EXPECT_EQ(le32(readFile(dir.file("out.wav")), 40), 4410u * 4);
  EXPECT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("song.wav") + " --force").exitCode, 0);
  EXPECT_EQ(readFile(dir.file("song.wav")).substr(0, 4), "RIFF");

  // Stems replace stems, not a file that happens to have a stem's name.
  std::filesystem::create_directory(dir.file("stems"));
  std::filesystem::copy_file(dir.file("other.mod"), dir.file("stems/01-channel.wav"));
  ToolRun r = bfrender(dir.file("in.xm") + " --stems " + dir.file("stems"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: --stems: " + dir.file("stems/01-channel.wav") +
                          " exists and is not a WAV file: not written over without --force\n");
  EXPECT_EQ(readFile(dir.file("stems/01-channel.wav")), module);
  EXPECT_FALSE(std::filesystem::exists(dir.file("stems/mix.wav")));

  // Several modules into a folder: one that would land on an input, or two on one name, is said
  // before anything is written.
  std::filesystem::copy_file(dir.file("in.xm"), dir.file("in.s3m"));
  r = bfrender(dir.file("in.xm") + " " + dir.file("in.s3m") + " --output-dir " + dir.file("d"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: " + dir.file("in.xm") + " and " + dir.file("in.s3m") + " would both be written to " +
                          dir.file("d") + "/in.wav: render them apart\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("d")));
  std::filesystem::copy_file(dir.file("in.xm"), dir.file("tune.wav"));
  r = bfrender(dir.file("tune.wav") + " --output-dir " + dir.path() + " --force");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: " + dir.file("tune.wav") + " is the input " + dir.file("tune.wav") +
                          ": name another folder\n");
  EXPECT_EQ(readFile(dir.file("tune.wav")), readFile(dir.file("in.xm")));
}

// The output's name picks the format: the same frames as a 16-bit WAV, as FLAC, raw, and float;
// a name it cannot write is refused before anything is rendered.
TEST(Bfrender, WritesTheFormatTheNameAsks) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(threeVoices()));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("a.wav")).exitCode, 0);
  const std::string wav = readFile(dir.file("a.wav"));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("a.RAW")).exitCode, 0);
  EXPECT_TRUE(readFile(dir.file("a.RAW")) == wav.substr(44));

  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("f.wav") + " --float").exitCode, 0);
  const std::string f = readFile(dir.file("f.wav"));
  ASSERT_EQ(f.size(), 58 + (wav.size() - 44) * 2);
  EXPECT_EQ(f.substr(36, 4), std::string("\0\0fa", 4)) << "an empty extension, then the fact chunk";
  EXPECT_EQ(le32(f, 20) & 0xFFFF, 3u) << "IEEE float";
  EXPECT_EQ(le32(f, 46), (wav.size() - 44) / 4) << "frames";
  int worst = 0;
  for (size_t i = 0; 44 + 2 * i < wav.size(); ++i) {
    float v;
    const uint32_t bits = le32(f, 58 + 4 * i);
    std::memcpy(&v, &bits, 4);
    worst = std::max(worst, static_cast<int>(std::lround(std::abs(v * 32768 - le16s(wav, 44 + 2 * i)) * 2)));
  }
  EXPECT_LE(worst, 1) << "within half a step of the 16-bit rounding";

  for (const char* name : {"a.mp3", "a.wav.txt"}) {
    const ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file(name));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("cannot write this format (the name must end in .wav, .flac or .raw"), std::string::npos)
        << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file(name)));
  }
  EXPECT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("a.raw") + " --float").output,
            "bfrender: --float: only with WAV (OUT.wav)\n");

  const ToolRun flac = bfrender(dir.file("in.xm") + " " + dir.file("a.flac"));
  if (flac.output.find("built without libFLAC") != std::string::npos) GTEST_SKIP() << flac.output;
  ASSERT_EQ(flac.exitCode, 0) << flac.output;
  EXPECT_EQ(readFile(dir.file("a.flac")).substr(0, 4), "fLaC");
  if (runTool("flac --version").exitCode != 0) GTEST_SKIP() << "no flac command to decode with";
  ASSERT_EQ(runTool("flac -s -t " + dir.file("a.flac")).exitCode, 0);
  ASSERT_EQ(runTool("flac -s -d -o " + dir.file("back.wav") + " " + dir.file("a.flac")).exitCode, 0);
  EXPECT_TRUE(readFile(dir.file("back.wav")).substr(44) == wav.substr(44));
  const ToolRun tags = runTool("metaflac --export-tags-to=- " + dir.file("a.flac"));
  EXPECT_NE(tags.output.find("TITLE=brackenfold\n"), std::string::npos) << tags.output;
  EXPECT_NE(tags.output.find("TRACKER=brackenfold xmwriter\n"), std::string::npos) << tags.output;
}

// Several modules at once: into a folder under their own names, or their structures one after
// another; one that cannot be read is named and the rest still done.
TEST(Bfrender, SeveralModulesIntoAFolderAndInfoOnEach) {
  TempDir dir;
  save(dir.file("a.xm"), writeXM(loopingSong()));
  save(dir.file("b.mod"), writeMOD(constantMOD()));
  save(dir.file("bad.xm"), {'n', 'o'});
  ToolRun r = bfrender(dir.file("a.xm") + " " + dir.file("bad.xm") + " " + dir.file("b.mod") + " --output-dir " +
                       dir.file("out") + " --format raw --seconds 0.5");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  EXPECT_NE(r.output.find(dir.file("bad.xm") + ": not a module"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(dir.file("out/a.raw")).size(), 22050u * 4);
  EXPECT_EQ(readFile(dir.file("out/b.raw")).size(), 22050u * 4);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/bad.raw")));
  EXPECT_EQ(bfrender(dir.file("a.xm") + " --format flac").output,
            "bfrender: --format: only with --output-dir (OUT's name picks the format)\n");

  r = bfrender("--info " + dir.file("a.xm") + " " + dir.file("b.mod"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.rfind("file: " + dir.file("a.xm") + "\ntitle: ", 0), 0u) << r.output;
  EXPECT_NE(r.output.find("\n\nfile: " + dir.file("b.mod") + "\ntitle: "), std::string::npos) << r.output;
}

// --info says what the loader knows: a MOD's tracker by its signature, its sample bits as
// stored, its empty slots counted rather than listed; an XM ModPlug Tracker saved under
// FastTracker 2's name as ModPlug Tracker's.
TEST(Bfrender, InfoSaysWhatTheLoaderKnows) {
  TempDir dir;
  MODModuleSpec mod = constantMOD();
  mod.samples[1].name = "greets";
  mod.samples[1].data.clear();
  save(dir.file("a.mod"), writeMOD(mod));
  mod.signature = "FLT4";
  save(dir.file("b.mod"), writeMOD(mod));
  ToolRun r = bfrender("--info " + dir.file("a.mod"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("tracker: ProTracker or compatible (M.K.)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("instruments: 31 (29 empty slots left out)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("sample 0: length 4000, loop forward, loop start 0, loop length 4000, bits 8,"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("instrument 2: \"greets\", 1 samples"), std::string::npos) << "a name alone is kept";
  EXPECT_EQ(r.output.find("instrument 3:"), std::string::npos);
  EXPECT_NE(bfrender("--info " + dir.file("b.mod")).output.find("tracker: StarTrekker (FLT4)\n"), std::string::npos);

  XMModuleSpec xm = loopingSong();
  xm.tracker = "FastTracker v 2.00  ";  // as it wrote it, padded with spaces
  save(dir.file("mpt.xm"), writeXM(xm));
  r = bfrender("--info " + dir.file("mpt.xm"));
  EXPECT_NE(r.output.find("tracker: ModPlug Tracker (saved as \"FastTracker v 2.00\")\n"), std::string::npos) << r.output;
}

// --start plays the song up to there unheard: what follows is the plain render's, from that frame.
TEST(Bfrender, StartLeavesOutTheSongUpToThere) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(threeVoices()));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("all.wav")).exitCode, 0);
  ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file("late.wav") + " --start 0.25");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string all = readFile(dir.file("all.wav")), late = readFile(dir.file("late.wav"));
  ASSERT_EQ(all.size(), 44u + 16 * 2 * 882 * 4);
  ASSERT_EQ(late.size(), all.size() - 11025 * 4);
  EXPECT_TRUE(late.substr(44) == all.substr(44 + 11025 * 4));
  r = bfrender(dir.file("in.xm") + " " + dir.file("short.raw") + " --start 0.25 --seconds 0.1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(readFile(dir.file("short.raw")) == all.substr(44 + 11025 * 4, 4410 * 4));
  r = bfrender(dir.file("in.xm") + " " + dir.file("past.wav") + " --start 2");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: --start 0:02.00: one pass of " + dir.file("in.xm") +
                          " lasts 0:00.64 (--seconds S renders on past its end)\n");
}

// --start-order: an order one pass comes to starts where the pass does (order 1 at row 4 of
// 2646 frames); one it never comes to only for a length given, from the order's first row.
TEST(Bfrender, StartOrderStartsWhereThePassComesToIt) {
  TempDir dir;
  XMModuleSpec m = loopingSong();
  m.orders = {0, 1, 0};  // order 2: after order 1's jump back, never played
  save(dir.file("in.xm"), writeXM(m));
  ASSERT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("all.raw")).exitCode, 0);
  ToolRun r = bfrender(dir.file("in.xm") + " " + dir.file("late.raw") + " --start-order 1");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string all = readFile(dir.file("all.raw"));
  ASSERT_EQ(all.size(), 8u * 2646 * 4);
  EXPECT_TRUE(readFile(dir.file("late.raw")) == all.substr(4 * 2646 * 4));
  r = bfrender(dir.file("in.xm") + " " + dir.file("x.raw") + " --start-order 2");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "bfrender: --start-order 2: one pass of " + dir.file("in.xm") +
                          " never comes to it (--seconds S renders S seconds from it)\n");
  r = bfrender(dir.file("in.xm") + " " + dir.file("y.raw") + " --start-order 2 --seconds 0.06");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(readFile(dir.file("y.raw")) == all.substr(0, 2646 * 4)) << "order 2 plays pattern 0 as order 0 does";
  r = bfrender(dir.file("in.xm") + " " + dir.file("z.raw") + " --start-order 3");
  EXPECT_EQ(r.output, "bfrender: --start-order 3: " + dir.file("in.xm") + " has 3 orders (0 to 2)\n");
  EXPECT_EQ(bfrender(dir.file("in.xm") + " " + dir.file("z.raw") + " --start-order 1 --start 1").exitCode, 2);
}
