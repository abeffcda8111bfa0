#include "ImageLib/WkoWavelet.h"

#include <gtest/gtest.h>

#include <numeric>

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
