// The library's calls for displays: probing and the lists, names and cells (on written modules
// and on every module folder of ../shared/testdata), channel states against the mix, mute and
// solo, and the interpolation modes.
#include "brackenfold/tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "XMTestModules.h"
#include "modules/RandomModule.h"

namespace {
struct Module {
  explicit Module(const std::vector<uint8_t>& image, const char* rules = nullptr)
      : m(bft_load(image.data(), image.size(), 44100, rules, why, sizeof why)) {}
  ~Module() { bft_free(m); }
  bft_module* m;
  char why[128] = "";
};

std::vector<float> renderFloat(bft_module* m, size_t frames) {
  std::vector<float> out(2 * frames);
  out.resize(2 * bft_render_float(m, out.data(), frames));
  return out;
}

float peak(const std::vector<float>& frames, size_t from, size_t count, int side) {
  float p = 0;
  for (size_t i = from; i < from + count; ++i) p = std::max(p, std::fabs(frames[2 * i + side]));
  return p;
}

// Two channels on different instruments and levels, channel 1 panned hard right.
XMModuleSpec twoChannels() {
  XMModuleSpec m = constantModule(2, 8, 3000);
  XMInstrumentSpec second = m.instruments[0];
  second.samples[0].data.assign(20000, -9000);
  second.name = "second one";
  m.instruments[0].name = "first";
  m.instruments.push_back(second);
  m.patterns[0].at(0, 0, 2) = {49, 1, 0x30, 0, 0};
  m.patterns[0].at(0, 1, 2) = {61, 2, 0, 0x8, 0xFF};
  m.patterns[0].at(4, 0, 2) = {97, 0, 0, 0xA, 0x0F};
  return m;
}

std::vector<uint8_t> bytesOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

TEST(LibraryInfo, ProbesByTheFirstBytesAlone) {
  std::vector<uint8_t> xm = writeXM(constantModule());
  EXPECT_STREQ(bft_probe(xm.data(), 60), "XM");
  std::vector<uint8_t> s3m(96, 0), it(192, 0), mod(1084, 0);
  std::memcpy(s3m.data() + 44, "SCRM", 4);
  s3m[29] = 16;
  std::memcpy(it.data(), "IMPM", 4);
  std::memcpy(mod.data() + 1080, "M.K.", 4);
  EXPECT_STREQ(bft_probe(s3m.data(), s3m.size()), "S3M");
  EXPECT_STREQ(bft_probe(it.data(), it.size()), "IT");
  EXPECT_STREQ(bft_probe(mod.data(), mod.size()), "MOD");
  EXPECT_EQ(bft_probe(mod.data(), 1000), nullptr);  // its signature cut off
  const char text[] = "Not a module, just words on a page that go on for a while...";
  EXPECT_EQ(bft_probe(text, sizeof text), nullptr);
  EXPECT_EQ(bft_probe(nullptr, 100), nullptr);
  EXPECT_EQ(bft_probe(xm.data(), 0), nullptr);
}

TEST(LibraryInfo, ListsTheFormatsAndRuleSets) {
  std::vector<std::string> formats, rules;
  for (int i = 0; i < bft_format_count(); ++i) formats.push_back(bft_format_name(i));
  for (int i = 0; i < bft_rules_count(); ++i) rules.push_back(bft_rules_name(i));
  EXPECT_EQ(formats, (std::vector<std::string>{"XM", "MOD", "S3M", "IT"}));
  EXPECT_EQ(rules, (std::vector<std::string>{"ft2", "pt", "st3", "it", "intro"}));
  EXPECT_EQ(bft_format_name(-1), nullptr);
  EXPECT_EQ(bft_format_name(4), nullptr);
  EXPECT_EQ(bft_rules_name(5), nullptr);
  // Every rule set listed loads by its name where it plays the format.
  const std::vector<uint8_t> xm = writeXM(constantModule());
  for (const char* name : {"ft2", "intro"}) EXPECT_NE(Module(xm, name).m, nullptr) << name;
}

TEST(LibraryInfo, NamesPatternsOrdersAndCells) {
  XMModuleSpec design = twoChannels();
  design.patterns.resize(2);
  design.patterns[1].rows = 33;
  design.orders = {1, 0, 1};
  Module m(writeXM(design));
  ASSERT_NE(m.m, nullptr) << m.why;
  ASSERT_EQ(bft_instruments(m.m), 2);
  EXPECT_STREQ(bft_instrument_name(m.m, 1), "second one");
  EXPECT_STREQ(bft_instrument_name(m.m, 2), "");
  EXPECT_STREQ(bft_instrument_name(m.m, -1), "");
  EXPECT_EQ(bft_samples(m.m), 2);
  EXPECT_STREQ(bft_message(m.m), "");
  EXPECT_EQ(bft_patterns(m.m), 2);
  EXPECT_EQ(bft_pattern_rows(m.m, 1), 33);
  EXPECT_EQ(bft_pattern_rows(m.m, 2), 0);
  EXPECT_EQ(bft_order_pattern(m.m, 0), 1);
  EXPECT_EQ(bft_order_pattern(m.m, 1), 0);
  EXPECT_EQ(bft_order_pattern(m.m, 3), -3);

  bft_cell c{};
  ASSERT_EQ(bft_pattern_cell(m.m, 0, 0, 0, &c), 0);
  EXPECT_EQ(c.note, 49);
  EXPECT_EQ(c.instrument, 1);
  EXPECT_EQ(c.volume_command, BFT_VOLUME_SET);
  EXPECT_EQ(c.volume_value, 0x20);
  EXPECT_EQ(c.effect, 0);
  ASSERT_EQ(bft_pattern_cell(m.m, 0, 4, 0, &c), 0);
  EXPECT_EQ(c.note, BFT_NOTE_OFF);
  EXPECT_EQ(c.effect, 'A');
  EXPECT_EQ(c.parameter, 0x0F);
  char text[32];
  const struct {
    int row, channel;
    const char* shown;
  } kShown[] = {{0, 0, "C-4 01 20 000"}, {0, 1, "C-5 02 -- 8FF"}, {4, 0, "=== -- -- A0F"}, {1, 1, "--- -- -- 000"}};
  for (const auto& s : kShown) {
    EXPECT_EQ(bft_pattern_cell_text(m.m, 0, s.row, s.channel, text, sizeof text), static_cast<int>(std::strlen(s.shown)));
    EXPECT_STREQ(text, s.shown);
  }
  // Cut to the room given, the full length still returned.
  EXPECT_EQ(bft_pattern_cell_text(m.m, 0, 0, 0, text, 4), 13);
  EXPECT_STREQ(text, "C-4");
  for (const auto& bad : {std::vector<int>{0, 8, 0}, {0, 0, 2}, {2, 0, 0}, {-1, 0, 0}, {0, -1, 0}}) {
    EXPECT_EQ(bft_pattern_cell(m.m, bad[0], bad[1], bad[2], &c), -1);
    EXPECT_EQ(bft_pattern_cell_text(m.m, bad[0], bad[1], bad[2], text, sizeof text), -1);
  }
}

// The mixer measures only for a caller that asks: the first call's levels are 0, the rest of the
// state as ever.
TEST(LibraryInfo, ChannelLevelsAreMeasuredFromTheFirstCallOn) {
  Module m(writeXM(twoChannels()));
  ASSERT_NE(m.m, nullptr);
  renderFloat(m.m, 4 * 884);
  bft_channel_state s{};
  ASSERT_EQ(bft_get_channel_state(m.m, 0, &s), 0);
  EXPECT_EQ(s.level_left, 0);
  EXPECT_EQ(s.voices, 1);
  renderFloat(m.m, 2 * 884);
  ASSERT_EQ(bft_get_channel_state(m.m, 0, &s), 0);
  EXPECT_GT(s.level_left, 0);
}

// A new note leaves the old one fading out: for those frames the channel's level is the peak of
// the two voices' sum.
TEST(LibraryInfo, AChannelsLevelSumsTheVoicesItLeftBehind) {
  XMModuleSpec design = constantModule(1, 8, 3000);
  design.instruments.push_back(design.instruments[0]);
  design.instruments[1].samples[0].data.assign(20000, 500);
  design.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  design.patterns[0].at(1, 0, 1) = {49, 2, 0, 0, 0};
  const std::vector<uint8_t> image = writeXM(design);
  Module blocks(image), whole(image);
  ASSERT_NE(blocks.m, nullptr);
  bft_channel_state s{};
  bft_get_channel_state(blocks.m, 0, &s);  // measured from here on
  const size_t block = 884, count = 14;
  const std::vector<float> mix = renderFloat(whole.m, count * block);
  for (size_t b = 0; b < count; ++b) {
    renderFloat(blocks.m, block);
    ASSERT_EQ(bft_get_channel_state(blocks.m, 0, &s), 0);
    EXPECT_FLOAT_EQ(s.level_left, peak(mix, b * block, block, 0)) << "block " << b;
  }
}

TEST(LibraryInfo, ChannelStatesAreWhatEachAddsToTheMix) {
  const std::vector<uint8_t> image = writeXM(twoChannels());
  Module all(image);
  ASSERT_NE(all.m, nullptr);
  bft_channel_state before{};
  ASSERT_EQ(bft_get_channel_state(all.m, 0, &before), 0);
  EXPECT_EQ(before.level_left, 0);
  EXPECT_EQ(before.voices, 0);
  // Each channel's level in a block is the peak of that channel heard alone in it.
  const size_t block = 884, frames = 12 * block;
  const std::vector<float> mix = renderFloat(all.m, frames);
  bft_channel_state s[2];
  ASSERT_EQ(bft_get_channel_state(all.m, 0, &s[0]), 0);
  ASSERT_EQ(bft_get_channel_state(all.m, 1, &s[1]), 0);
  EXPECT_EQ(bft_get_channel_state(all.m, 2, &s[0]), -1);
  float last[2][2];  // each channel's last frame, heard alone
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    Module alone(image);
    bft_set_solo(alone.m, c, 1);
    const std::vector<float> heard = renderFloat(alone.m, frames);
    EXPECT_FLOAT_EQ(s[c].level_left, peak(heard, frames - block, block, 0));
    EXPECT_FLOAT_EQ(s[c].level_right, peak(heard, frames - block, block, 1));
    EXPECT_EQ(s[c].voices, 1);
    last[c][0] = heard[heard.size() - 2];
    last[c][1] = heard[heard.size() - 1];
  }
  // They sum to the mix's: the levels are steady, each channel's frames all one value a side, so
  // the mix's peak is the size of the two values' sum.
  for (int side = 0; side < 2; ++side) {
    const float a = side ? s[0].level_right : s[0].level_left, b = side ? s[1].level_right : s[1].level_left;
    const float signA = std::copysign(a, last[0][side]), signB = std::copysign(b, last[1][side]);
    EXPECT_NEAR(peak(mix, frames - block, block, side), std::fabs(signA + signB), 1e-6) << "side " << side;
  }
  EXPECT_EQ(s[0].note, 49);
  EXPECT_EQ(s[1].note, 61);
  EXPECT_EQ(s[0].instrument, 1);
  EXPECT_EQ(s[1].instrument, 2);
  EXPECT_GT(s[1].panning, 0.95f);  // 0xFF
  EXPECT_NEAR(s[0].panning, 0, 0.01);
  EXPECT_GT(s[0].volume, 0);
  EXPECT_LT(s[0].volume, s[1].volume);  // 0x20 against 0x40
}

