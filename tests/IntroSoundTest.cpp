// The intro's sound, pinned: its module rendered by the intro's rules, one pass at the two rates
// its tests know, must give exactly the frames it always has. The digests are of this player's
// own renders (the ones bench/render_diff.sh compares byte for byte); a change that moves them
// changes what the intro sounds like.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Base/Resource.h"
#include "brackenfold/tracker.h"

namespace {
// FNV-1a over the frames' little-endian bytes.
uint64_t digest(const std::vector<int16_t>& frames) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (int16_t v : frames)
    for (int shift : {0, 8}) h = (h ^ (static_cast<uint16_t>(v) >> shift & 0xFF)) * 0x100000001B3ull;
  return h;
}
}  // namespace

TEST(IntroSound, EveryFrameOfOnePassIsAsItAlwaysWas) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, 184, "sound");
  ASSERT_NE(bytes, nullptr);
  struct Expected {
    int rate;
    int64_t frames;
    uint64_t digest;
  } const expected[] = {
      {44100, 1862784, 0xA390D1BDD944D915ull},
      {22050, 931392, 0x81784DD42058ECE8ull},
  };
  for (const Expected& e : expected) {
    bft_module* m = bft_load(bytes, size, e.rate, "intro", nullptr, 0);
    ASSERT_NE(m, nullptr);
    std::vector<int16_t> all, frames(2 * 4096);
    while (size_t n = bft_render(m, frames.data(), 4096)) all.insert(all.end(), frames.begin(), frames.begin() + 2 * n);
    bft_free(m);
    EXPECT_EQ(static_cast<int64_t>(all.size() / 2), e.frames) << e.rate << " Hz";
    EXPECT_EQ(digest(all), e.digest) << e.rate << " Hz";
  }
}
