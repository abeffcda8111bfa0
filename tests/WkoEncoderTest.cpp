#include "ImageLib/WkoEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "ImageLib/CImageLib.h"
#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoPlanes.h"

namespace {
// A picture with smooth areas, edges and noise, top row first.
std::vector<uint8_t> picture(int w, int h, int channels, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        int v = (x * 255 / std::max(1, w - 1) + c * 60) % 256;
        if ((x / 7 + y / 5) % 3 == 0) v = 255 - v;
        v += static_cast<int>(random() % 9) - 4;
        p[(static_cast<size_t>(y) * w + x) * channels + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
  return p;
}
}  // namespace

TEST(WkoEncoder, ForwardLiftingIsExactlyInverted) {
  std::mt19937 random(7);
  for (int n : {4, 8, 16, 64}) {
    for (int trial = 0; trial < 200; ++trial) {
      std::vector<int16_t> in(static_cast<size_t>(n)), coded(in.size()), back(in.size());
      for (int16_t& v : in) v = static_cast<int16_t>(static_cast<int>(random() % 1024) - 512);
      forwardLifting(in.data(), coded.data(), n);
      inverseLifting(coded.data(), back.data(), n);
      ASSERT_EQ(back, in) << "n " << n << " trial " << trial;
    }
  }
}

TEST(WkoEncoder, ForwardLiftingOfTheWorkedExamples) {
  const int16_t a[4] = {10, 15, 20, 20};
  int16_t out[4];
  forwardLifting(a, out, 4);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{10, 20, 0, 0}));
  const int16_t b[4] = {-2, 3, -1, -1};
  forwardLifting(b, out, 4);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{0, 0, 4, 0}));
}

TEST(WkoEncoder, RunsRoundTrip) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 100; ++trial) {
    const int n = 1 + static_cast<int>(random() % 300);
    std::vector<int16_t> values(static_cast<size_t>(n));
    const int range = 1 << (random() % 15);
    for (int16_t& v : values) v = random() % 4 ? 0 : static_cast<int16_t>(static_cast<int>(random() % (2 * range)) - range);
    BitStream* w = openBitStream(nullptr, "wm", 0);
    encodeCoefficientRun(values.data(), n, 0, w);
    const int32_t bits = w->bitBudget;
    uint8_t* buffer = nullptr;
    closeBitStream(w, &buffer);
    BitStream* r = openBitStream(buffer, "rm", std::max(bits, 1));
    std::vector<int16_t> decoded(static_cast<size_t>(n), 99);
    decodeCoefficientRun(decoded.data(), n, 0, r);
    EXPECT_EQ(r->bitBudget, bits > 0 ? 0 : 1) << "every bit written is read";
    closeBitStream(r, &buffer);
    ASSERT_EQ(decoded, values) << "trial " << trial;
  }
}

TEST(WkoEncoder, LongSparseRunsRoundTrip) {
  // Few significant coefficients among tens of thousands: late planes skip thousands of
  // insignificant ones per bit, across blocks that hold significant ones.
  std::mt19937 random(13);
  for (int trial = 0; trial < 12; ++trial) {
    const int n = 5000 + static_cast<int>(random() % 60000);
    const unsigned density = 20 + random() % 2000;
    std::vector<int16_t> values(static_cast<size_t>(n));
    for (int16_t& v : values)
      if (random() % density == 0) v = static_cast<int16_t>(static_cast<int>(random() % 8191) - 4095);
    BitStream* w = openBitStream(nullptr, "wm", 0);
    encodeCoefficientRun(values.data(), n, 0, w);
    const int32_t bits = w->bitBudget;
    uint8_t* buffer = nullptr;
    closeBitStream(w, &buffer);
    BitStream* r = openBitStream(buffer, "rm", std::max(bits, 1));
    std::vector<int16_t> decoded(static_cast<size_t>(n), 99);
    decodeCoefficientRun(decoded.data(), n, 0, r);
    closeBitStream(r, &buffer);
    ASSERT_EQ(decoded, values) << "trial " << trial << ", " << n << " coefficients";
  }
}

