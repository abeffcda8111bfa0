// The mixer's paths (plain, SSE2, AVX2): every one this machine has gives the plain path's frames
// bit for bit, segment by segment and over whole songs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "SoundLib/xmplay/engine/MixerKernels.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "XMTestModules.h"
#include "modules/RandomModule.h"

namespace {
const MixerPath kWide[] = {MixerPath::kSSE2, MixerPath::kAVX2, MixerPath::kAVX512};

// Runs of every length up to 41 frames (the wide paths' passes and their tails), steps below a
// frame, between one and two, up to four (the AVX-512 path's window of values) and above, both
// ways, every ramp kind,
// from positions with every kind of fraction: each path's sums and final levels as the plain one's,
// and its values alone.
TEST(MixerPaths, SegmentsAddUpAlikeOnEveryPath) {
  std::mt19937 random(7);
  std::vector<int16_t> data(4096 + kSampleSpareFrames);
  for (int16_t& v : data) v = static_cast<int16_t>(random());
  const uint64_t steps[] = {0x2A3B1C4Du,    uint64_t{1} << 32,     0x1C0000001ull,          uint64_t{2} << 32,
                            0x2F00F00F0ull, (uint64_t{4} << 32) - 1, (uint64_t{4} << 32) + 1, 0x50000ull};
  const MixerKernels& plain = *mixerKernels(MixerPath::kPlain);
  int compared = 0;
  for (MixerPath path : kWide) {
    const MixerKernels* wide = mixerKernels(path);
    if (!wide) continue;
    for (int kind = kSteady; kind <= kQuadRamp; ++kind)
      for (int backward = 0; backward < 2; ++backward)
        for (uint64_t step : steps)
          for (int32_t n = 0; n <= 41; ++n) {
            // Far enough in to go back, far enough from the end to go on.
            const uint64_t position = (uint64_t{2000} << 32) | static_cast<uint32_t>(random());
            std::vector<float> a(2 * 48, 1.5f), b(2 * 48, 1.5f);
            SegmentLevels la = {0.25f, -0.75f, kind == kSteady ? 0 : 1e-3f, kind == kSteady ? 0 : -3e-4f}, lb = la;
            const uint64_t pa = plain.mono[kind][backward](a.data(), n, data.data(), position, step, la);
            const uint64_t pb = wide->mono[kind][backward](b.data(), n, data.data(), position, step, lb);
            ASSERT_EQ(pa, pb) << wide->name << " kind " << kind << " step " << step << " n " << n;
            ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0)
                << wide->name << " kind " << kind << " backward " << backward << " step " << step << " n " << n;
            ASSERT_EQ(std::memcmp(&la, &lb, sizeof la), 0) << wide->name << " levels, n " << n;
            if (kind == kSteady) {
              // The values alone, as the filtered voices take them.
              std::vector<float> va(48, 1.5f), vb(48, 1.5f);
              ASSERT_EQ(plain.values[backward](va.data(), n, data.data(), position, step),
                        wide->values[backward](vb.data(), n, data.data(), position, step));
              ASSERT_EQ(std::memcmp(va.data(), vb.data(), va.size() * sizeof(float)), 0) << wide->name << " values, n " << n;
            }
            ++compared;
          }
  }
  if (compared == 0) GTEST_SKIP() << "this machine has only the plain path";
}

// Whole songs with envelopes, ramps across ticks, ping-pong loops and every effect.
// Rounding to 16 bits: ties both ways, the edges of full scale, beyond them, infinities and NaN,
// runs of every length up to 40 frames (the passes and their tails); worked values on the plain
// path, the same samples and clip counts on every path.
TEST(MixerPaths, RoundingAlikeOnEveryPath) {
  const float nan = std::nanf("");
  const float inf = std::numeric_limits<float>::infinity();
  const float edges[] = {0.5f, 1.5f, -0.5f, -2.5f, 32767.4f, 32767.5f, -32768.5f, -32768.49f, 40000.0f, -1e9f, inf, -inf, nan};
  const int16_t rounded[] = {0, 2, 0, -2, 32767, 32767, -32768, -32768, 32767, -32768, 32767, -32768, -32768};
  std::vector<float> mix(80);
  std::mt19937 random(3);
  for (size_t i = 0; i < mix.size(); ++i)
    mix[i] = i % 3 == 0 ? edges[i / 3 % 13] : std::uniform_real_distribution<float>(-40000, 40000)(random);
  const MixerKernels& plain = *mixerKernels(MixerPath::kPlain);
  std::vector<int16_t> out(14, 7);
  EXPECT_EQ(plain.round(out.data(), edges, 6), 5u) << "32767.5, 40000, -1e9 and the infinities; -32768.5 rounds to -32768";
  for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], rounded[i]) << i;
  EXPECT_EQ(out[12], 7) << "past the frames asked for";
  for (MixerPath path : kWide) {
    const MixerKernels* wide = mixerKernels(path);
    if (!wide) continue;
    for (int32_t n = 0; n <= 40; ++n) {
      std::vector<int16_t> a(82, 7), b(82, 7);
      EXPECT_EQ(plain.round(a.data(), mix.data(), n), wide->round(b.data(), mix.data(), n)) << wide->name << " n " << n;
      EXPECT_EQ(a, b) << wide->name << " n " << n;
    }
  }
}

TEST(MixerPaths, SongsRenderAlikeOnEveryPath) {
  int compared = 0;
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    RandomModuleOptions options;
    options.channels = 8;
    LoadedSong loaded(randomModule(seed, options), ft2::kRules);
    ASSERT_NE(loaded.song, nullptr);
    OfflineRenderer plain(*loaded.song, 44100);
    ASSERT_TRUE(plain.setMixerPath(MixerPath::kPlain));
    const std::vector<int16_t> expected = plain.render(44100 * 4);
    for (MixerPath path : kWide) {
      LoadedSong again(loaded.image, ft2::kRules);
      OfflineRenderer wide(*again.song, 44100);
      if (!wide.setMixerPath(path)) continue;
      EXPECT_EQ(wide.render(44100 * 4), expected) << "seed " << seed << " path " << static_cast<int>(path);
      ++compared;
    }
  }
  if (compared == 0) GTEST_SKIP() << "this machine has only the plain path";
}
}  // namespace
