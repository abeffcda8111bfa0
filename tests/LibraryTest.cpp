// The player's C interface, used as an embedder uses it: the frames it gives against the offline
// renderer's, songs at once and on threads, bad input, and what it says about a song.
#include "brackenfold/tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "XMTestModules.h"
#include "modules/RandomModule.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace {
struct Module {
  Module(const std::vector<uint8_t>& image, const char* rules, int rate = 44100)
      : m(bft_load(image.data(), image.size(), rate, rules, why, sizeof why)) {}
  ~Module() { bft_free(m); }
  bft_module* m;
  char why[128] = "";
};

// Everything the module gives, count frames a call.
std::vector<int16_t> renderAll(bft_module* m, size_t count) {
  std::vector<int16_t> all, frames(2 * count);
  while (size_t n = bft_render(m, frames.data(), count)) all.insert(all.end(), frames.begin(), frames.begin() + 2 * n);
  return all;
}

// Two orders of 4 rows at speed 3, the second jumping back to the first: one pass is 8 rows of 3
// ticks of 882 frames; a tone on channel 1, another on channel 2.
XMModuleSpec loopingSong() {
  XMModuleSpec m = constantModule(2, 4);
  m.name = "looping song";
  m.speed = 3;
  m.patterns.resize(2);
  m.patterns[1].rows = 4;
  m.patterns[1].at(3, 0, 2) = {0, 0, 0, 0xB, 0};
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.patterns[0].at(0, 1, 2) = {61, 1, 0, 0, 0};
  m.orders = {0, 1};
  return m;
}
constexpr int64_t kPassFrames = 8 * 3 * 882;
}  // namespace

TEST(XMPlay, GivesTheOfflineRenderersFramesInAnyCountsUpToOnePass) {
  for (uint64_t seed : {1u, 2u, 3u}) {
    const std::vector<uint8_t> image = writeXM(randomModule(seed, {4, 4096}));
    for (const RuleSet* rules : {&ft2::kRules, &intro::kRules}) {
      SCOPED_TRACE(std::string(rules->name) + " seed " + std::to_string(seed));
      LoadedSong loaded(image, *rules);
      ASSERT_NE(loaded.song, nullptr);
      std::vector<int16_t> expected;
      {
        OfflineRenderer renderer(*loaded.song, 22050);
        expected = renderer.renderOnePass();
      }
      for (size_t count : {1u, 441u, 5000u}) {
        Module module(image, rules->name, 22050);
        ASSERT_NE(module.m, nullptr) << module.why;
        EXPECT_EQ(bft_pass_frames(module.m), static_cast<int64_t>(expected.size() / 2));
        EXPECT_EQ(renderAll(module.m, count), expected) << count << " frames a call";
        int16_t frame[2];
        EXPECT_EQ(bft_render(module.m, frame, 1), 0u) << "nothing after the pass";
      }
    }
  }
}

TEST(XMPlay, SongsRenderedInTurnOrOnThreadsGiveTheirOwnFrames) {
  const std::vector<uint8_t> a = writeXM(randomModule(7, {6, 2048})), b = writeXM(loopingSong());
  Module aloneA(a, "ft2"), aloneB(b, "ft2");
  const std::vector<int16_t> expectedA = renderAll(aloneA.m, 1000), expectedB = renderAll(aloneB.m, 1000);
  {
    Module x(a, "ft2"), y(b, "ft2");
    std::vector<int16_t> gotA, gotB, frames(2 * 300);
    for (bool more = true; more;) {
      const size_t n = bft_render(x.m, frames.data(), 300);
      gotA.insert(gotA.end(), frames.begin(), frames.begin() + 2 * n);
      const size_t k = bft_render(y.m, frames.data(), 300);
      gotB.insert(gotB.end(), frames.begin(), frames.begin() + 2 * k);
      more = n || k;
    }
    EXPECT_EQ(gotA, expectedA);
    EXPECT_EQ(gotB, expectedB);
  }
  std::vector<int16_t> threadA, threadB;
  std::thread first([&] { threadA = renderAll(Module(a, "ft2").m, 777); });
  std::thread second([&] { threadB = renderAll(Module(b, "ft2").m, 555); });
  first.join();
  second.join();
  EXPECT_EQ(threadA, expectedA);
  EXPECT_EQ(threadB, expectedB);
}

TEST(XMPlay, BadInputIsNullWithOneLineReason) {
  const std::vector<uint8_t> good = writeXM(loopingSong());
  std::vector<uint8_t> wide = good;
  wide[68] = 33;  // channels
  const std::string junk = "not a module at all, just text";
  struct Case {
    const void* data;
    size_t size;
    int rate;
    const char* rules;
    const char* reason;
  } cases[] = {
      {junk.data(), junk.size(), 44100, nullptr, "neither XM"},
      {good.data(), 0, 44100, nullptr, "neither XM"},
      {nullptr, 10, 44100, nullptr, "no data"},
      {wide.data(), wide.size(), 44100, nullptr, "33 channels (1 to 32)"},
      {good.data(), good.size(), 4000, nullptr, "rate 4000 Hz (8000 to 192000)"},
      {good.data(), good.size(), 44100, "pt2", "no rules named \"pt2\" (ft2, pt, st3, it or intro)"},
  };
  for (const Case& c : cases) {
    char why[128] = "unchanged";
    EXPECT_EQ(bft_load(c.data, c.size, c.rate, c.rules, why, sizeof why), nullptr) << c.reason;
    EXPECT_NE(std::string(why).find(c.reason), std::string::npos) << why;
    EXPECT_EQ(std::string(why).find('\n'), std::string::npos);
  }
  char tiny[8];
  EXPECT_EQ(bft_load(junk.data(), junk.size(), 44100, nullptr, tiny, sizeof tiny), nullptr);
  EXPECT_EQ(std::strlen(tiny), 7u) << "cut to the room given";
  bft_free(nullptr);
}