class WkoLossless : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(WkoLossless, DecodesToThePictureBitForBit) {
  const auto [w, h, channels] = GetParam();
  const std::vector<uint8_t> input = picture(w, h, channels, static_cast<unsigned>(w * 131 + h));
  const std::vector<uint8_t> stream = encodeWkoLossless(input.data(), w, h, channels);
  ASSERT_FALSE(stream.empty());
  std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->width, w);
  ASSERT_EQ(image->height, h);
  ASSERT_EQ(image->bitsPerPixel, 8 * channels);
  // The record is bottom row first.
  const size_t row = static_cast<size_t>(w) * channels;
  for (int y = 0; y < h; ++y)
    ASSERT_EQ(0, std::memcmp(&image->pixels[static_cast<size_t>(h - 1 - y) * row], &input[static_cast<size_t>(y) * row], row))
        << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, WkoLossless,
                         ::testing::Values(std::make_tuple(1, 1, 1), std::make_tuple(2, 3, 3), std::make_tuple(4, 4, 1),
                                           std::make_tuple(5, 3, 3), std::make_tuple(17, 9, 1),
                                           std::make_tuple(64, 64, 3), std::make_tuple(100, 37, 3),
                                           std::make_tuple(256, 32, 3), std::make_tuple(3, 200, 1),
                                           std::make_tuple(130, 70, 3)));

TEST(WkoEncoder, LosslessStreamIsSmallerThanTheRawPixelsOnSmoothPictures) {
  std::vector<uint8_t> smooth(256 * 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) smooth[static_cast<size_t>(y) * 256 + x] = static_cast<uint8_t>((x + y) / 2);
  const std::vector<uint8_t> stream = encodeWkoLossless(smooth.data(), 256, 256, 1);
  EXPECT_LT(stream.size(), smooth.size() / 8);
}

TEST(WkoEncoder, SizesOutsideTheFormatGiveNothing) {
  uint8_t pixel = 0;
  EXPECT_TRUE(encodeWkoLossless(&pixel, 0, 1, 1).empty());
  EXPECT_TRUE(encodeWkoLossless(&pixel, 32769, 1, 1).empty());
  EXPECT_TRUE(encodeWkoLossless(&pixel, 1, 1, 17).empty());
}

namespace {
double psnr(const std::vector<uint8_t>& topFirst, const Image& image, int channels) {
  const size_t row = static_cast<size_t>(image.width) * channels;
  double error = 0;
  for (int y = 0; y < image.height; ++y)
    for (size_t i = 0; i < row; ++i) {
      const double d = topFirst[static_cast<size_t>(y) * row + i] - image.pixels[static_cast<size_t>(image.height - 1 - y) * row + i];
      error += d * d;
    }
  const double mse = error / (row * image.height);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}
}  // namespace

TEST(WkoEncoder, ChannelsWithoutBitPlanesDecodeToZeroBesideCodedOnes) {
  // A flat 0 channel is coded as runs without planes; the decoder skips its placement and
  // transform and must leave its neighbours as they are.
  std::vector<uint8_t> input = picture(40, 24, 3, 2);
  for (size_t i = 1; i < input.size(); i += 3) input[i] = 0;
  const std::vector<uint8_t> stream = encodeWkoLossless(input.data(), 40, 24, 3);
  std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(psnr(input, *image, 3), 99);
  // Three bytes of header for three 2048 x 2048 channels in YCbCr, one group, then nothing:
  // every sample is 0, and Y = Cb = Cr = 0 converts to R 0, G (46802 + 22554) x 128 + 32768 >> 16
  // = 135, B 0.
  const uint8_t header[3] = {0x8A, 0xEC, 0x2E};
  std::unique_ptr<Image> empty(ReadWKO(header, 3, false));
  ASSERT_NE(empty, nullptr);
  ASSERT_EQ(empty->width, 2048);
  ASSERT_EQ(empty->bitsPerPixel, 24);
  const uint8_t* px = empty->pixels.get();
  size_t wrong = 0;
  for (size_t i = 0; i < size_t{2048} * 2048; ++i) wrong += px[3 * i] != 0 || px[3 * i + 1] != 135 || px[3 * i + 2] != 0;
  EXPECT_EQ(wrong, 0u);
}