TEST(LibraryInfo, MutedChannelsPlayOnUnheard) {
  // Saw waves on four channels, so that where each voice stands in its sample is heard.
  XMModuleSpec design = constantModule(4, 64);
  for (size_t i = 0; i < design.instruments[0].samples[0].data.size(); ++i)
    design.instruments[0].samples[0].data[i] = static_cast<int16_t>(static_cast<int>(i % 731) * 40 - 14000);
  for (int c = 0; c < 4; ++c) design.patterns[0].at(0, c, 4) = {static_cast<uint8_t>(40 + 5 * c), 1, 0, 0, 0};
  const std::vector<uint8_t> image = writeXM(design);
  Module full(image), muted(image), soloed(image);
  ASSERT_NE(full.m, nullptr);
  const std::vector<float> reference = renderFloat(full.m, 40000);
  EXPECT_EQ(bft_set_mute(muted.m, 64, 1), -1);
  EXPECT_EQ(bft_set_solo(muted.m, -1, 1), -1);
  ASSERT_EQ(bft_set_mute(muted.m, 1, 1), 0);
  for (int c : {0, 2, 3}) bft_set_solo(soloed.m, c, 1);
  const std::vector<float> withoutOne = renderFloat(muted.m, 20000);
  EXPECT_EQ(withoutOne, renderFloat(soloed.m, 20000));
  EXPECT_NE(withoutOne, std::vector<float>(reference.begin(), reference.begin() + 40000));
  // Heard again from the next block, in step: the rest is the full mix's.
  bft_set_mute(muted.m, 1, 0);
  const std::vector<float> after = renderFloat(muted.m, 20000);
  const size_t settled = 2 * 884;
  EXPECT_TRUE(std::equal(after.begin() + 2 * settled, after.end(), reference.begin() + 2 * (20000 + settled)));
}

