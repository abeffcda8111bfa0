// The compressed sample data of Impulse Tracker 2.14 and 2.15: streams worked out by hand, and
// round trips of the writer's compression.
#include "SoundLib/xmplay/formats/ITSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "modules/ITWriter.h"

namespace {
// Values that wander over the whole range, as a tracker's recordings do: a slow wave with noise.
std::vector<int16_t> wandering(size_t count, uint32_t seed) {
  std::vector<int16_t> v(count);
  int level = 0;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int step = static_cast<int>(seed >> 20) - 2048;  // -2048..2047
    // Some stretches quiet, some loud, so that the stream's width moves both ways.
    const int scale = (i / 3000) % 3 == 0 ? 1 : (i / 3000) % 3 == 1 ? 4 : 16;
    level = std::clamp(level + step * scale / 4, -32768, 32767);
    v[i] = static_cast<int16_t>(level);
  }
  return v;
}
}  // namespace

// Streams worked out by hand, bit by bit (low bits first). 8-bit: 5 at the widest width (9); a
// change to 3 bits (0x100 | 2); 3 and -1; a change from 3 bits (the value 4, then 3 bits of 6: to
// 8, one past the current width counting one more); 0x90 at 8 bits, which wraps (124 to 131 are
// that width's changes); a change from 8 bits to 2 (the border 123 plus 2); 1 at 2 bits.
TEST(ITDecompressor, WorkedBlocks) {
  const std::vector<uint8_t> eight = {0x06, 0x00, 0x05, 0x04, 0xEE, 0x34, 0x64, 0x5F};
  int16_t out[5] = {};
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 5, false, false, out, 1), 8);
  const int16_t once[] = {5 * 256, 8 * 256, 7 * 256, -105 * 256, -104 * 256};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], once[i]) << i;
  // 2.15's: the sums summed again.
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 5, false, true, out, 1), 8);
  const int16_t twice[] = {5 * 256, 13 * 256, 20 * 256, -85 * 256, 67 * 256};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], twice[i]) << i;
  EXPECT_EQ(compressedITBytes(eight.data(), eight.size(), 5, false), 8);

  // 16-bit, into every other value: 256 at 17 bits; a change to 5 (0x10000 | 4); -1; a change from
  // 5 bits (16, then 4 bits of 14: to 16); 0x9000 at 16 bits, which wraps.
  const std::vector<uint8_t> sixteen = {0x08, 0x00, 0x00, 0x01, 0x08, 0x00, 0x7E, 0xE8, 0x00, 0x90};
  int16_t pairs[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_EQ(decompressIT(sixteen.data(), sixteen.size(), 3, true, false, pairs, 2), 10);
  const int16_t expected[] = {256, 1, 255, 1, -28417, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(pairs[i], expected[i]) << i;

  // Faults: the block's bytes past the data; a stream that runs out before its values; a change to
  // a width of 0 (0x1FF at 9 bits).
  EXPECT_EQ(decompressIT(eight.data(), 7, 5, false, false, out, 1), kITBlocksPastTheEnd);
  EXPECT_EQ(compressedITBytes(eight.data(), 7, 5, false), kITBlocksPastTheEnd);
  EXPECT_EQ(decompressIT(eight.data(), 1, 5, false, false, out, 1), kITBlocksPastTheEnd) << "no room for the count";
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 6, false, false, out, 1), kITBlocksUndecodable);
  const std::vector<uint8_t> zeroWidth = {0x02, 0x00, 0xFF, 0x01};
  EXPECT_EQ(decompressIT(zeroWidth.data(), zeroWidth.size(), 1, false, false, out, 1), kITBlocksUndecodable);
  const std::vector<uint8_t> tooShort = {0x01, 0x00, 0x00};  // a byte cannot hold 9 values
  EXPECT_EQ(compressedITBytes(tooShort.data(), tooShort.size(), 9, false), kITBlocksUndecodable);
  // 16-bit: 0x10011 at 17 bits changes to 18 bits, which the stream has not.
  const std::vector<uint8_t> tooWide = {0x03, 0x00, 0x11, 0x00, 0x01};
  EXPECT_EQ(decompressIT(tooWide.data(), tooWide.size(), 1, true, false, out, 1), kITBlocksUndecodable);
}

TEST(ITDecompressor, RoundTripsOfManyBlocks) {
  for (bool sixteen : {false, true})
    for (bool it215 : {false, true}) {
      SCOPED_TRACE(testing::Message() << (sixteen ? "16-bit" : "8-bit") << (it215 ? " 2.15" : " 2.14"));
      // Three blocks and a part, with quiet and loud stretches, silence and the extremes.
      const size_t block = sixteen ? 0x4000 : 0x8000;
      std::vector<int16_t> values = wandering(3 * block + 1234, sixteen ? 7 : 11);
      std::fill(values.begin() + 100, values.begin() + 400, 0);
      values[500] = 32767, values[501] = -32768, values[502] = 32767;
      if (!sixteen)
        for (int16_t& v : values) v = static_cast<int16_t>(v & 0xFF00);  // what 8 bits hold
      const std::vector<uint8_t> packed = compressIT(values, sixteen, it215);
      std::vector<int16_t> out(values.size(), 1);
      ASSERT_EQ(compressedITBytes(packed.data(), packed.size(), static_cast<uint32_t>(values.size()), sixteen),
                static_cast<int64_t>(packed.size()));
      ASSERT_EQ(decompressIT(packed.data(), packed.size(), static_cast<uint32_t>(values.size()), sixteen, it215,
                             out.data(), 1),
                static_cast<int64_t>(packed.size()));
      size_t differ = 0;
      for (size_t i = 0; i < values.size(); ++i) differ += out[i] != values[i];
      EXPECT_EQ(differ, 0u);
      EXPECT_LT(packed.size(), values.size() * (sixteen ? 2 : 1)) << "smaller than the plain values";
    }
}