TEST(WkoEncoder, PaddingCostsLittleAndThinPicturesGetTransformLevels) {
  // One column and row past a power of two: the padded planes are four times the picture, yet
  // the stream should cost about what the picture's own samples cost.
  const std::vector<uint8_t> big = picture(129, 65, 3, 11);
  std::vector<uint8_t> cropped;
  for (int y = 0; y < 64; ++y) cropped.insert(cropped.end(), big.begin() + y * 129 * 3, big.begin() + (y * 129 + 128) * 3);
  const size_t padded = encodeWkoLossless(big.data(), 129, 65, 3).size();
  const size_t exact = encodeWkoLossless(cropped.data(), 128, 64, 3).size();
  EXPECT_LT(padded, exact * 5 / 4);
  // 1024 x 2 has no transform level in its natural 1024 x 2 planes (about 7 dB at this size,
  // most channels left out); padded to 1024 x 32 it has four.
  const std::vector<uint8_t> thin = picture(1024, 2, 3, 12);
  const std::vector<uint8_t> stream = encodeWkoBudget(thin.data(), 1024, 2, 3, 256, true);
  std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
  ASSERT_NE(image, nullptr);
  EXPECT_GT(psnr(thin, *image, 3), 11);
}

TEST(WkoEncoder, BudgetsBelowTheHeaderGiveNothing) {
  const std::vector<uint8_t> input = picture(16, 16, 3, 1), odd = picture(15, 16, 3, 1);
  EXPECT_TRUE(encodeWkoBudget(input.data(), 16, 16, 3, 2, true).empty());
  EXPECT_EQ(encodeWkoBudget(input.data(), 16, 16, 3, 3, true).size(), 3u);
  EXPECT_TRUE(encodeWkoBudget(odd.data(), 15, 16, 3, 6, true).empty()) << "an explicit size takes 7 bytes";
  const std::vector<uint8_t> seven = encodeWkoBudget(odd.data(), 15, 16, 3, 7, true);
  ASSERT_EQ(seven.size(), 7u);
  std::unique_ptr<Image> image(ReadWKO(seven.data(), 7, false));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 15);
}

TEST(WkoEncoder, BudgetStreamsFitTheirSizeAndGainQualityWithIt) {
  const int w = 128, h = 96;
  const std::vector<uint8_t> input = picture(w, h, 3, 5);
  double previous = 0;
  for (uint32_t bytes : {300u, 1000u, 3000u, 9000u}) {
    for (bool ycbcr : {true, false}) {
      const std::vector<uint8_t> stream = encodeWkoBudget(input.data(), w, h, 3, bytes, ycbcr);
      ASSERT_FALSE(stream.empty());
      EXPECT_LE(stream.size(), bytes);
      std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
      ASSERT_NE(image, nullptr);
      ASSERT_EQ(image->width, w);
      if (ycbcr) {
        const double quality = psnr(input, *image, 3);
        EXPECT_GT(quality, previous) << bytes << " bytes";
        previous = quality;
      }
    }
  }
  EXPECT_GT(previous, 30);
}