TEST(LibraryInfo, InterpolationModes) {
  // A constant sample is the same constant read any way: the modes keep the level.
  const std::vector<uint8_t> constant = writeXM(constantModule(1, 16, 5000));
  std::vector<float> first;
  for (int mode : std::vector<int>{BFT_INTERPOLATION_NEAREST, BFT_INTERPOLATION_LINEAR, BFT_INTERPOLATION_CUBIC, BFT_INTERPOLATION_SINC8}) {
    Module m(constant);
    ASSERT_EQ(bft_set_interpolation(m.m, mode), 0);
    EXPECT_EQ(bft_interpolation(m.m), mode);
    const std::vector<float> frames = renderFloat(m.m, 20000);
    if (first.empty()) first = frames;
    for (size_t i = 0; i < frames.size(); i += 997) EXPECT_NEAR(frames[i], first[i], 2e-6) << "mode " << mode;
  }
  // On a song, each mode is its own, and linear is the default's frames.
  const std::vector<uint8_t> song = writeXM(randomModule(11, {4, 4096}));
  std::vector<std::vector<float>> renders;
  for (int mode : std::vector<int>{-1, BFT_INTERPOLATION_NEAREST, BFT_INTERPOLATION_LINEAR, BFT_INTERPOLATION_CUBIC, BFT_INTERPOLATION_SINC8}) {
    Module m(song);
    if (mode >= 0) bft_set_interpolation(m.m, mode);
    renders.push_back(renderFloat(m.m, 30000));
  }
  EXPECT_EQ(renders[0], renders[2]);
  for (size_t a = 1; a < renders.size(); ++a)
    for (size_t b = a + 1; b < renders.size(); ++b) EXPECT_NE(renders[a], renders[b]) << a << " " << b;
  Module bad(song);
  EXPECT_EQ(bft_set_interpolation(bad.m, 4), -1);
  EXPECT_EQ(bft_set_interpolation(bad.m, -1), -1);
  // The intro's rules keep their own.
  Module intro(song, "intro");
  ASSERT_NE(intro.m, nullptr);
  EXPECT_EQ(bft_set_interpolation(intro.m, BFT_INTERPOLATION_CUBIC), -1);
  EXPECT_EQ(bft_set_interpolation(intro.m, BFT_INTERPOLATION_LINEAR), 0);
}

