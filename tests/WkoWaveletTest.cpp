#include "ImageLib/WkoWavelet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {
std::vector<int16_t> lift(std::vector<int16_t> in) {
  std::vector<int16_t> out(in.size());
  inverseLifting(in.data(), out.data(), static_cast<int32_t>(in.size()));
  return out;
}

std::vector<std::pair<int, int>> order(int w, int h) {
  std::vector<std::pair<int, int>> xy;
  for (int k = 0; k < w * h; ++k) {
    int32_t x, y;
    splitIndex(static_cast<uint32_t>(k), w, h, x, y);
    xy.emplace_back(x, y);
  }
  return xy;
}
using XY = std::vector<std::pair<int, int>>;
}  // namespace

TEST(WkoWavelet, SignificantBitsAndLevels) {
  EXPECT_EQ(significantBits(1), 1);
  EXPECT_EQ(significantBits(4), 3);
  EXPECT_EQ(significantBits(128), 8);
  EXPECT_EQ(significantBits(0), 0);
  EXPECT_EQ(significantBits(-5), 0);
  EXPECT_EQ(transformLevels(128, 128), 6);
  EXPECT_EQ(transformLevels(256, 32), 4);
  EXPECT_EQ(transformLevels(4, 4), 1);
  EXPECT_EQ(transformLevels(2, 64), 0);
  EXPECT_EQ(transformLevels(64, 1), 0);
}

TEST(WkoWavelet, InverseLiftingExamples) {
  EXPECT_EQ(lift({10, 20, 0, 0}), (std::vector<int16_t>{10, 15, 20, 20}));
  EXPECT_EQ(lift({0, 0, 4, 0}), (std::vector<int16_t>{-2, 3, -1, -1}));
  EXPECT_EQ(lift({-3, 0, 0, 0}), (std::vector<int16_t>{-3, -1, 0, 0}));
}

TEST(WkoWavelet, ZOrderSplits) {
  EXPECT_EQ(order(2, 2), (XY{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
  EXPECT_EQ(order(4, 2), (XY{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 0}, {3, 0}, {2, 1}, {3, 1}}));
  EXPECT_EQ(order(8, 2), (XY{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1},
                             {4, 0}, {5, 0}, {6, 0}, {7, 0}, {4, 1}, {5, 1}, {6, 1}, {7, 1}}));
  EXPECT_EQ(order(2, 4), (XY{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}}));
}

TEST(WkoWavelet, ZOrderSplitsTakeTheBitsOneByOneFromTheTop) {
  // The split as the format describes it, a bit at a time, against the packed bit arithmetic.
  auto byBits = [](uint32_t k, int w, int h) {
    const int bx = significantBits(w) - 1, by = significantBits(h) - 1;
    int bit = bx + by - 1, xBits = 0, yBits = 0, x = 0, y = 0;
    auto take = [&](int& into, int& have) { into = into << 1 | static_cast<int>((k >> bit--) & 1), ++have; };
    for (int i = 0; i < std::max(bx, by); ++i) {
      if (by < bx) {
        take(x, xBits);
        if (yBits < by) take(y, yBits);
      } else {
        take(y, yBits);
        if (xBits < bx) take(x, xBits);
      }
    }
    return std::make_pair(x, y);
  };
  for (int w = 1; w <= 256; w *= 2)
    for (int h = 1; h <= 256; h *= 2)
      for (uint32_t k = 0; k < static_cast<uint32_t>(w * h); ++k) {
        int32_t x, y;
        splitIndex(k, w, h, x, y);
        ASSERT_EQ(std::make_pair(x, y), byBits(k, w, h)) << w << " x " << h << " k " << k;
      }
}