TEST(WkoEncoder, BudgetStreamsPickTheColourSpaceThatDecodesBetterAndUseTheirSize) {
  // Grey detail under a smooth tint: Y, Cb, Cr holds the detail once instead of three times.
  const int w = 96, h = 96;
  std::vector<uint8_t> tinted = picture(w, h, 1, 4), rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < tinted.size(); ++i) {
    rgb[3 * i] = static_cast<uint8_t>(tinted[i] * 3 / 4 + 60);
    rgb[3 * i + 1] = static_cast<uint8_t>(tinted[i] * 3 / 4 + 30);
    rgb[3 * i + 2] = static_cast<uint8_t>(tinted[i] / 2 + (i % w) / 2);
  }
  for (uint32_t bytes : {400u, 2500u}) {
    const std::vector<uint8_t> either = encodeWkoBudget(rgb.data(), w, h, 3, bytes, true);
    const std::vector<uint8_t> plain = encodeWkoBudget(rgb.data(), w, h, 3, bytes, false);
    ASSERT_FALSE(either.empty());
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(either[0] & 0x80, 0x80) << bytes << " bytes: the colour flag";
    EXPECT_EQ(plain[0] & 0x80, 0) << bytes;
    std::unique_ptr<Image> a(ReadWKO(either.data(), static_cast<uint32_t>(either.size()), false));
    std::unique_ptr<Image> b(ReadWKO(plain.data(), static_cast<uint32_t>(plain.size()), false));
    ASSERT_TRUE(a && b);
    EXPECT_GT(psnr(rgb, *a, 3), psnr(rgb, *b, 3)) << bytes;
    // The last run is cut where the size ends, so next to nothing of the budget is left.
    EXPECT_GE(either.size(), bytes * 99 / 100);
    EXPECT_GE(plain.size(), bytes * 99 / 100);
  }
}

TEST(WkoEncoder, ACutBudgetStreamIsACoarserPicture) {
  const std::vector<uint8_t> input = picture(64, 64, 1, 9);
  const std::vector<uint8_t> stream = encodeWkoBudget(input.data(), 64, 64, 1, 2000, false);
  double previous = 0;
  for (size_t cut : {stream.size() / 8, stream.size() / 2, stream.size()}) {
    std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(cut), false));
    ASSERT_NE(image, nullptr);
    const double quality = psnr(input, *image, 1);
    EXPECT_GE(quality, previous) << cut;
    previous = quality;
  }
}

TEST(WkoEncoder, StreamsNeverBeginWithAnotherFormatsSignature) {
  // WKO has no signature of its own: the image library tries the other formats first. Two
  // headers come close: 3 channels of 32 x 16 with the colour flag start 89 50 like PNG, and
  // 4 channels of 4096 x 8 start 0F 0C, a bit away from raw's 0F 0D. Neither encoder writes
  // the group counts that would complete those signatures, so such streams still reach the
  // WKO reader and decode to the picture.
  struct Shape {
    int w, h, channels;
  };
  for (const Shape& shape : {Shape{32, 16, 3}, Shape{4096, 8, 4}}) {
    const std::vector<uint8_t> input = picture(shape.w, shape.h, shape.channels, 6);
    for (bool lossless : {true, false}) {
      const std::vector<uint8_t> stream =
          lossless ? encodeWkoLossless(input.data(), shape.w, shape.h, shape.channels)
                   : encodeWkoBudget(input.data(), shape.w, shape.h, shape.channels,
                                     static_cast<uint32_t>(input.size() / 4), true);
      ASSERT_GE(stream.size(), 64u) << "long enough to be tested for signatures";
      CImageLib lib;
      Image* image = lib.LoadFromMem(stream.data(), static_cast<uint32_t>(stream.size()));
      ASSERT_NE(image, nullptr) << shape.w << " x " << shape.h << (lossless ? " lossless" : " budget");
      EXPECT_EQ(image->width, shape.w);
      EXPECT_EQ(image->height, shape.h);
      EXPECT_EQ(image->bitsPerPixel, 8 * shape.channels);
      if (lossless) {
        EXPECT_GT(psnr(input, *image, shape.channels), 98);
      }
    }
  }
}