// Every module of every folder: probe names the format the load says, and names, patterns and
// cells are there for a display to show.
TEST(LibraryInfo, ProbeAndNamesOnEveryModuleFolder) {
  const std::filesystem::path root = TESTDATA_DIR;
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "no module folders at " << root;
  int modules = 0;
  for (const auto& folder : std::filesystem::directory_iterator(root)) {
    if (!folder.is_directory()) continue;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      const std::vector<uint8_t> image = bytesOf(file.path());
      Module m(image);
      if (!m.m) continue;
      SCOPED_TRACE(file.path().string());
      ++modules;
      const char* probed = bft_probe(image.data(), image.size());
      ASSERT_NE(probed, nullptr);
      EXPECT_EQ(std::string(bft_format(m.m)).rfind(probed, 0), 0u) << bft_format(m.m);
      // The first 1084 bytes are enough, but for the SoundTracker modules without a signature.
      const char* early = bft_probe(image.data(), std::min<size_t>(image.size(), 1084));
      if (std::string(bft_format(m.m)) != "MOD 15 samples") {
        EXPECT_STREQ(early, probed);
      }
      ASSERT_GT(bft_instruments(m.m) + bft_samples(m.m), 0);
      for (int i = 0; i < bft_instruments(m.m); ++i)
        for (const char* at = bft_instrument_name(m.m, i); *at; ++at) EXPECT_TRUE(*at >= 0x20 && *at < 0x7F);
      for (int i = 0; i < bft_samples(m.m); ++i) EXPECT_NE(bft_sample_name(m.m, i), nullptr);
      for (const char* at = bft_message(m.m); *at; ++at) EXPECT_TRUE(*at == '\n' || (*at >= 0x20 && *at < 0x7F));
      ASSERT_GT(bft_patterns(m.m), 0);
      const int pattern = std::max(0, bft_order_pattern(m.m, 0));
      char text[32];
      for (int c = 0; c < bft_channels(m.m); ++c) {
        const int n = bft_pattern_cell_text(m.m, pattern, 0, c, text, sizeof text);
        if (bft_pattern_rows(m.m, pattern) > 0) {
          EXPECT_GE(n, 10);
          EXPECT_LE(n, 15);
        }
      }
    }
  }
  EXPECT_GT(modules, 0);
}