TEST(WkoWavelet, InverseTransformMatchesLiftingEachColumnThenEachRow) {
  std::mt19937 random(12);
  for (auto [w, h] : {std::pair{4, 4}, {8, 4}, {4, 32}, {16, 16}, {64, 8}, {32, 128}, {256, 64}}) {
    std::vector<int16_t> plane(static_cast<size_t>(w) * h);
    for (int16_t& v : plane) v = static_cast<int16_t>(static_cast<int>(random() % 2001) - 1000);
    const int levels = transformLevels(w, h);
    std::vector<int16_t> expected = plane, in(static_cast<size_t>(std::max(w, h))), out(in.size());
    for (int n = levels - 1; n >= 0; --n) {
      const int rw = w >> n, rh = h >> n;
      for (int x = 0; x < rw; ++x) {
        for (int y = 0; y < rh; ++y) in[static_cast<size_t>(y)] = expected[static_cast<size_t>(y) * w + x];
        inverseLifting(in.data(), out.data(), rh);
        for (int y = 0; y < rh; ++y) expected[static_cast<size_t>(y) * w + x] = out[static_cast<size_t>(y)];
      }
      for (int y = 0; y < rh; ++y) {
        inverseLifting(&expected[static_cast<size_t>(y) * w], out.data(), rw);
        std::copy(out.begin(), out.begin() + rw, expected.begin() + static_cast<std::ptrdiff_t>(y) * w);
      }
    }
    inverseTransform(plane.data(), w, h, levels);
    EXPECT_EQ(plane, expected) << w << " x " << h;
  }
}

TEST(WkoWavelet, SixteenByEightWithANineByFivePicture) {
  const ScanTables tables = buildScanTables(16, 9, 8, 5, 1);
  ASSERT_EQ(tables.size(), 2u);
  const std::vector<int32_t>& level1 = tables[0];
  ASSERT_EQ(level1.size(), 32u);
  // Columns 0..5 of all four rows by the interleaved scan, then columns 6, 7 row by row.
  for (int i = 0; i < 24; ++i) EXPECT_LE(level1[i] % 16, 5) << i;
  EXPECT_EQ(std::vector<int32_t>(level1.begin() + 24, level1.end()),
            (std::vector<int32_t>{6, 7, 16 + 6, 16 + 7, 32 + 6, 32 + 7, 48 + 6, 48 + 7}));
  std::vector<int32_t> sorted = level1;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "each position once";
  EXPECT_EQ(level1[0], 0);
  EXPECT_EQ(level1[1], 1);
  EXPECT_EQ(level1[2], 16);
}

TEST(WkoWavelet, BottomPaddingRowsComeLast) {
  const ScanTables tables = buildScanTables(8, 8, 8, 2, 1);
  const std::vector<int32_t>& level1 = tables[0];  // 4 x 4, gy = 4 - 3 = 1
  ASSERT_EQ(level1.size(), 16u);
  EXPECT_EQ(std::vector<int32_t>(level1.begin() + 8, level1.end()),
            (std::vector<int32_t>{16, 17, 18, 19, 24, 25, 26, 27}));
}

TEST(WkoWavelet, FourByFourPlacement) {
  const ScanTables tables = buildScanTables(4, 4, 4, 4, 1);
  std::vector<int16_t> coded(16), plane(16, -1);
  std::iota(coded.begin(), coded.end(), 0);
  placeCoefficients(plane.data(), coded.data(), tables, 4, 4, 1);
  EXPECT_EQ(plane, (std::vector<int16_t>{0, 1, 4, 6, 2, 3, 8, 10, 5, 7, 12, 13, 9, 11, 14, 15}));
}

TEST(WkoWavelet, SmallPlanesAreTheirOwnOrder) {
  EXPECT_TRUE(buildScanTables(2, 2, 64, 64, 0).empty());
  std::vector<int16_t> coded{1, 2, 3, 4, 5, 6, 7, 8}, plane(8);
  placeCoefficients(plane.data(), coded.data(), {}, 2, 4, 0);
  EXPECT_EQ(plane, coded);
  inverseTransform(plane.data(), 2, 4, 0);
  EXPECT_EQ(plane, coded);
}