TEST(XMPlay, SaysWhatTheSongIsAndWhereItPlays) {
  Module module(writeXM(loopingSong()), nullptr);
  bft_module* m = module.m;
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(bft_title(m), "looping song");
  EXPECT_STREQ(bft_format(m), "XM 1.04");
  EXPECT_STREQ(bft_rules(m), "ft2");
  EXPECT_EQ(bft_channels(m), 2);
  EXPECT_EQ(bft_orders(m), 2);
  EXPECT_EQ(bft_rate(m), 44100);
  EXPECT_EQ(bft_pass_frames(m), kPassFrames);
  int order = -1, row = -1;
  bft_position(m, &order, &row);
  EXPECT_EQ(order * 100 + row, 0);
  std::vector<int16_t> frames(2 * kPassFrames);
  // Row 5 (order 1, row 1) starts at frame 5 x 3 x 882.
  ASSERT_EQ(bft_render(m, frames.data(), 5 * 3 * 882), size_t{5 * 3 * 882});
  bft_position(m, &order, &row);
  EXPECT_EQ(order * 100 + row, 101);
  EXPECT_EQ(bft_frames_rendered(m), 5 * 3 * 882);
  EXPECT_EQ(bft_seek_order(m, 2), -1);
  ASSERT_EQ(bft_seek_order(m, 1), 0);
  bft_position(m, &order, &row);
  EXPECT_EQ(order * 100 + row, 100);
  // From order 1 one pass is its 4 rows, the first coming back after them; the frames the tick
  // in progress still had come first.
  const size_t rest = bft_render(m, frames.data(), kPassFrames);
  EXPECT_GE(rest, size_t{4 * 3 * 882});
  EXPECT_LT(rest, size_t{5 * 3 * 882});
}

TEST(XMPlay, LoopMaskGainAndFloatShapeTheFrames) {
  const std::vector<uint8_t> image = writeXM(loopingSong());
  Module plain(image, "ft2"), looped(image, "ft2"), muted(image, "ft2"), louder(image, "ft2"), floats(image, "ft2");
  const std::vector<int16_t> pass = renderAll(plain.m, 4096);
  ASSERT_EQ(pass.size(), static_cast<size_t>(2 * kPassFrames));

  bft_set_loop(looped.m, 1);
  std::vector<int16_t> twice(4 * kPassFrames);
  EXPECT_EQ(bft_render(looped.m, twice.data(), 2 * kPassFrames), static_cast<size_t>(2 * kPassFrames));
  EXPECT_TRUE(std::equal(pass.begin(), pass.end(), twice.begin()));
  bft_set_loop(looped.m, 0);
  EXPECT_GT(bft_render(looped.m, twice.data(), 2 * kPassFrames), 0u) << "a pass from where it is";

  bft_set_channel_mask(muted.m, 0);
  for (int16_t v : renderAll(muted.m, 4096)) ASSERT_EQ(v, 0);

  EXPECT_EQ(bft_set_gain(louder.m, 49), -1);
  ASSERT_EQ(bft_set_gain(louder.m, 20 * std::log10(2.0)), 0);
  const std::vector<int16_t> doubled = renderAll(louder.m, 4096);
  ASSERT_EQ(doubled.size(), pass.size());
  for (size_t i = 0; i < pass.size(); ++i) ASSERT_LE(std::abs(doubled[i] - 2 * pass[i]), 1) << i;
  EXPECT_EQ(bft_clipped(plain.m), 0u);

  std::vector<float> f(2 * kPassFrames);
  ASSERT_EQ(bft_render_float(floats.m, f.data(), kPassFrames), static_cast<size_t>(kPassFrames));
  for (size_t i = 0; i < pass.size(); ++i) ASSERT_EQ(std::lrint(f[i] * 32768), pass[i]) << i;
}

TEST(XMPlay, ClippingIsCounted) {
  // Eight channels of a full-scale square at full volume add far past 16 bits.
  XMModuleSpec m = constantModule(8, 8, 32767, 4000);
  m.instruments[0].samples[0].sixteenBit = true;
  for (int c = 0; c < 8; ++c) m.patterns[0].at(0, c, 8) = {49, 1, 0, 0, 0};
  Module module(writeXM(m), "ft2");
  ASSERT_NE(module.m, nullptr);
  renderAll(module.m, 4096);
  EXPECT_GT(bft_clipped(module.m), 1000u);
}