TEST(WkoWavelet, OneLevelSpreads192) {
  std::vector<int16_t> plane(16, 0);
  plane[0] = 192;
  inverseTransform(plane.data(), 4, 4, 1);
  EXPECT_EQ(plane, (std::vector<int16_t>{192, 96, 0, 0, 96, 48, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(WkoWavelet, ScanTablesAreTheFilteredInterleavedOrderThenThePadding) {
  // The tables as the format describes them: every index split, kept inside the core, then the
  // right padding row by row and the bottom rows.
  auto literal = [](int32_t pw, int32_t w, int32_t ph, int32_t h, int levels) {
    ScanTables tables;
    for (int i = 1; i <= levels + 1; ++i) {
      const int32_t wi = pw >> i, hi = ph >> i, gx = wi - ((pw - w) >> i), gy = hi - ((ph - h) >> i);
      std::vector<int32_t> t;
      for (int32_t k = 0; k < wi * hi; ++k) {
        int32_t x, y;
        splitIndex(static_cast<uint32_t>(k), wi, hi, x, y);
        if (x <= gx && y <= gy) t.push_back(x + y * pw);
      }
      for (int32_t y = 0; y < std::min(hi, gy + 1); ++y)
        for (int32_t x = gx + 1; x < wi; ++x) t.push_back(x + y * pw);
      for (int32_t y = gy + 1; y < hi; ++y)
        for (int32_t x = 0; x < wi; ++x) t.push_back(x + y * pw);
      tables.push_back(t);
    }
    return tables;
  };
  for (auto [pw, ph] : {std::pair{4, 4}, {16, 8}, {8, 32}, {64, 64}, {256, 32}, {4, 128}, {128, 16}})
    for (int32_t w : {pw, pw / 2 + 1, pw * 3 / 4, 1})
      for (int32_t h : {ph, ph / 2 + 1, ph - 1, 1}) {
        const int levels = transformLevels(pw, ph);
        EXPECT_EQ(buildScanTables(pw, w, ph, h, levels), literal(pw, w, ph, h, levels))
            << pw << " x " << ph << " showing " << w << " x " << h;
      }
}

TEST(WkoWavelet, VisibleTransformGivesTheWholeTransformsValuesWhereVisible) {
  // Small values take the 16-bit lifting, large ones (as corrupt streams give) the 32-bit one.
  std::mt19937 random(5);
  for (int range : {200, 8191, 32767})
    for (auto [w, h] : {std::pair{4, 4}, {16, 8}, {64, 64}, {128, 32}, {32, 256}, {256, 64}}) {
      const int levels = transformLevels(w, h);
      for (int trial = 0; trial < 6; ++trial) {
        const int32_t vw = 1 + static_cast<int32_t>(random() % w), vh = 1 + static_cast<int32_t>(random() % h);
        std::vector<int16_t> plane(static_cast<size_t>(w) * h);
        for (int16_t& v : plane) v = static_cast<int16_t>(static_cast<int>(random() % (2 * range + 1)) - range);
        std::vector<int16_t> whole = plane;
        inverseTransform(whole.data(), w, h, levels);
        std::vector<int16_t> visible = plane;
        inverseTransformVisible(visible.data(), w, h, levels, vw, vh);
        std::vector<int16_t> rows = plane, out(static_cast<size_t>(w) * 2);
        inverseTransformVisible(rows.data(), w, h, levels, vw, vh, false);
        for (int32_t y = 0; y < vh; ++y) {
          const size_t at = static_cast<size_t>(y) * w;
          const int16_t* last = rows.data() + at;
          if (levels > 0) {
            ASSERT_GE(liftRowPrefix(last, w, vw, out.data(), out.data() + w, out.data() + w + w / 2), vw);
            last = out.data();
          }
          for (int32_t x = 0; x < vw; ++x) {
            ASSERT_EQ(visible[at + x], whole[at + x]) << w << " x " << h << " at " << x << ", " << y;
            ASSERT_EQ(last[x], whole[at + x]) << w << " x " << h << " row lifted last, at " << x << ", " << y;
          }
        }
      }
    }
}
