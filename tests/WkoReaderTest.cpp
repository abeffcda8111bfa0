#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Base/LogFile.h"
#include "ImageLib/BitStream.h"
#include "ImageLib/CImageLib.h"
#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoEncoder.h"
#include "ImageLib/WkoPlanes.h"
#include "TempDir.h"

namespace {
// Builds a bit stream field by field.
class Bits {
 public:
  Bits() : s(openBitStream(nullptr, "wm", 0)) {}
  ~Bits() {
    if (s) closeBitStream(s, nullptr);
  }
  Bits& put(uint32_t value, int count) {
    writeBits(value, count, s);
    return *this;
  }
  std::vector<uint8_t> bytes() {
    const int32_t n = s->bitBudget;
    uint8_t* buffer = nullptr;
    closeBitStream(s, &buffer);
    s = nullptr;
    std::vector<uint8_t> out(buffer, buffer + (n + 7) / 8);
    std::free(buffer);
    return out;
  }
  BitStream* s;
};

std::unique_ptr<Image> read(const std::vector<uint8_t>& bytes) {
  return std::unique_ptr<Image>(ReadWKO(bytes.data(), static_cast<uint32_t>(bytes.size()), false));
}

struct RunStream {
  explicit RunStream(std::vector<uint8_t> bytes)
      : data(std::move(bytes)), s(openBitStream(data.data(), "rm", static_cast<int32_t>(data.size() * 8))) {}
  ~RunStream() { closeBitStream(s, nullptr); }
  int32_t consumed() const { return static_cast<int32_t>(data.size() * 8) - s->bitBudget; }
  std::vector<uint8_t> data;
  BitStream* s;
};
}  // namespace

TEST(WkoRun, NoPlanesConsumesFourBitsAndGivesZeros) {
  RunStream r(Bits().put(0, 4).put(0xF, 4).bytes());
  std::vector<int16_t> values(10, 7);
  EXPECT_EQ(decodeCoefficientRun(values.data(), 10, 0, r.s), 0);
  EXPECT_EQ(r.consumed(), 4);
  for (int16_t v : values) EXPECT_EQ(v, 0);
}

TEST(WkoRun, OneThenSignWithKZeroMakesTheNextCoefficientPlusOne) {
  // n = 8, P = 1, q = 0: 1 (no run bits at k = 0) and sign 0 make coefficient 0 +1, k stays 0;
  // then 0 bits at k = 0, 1, 2 stand for 1 + 2 + 4 zeros, covering all 8.
  RunStream r(Bits().put(1, 4).put(0, 4).put(1, 1).put(0, 1).put(0, 1).put(0, 1).put(0, 1).bytes());
  std::vector<int16_t> values(8);
  EXPECT_EQ(decodeCoefficientRun(values.data(), 8, 0, r.s), 8);
  EXPECT_EQ(values[0], 1);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(values[i], 0);
  EXPECT_EQ(r.consumed(), 8 + 2 + 3);
}

TEST(WkoRun, ZeroRunThatReachesTheRemainingExactlyRaisesK) {
  // n = 1: one 0 bit at k = 0 covers exactly the one remaining coefficient; k becomes 1, so in
  // the second plane one 0 bit (a run of 2) passes the end and k drops back to 0; the third
  // plane's 0 bit again stands for one zero.
  RunStream r(Bits().put(3, 4).put(0, 4).put(0, 1).put(0, 1).put(0, 1).put(0xF, 4).bytes());
  int16_t value = 5;
  EXPECT_EQ(decodeCoefficientRun(&value, 1, 0, r.s), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(r.consumed(), 8 + 3);
}

TEST(WkoRun, RunBitsAndRefinementAndNegatives) {
  // n = 4, P = 2, q = 0. Plane 1: 1 with k 0 -> coefficient 0, sign 1 (negative); k stays 0;
  // 1 -> coefficient 1, sign 0; 0 (k 0) covers 1 zero -> covered 3, k 1; 0 (k 1) covers 2 ->
  // covered 5 > 4, k 0. Refinement of plane 1 reads nothing (none significant before).
  // Plane 2: remaining 2; 1 with k 0 -> coefficient 2 (+), sign 0; 0 covers 1 -> covered 2.
  // Refinement: coefficients 0 and 1 get one bit each: 1 and 0.
  RunStream r(Bits().put(2, 4).put(0, 4).put(0b11, 2).put(0b10, 2).put(0, 1).put(0, 1)
                  .put(0b10, 2).put(0, 1).put(1, 1).put(0, 1).bytes());
  int16_t values[4];
  EXPECT_EQ(decodeCoefficientRun(values, 4, 0, r.s), 4);
  EXPECT_EQ(values[0], -3);
  EXPECT_EQ(values[1], 2);
  EXPECT_EQ(values[2], 1);
  EXPECT_EQ(values[3], 0);
}

TEST(WkoRun, DequantisationOfOneMinusOneAndThree) {
  // Plane 1 (k 0): 0 covers coefficient 0 (k 1); 1 with r = 1 skips coefficient 1 and makes
  // coefficient 2 significant, sign +. Plane 2: coefficient 0 (+) and 1 (-) become significant;
  // refinement gives coefficient 2 its second bit, 1. So 1, -1, 3 before dequantisation.
  for (int q : {0, 1}) {
    Bits b;
    b.put(2, 4).put(static_cast<uint32_t>(q), 4);
    b.put(0, 1).put(1, 1).put(1, 1).put(0, 1);
    b.put(0b10, 2).put(0b11, 2).put(1, 1);
    RunStream r(b.bytes());
    int16_t values[3];
    EXPECT_EQ(decodeCoefficientRun(values, 3, 0, r.s), 3);
    EXPECT_EQ(r.consumed(), 8 + 4 + 5);
    const int16_t expected[2][3] = {{1, -1, 3}, {3, -3, 7}};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(values[i], expected[q][i]) << "q " << q << " value " << i;
  }
}

TEST(WkoReader, FiveByteStream) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());
  const std::vector<uint8_t> bytes = {0x00, 0x88, 0x0A, 0x2F, 0x00};
  RunStream probe(bytes);
  readBits(1, probe.s);
  std::unique_ptr<WkoPlanes> planes = decodeWkoPlanes(probe.s);
  ASSERT_NE(planes, nullptr);
  EXPECT_EQ(probe.consumed(), 37);
  std::unique_ptr<Image> image = read(bytes);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 4);
  EXPECT_EQ(image->bitsPerPixel, 8);
  const uint8_t expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 96, 48, 0, 0, 192, 96, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(image->pixels.get(), image->pixels.get() + 16),
            std::vector<uint8_t>(expected, expected + 16));
  EXPECT_EQ(readFile(path), "CImageLib::ReadWKO Width: 4 Height: 4 Channels: 1\n");
}

namespace {
// A stream of 2 x 2 planes (no transform at that size), every sample of channel c equal to
// values[c] (1..255): P = its bit count; plane 1 makes all four significant, the rest refine.
std::vector<uint8_t> flatStream(bool colour, const std::vector<int>& values, int width = 2, int height = 2) {
  const bool sized = width != 2 || height != 2;
  Bits b;
  b.put(colour, 1).put(sized, 1);
  if (sized) b.put(static_cast<uint32_t>(width - 1), 16).put(static_cast<uint32_t>(height - 1), 16);
  b.put(static_cast<uint32_t>(values.size() - 1), 4).put(1, 4).put(1, 4).put(0, 4).put(3, 5);
  for (int v : values) {
    int planes = 0;
    while ((v >> planes) > 0) ++planes;
    b.put(static_cast<uint32_t>(planes), 4).put(0, 4);
    for (int i = 0; i < 4; ++i) b.put(0b10, 2);
    for (int plane = 2; plane <= planes; ++plane)
      for (int i = 0; i < 4; ++i) b.put(static_cast<uint32_t>((v >> (planes - plane)) & 1), 1);
  }
  return b.bytes();
}

std::vector<uint8_t> pixelsOf(const Image& image) {
  return {image.pixels.get(), image.pixels.get() + image.width * image.height * image.bitsPerPixel / 8};
}
}  // namespace

TEST(WkoReader, YCbCrConversionExamples) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());
  std::unique_ptr<Image> grey = read(flatStream(true, {128, 128, 128}));
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(grey->bitsPerPixel, 24);
  EXPECT_EQ(pixelsOf(*grey), std::vector<uint8_t>(12, 128));
  EXPECT_EQ(readFile(path), "CImageLib::ReadWKO Width: 2 Height: 2 Channels: 3\nconverting YCbCr -> RGB\n");
  std::unique_ptr<Image> pink = read(flatStream(true, {255, 128, 255}));
  ASSERT_NE(pink, nullptr);
  EXPECT_EQ(pink->pixels[0], 255);
  EXPECT_EQ(pink->pixels[1], 164);
  EXPECT_EQ(pink->pixels[2], 255);
}

TEST(WkoReader, WithoutTheColourFlagPlanesAreRGB) {
  std::unique_ptr<Image> image = read(flatStream(false, {10, 20, 30}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixels[0], 10);
  EXPECT_EQ(image->pixels[1], 20);
  EXPECT_EQ(image->pixels[2], 30);
  std::unique_ptr<Image> one = read(flatStream(true, {77}));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->bitsPerPixel, 8) << "one channel, whatever the flag says";
  EXPECT_EQ(pixelsOf(*one), std::vector<uint8_t>(4, 77));
}

TEST(WkoReader, TwoAndFourChannelsKeepEveryChannel) {
  std::unique_ptr<Image> two = read(flatStream(true, {5, 6}));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->bitsPerPixel, 16);
  EXPECT_EQ(pixelsOf(*two), (std::vector<uint8_t>{5, 6, 5, 6, 5, 6, 5, 6}));
  std::unique_ptr<Image> four = read(flatStream(true, {128, 128, 128, 9}));
  ASSERT_NE(four, nullptr);
  EXPECT_EQ(four->bitsPerPixel, 32);
  EXPECT_EQ(four->pixels[3], 9);
  EXPECT_EQ(four->pixels[0], 128);
}

TEST(WkoReader, VisiblePartOnlyBottomRowFirst) {
  // Padded 4 x 4 (one transform level): a single low-pass coefficient gives the rows of the
  // five-byte example; visible 3 x 2 takes plane rows 1 and 0, columns 0..2.
  Bits b;
  b.put(0, 1).put(1, 1).put(2, 16).put(1, 16).put(0, 4).put(2, 4).put(2, 4).put(0, 4).put(5, 5);
  b.put(1, 4).put(7, 4).put(1, 1).put(0, 1).put(0, 4);
  std::unique_ptr<Image> image = read(b.bytes());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint8_t>{96, 48, 0, 192, 96, 0}));
}

TEST(WkoReader, CorruptHeadersGiveNoImage) {
  auto header = [](int sizeW, int sizeH, int logW, int logH, int groups, int firstCode) {
    Bits b;
    b.put(0, 1).put(sizeW > 0, 1);
    if (sizeW > 0) b.put(static_cast<uint32_t>(sizeW - 1), 16).put(static_cast<uint32_t>(sizeH - 1), 16);
    b.put(0, 4).put(static_cast<uint32_t>(logW), 4).put(static_cast<uint32_t>(logH), 4);
    b.put(static_cast<uint32_t>(groups - 1), 4).put(static_cast<uint32_t>(firstCode), 5).put(0, 30);
    return b.bytes();
  };
  EXPECT_EQ(read(header(0, 0, 2, 2, 1, 0)), nullptr) << "first-group code 0";
  EXPECT_EQ(read(header(5, 4, 2, 2, 1, 5)), nullptr) << "explicit width above the padded width";
  EXPECT_EQ(read(header(0, 0, 2, 2, 2, 5)), nullptr) << "a second group beyond the plane";
  EXPECT_EQ(read(header(0, 0, 2, 2, 1, 6)), nullptr) << "a first group beyond the plane";
  EXPECT_EQ(read(header(0, 0, 15, 15, 1, 1)), nullptr) << "planes of 32768 x 32768";
  EXPECT_NE(read(header(0, 0, 3, 2, 2, 4)), nullptr) << "8 x 4 in groups of 8 and 24";
  EXPECT_EQ(read(std::vector<uint8_t>{}), nullptr);
  // Twelve channels of 4096 x 4096 from six bytes: more work than any picture of the format needs.
  EXPECT_EQ(read(std::vector<uint8_t>{0x2F, 0x31, 0x88, 0x2E, 0x00, 0xDD}), nullptr);
}

TEST(WkoReader, EveryCutOfAStreamDecodesWithinItsBuffers) {
  Bits b;
  b.put(1, 1).put(0, 1).put(2, 4).put(4, 4).put(3, 4).put(1, 4).put(6, 5);  // 16 x 8: groups of 32 and 96
  uint32_t seed = 12345;
  for (int i = 0; i < 600; ++i) {
    seed = seed * 1103515245 + 12345;
    b.put(seed >> 16, 16);
  }
  const std::vector<uint8_t> whole = b.bytes();
  for (size_t size = 4; size <= whole.size(); size += 3) {  // from the first cut that holds the header
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
    std::unique_ptr<Image> image = read(cut);
    ASSERT_NE(image, nullptr) << size;
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->height, 8);
  }
}

TEST(WkoReader, SamplesPackAsTheirAbsoluteValueAtMost255) {
  // 2 x 2 planes have no transform: the run's values are the samples, -7 and 300 among them.
  Bits b;
  b.put(0, 1).put(0, 1).put(0, 4).put(1, 4).put(1, 4).put(0, 4).put(3, 5);
  const int16_t samples[4] = {-7, 300, 0, -300};
  encodeCoefficientRun(samples, 4, 0, b.s);
  std::unique_ptr<Image> image = read(b.bytes());
  ASSERT_NE(image, nullptr);
  // Bottom row first: plane row 1 (0, -300), then row 0 (-7, 300).
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint8_t>{0, 255, 7, 255}));
}

TEST(WkoReader, AFileGivesTheSameImageAsMemory) {
  // Colour and grey, each longer than the file stream's 1024-byte buffer so that it refills.
  TempDir dir;
  for (int channels : {3, 1}) {
    std::vector<uint8_t> pixels(static_cast<size_t>(90) * 70 * channels);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 7919) % 251 ^ (i / 90) * 3);
    const std::vector<uint8_t> stream = encodeWkoBudget(pixels.data(), 90, 70, channels, 4000, true);
    ASSERT_GT(stream.size(), 3000u);
    const std::string path = dir.file("picture.wko");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(stream.data(), 1, stream.size(), f), stream.size());
    std::fclose(f);
    std::unique_ptr<Image> fromMemory = read(stream);
    std::unique_ptr<Image> fromFile(ReadWKO(path.c_str(), 0, true));
    ASSERT_NE(fromMemory, nullptr);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(fromFile->width, 90);
    EXPECT_EQ(fromFile->height, 70);
    EXPECT_EQ(fromFile->bitsPerPixel, 8 * channels);
    EXPECT_EQ(pixelsOf(*fromFile), pixelsOf(*fromMemory)) << channels << " channels";
  }
  EXPECT_EQ(ReadWKO(dir.file("missing.wko").c_str(), 0, true), nullptr);
}

TEST(WkoReader, CoefficientsNoGroupCoversStayZero) {
  // A 4 x 4 plane with one group of 4 (first-group code 3): the twelve level-1 details are in no
  // group. Decoded after a stream that fills every coefficient, so stale values would show.
  std::vector<uint8_t> busy(16);
  for (size_t i = 0; i < busy.size(); ++i) busy[i] = static_cast<uint8_t>(37 * i + 11);
  ASSERT_NE(read(encodeWkoLossless(busy.data(), 4, 4, 1)), nullptr);
  Bits b;
  b.put(0, 1).put(0, 1).put(0, 4).put(2, 4).put(2, 4).put(0, 4).put(3, 5);
  const int16_t lowPass[4] = {192, 0, 0, 0};
  encodeCoefficientRun(lowPass, 4, 0, b.s);
  std::unique_ptr<Image> image = read(b.bytes());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 96, 48, 0, 0, 192, 96, 0, 0}));
}

TEST(WkoReader, SizeLimitIsTheEncodersToo) {
  EXPECT_TRUE(wkoPlanesFit(4096, 4096, 3));
  EXPECT_FALSE(wkoPlanesFit(4096, 4096, 4));
  EXPECT_TRUE(wkoPlanesFit(16384, 1024, 3));
  EXPECT_FALSE(wkoPlanesFit(8192, 4096, 1));
  EXPECT_TRUE(wkoPlanesFit(2048, 1024, 16));
  EXPECT_FALSE(wkoPlanesFit(2048, 2048, 16));
  EXPECT_FALSE(wkoPlanesFit(1 << 16, 1, 1)) << "beyond the header's 4-bit logarithm";
  EXPECT_FALSE(wkoPlanesFit(4, 4, 17));
  // The decoder at the edge: three channels of 4096 x 4096 from a bare header decode (every run
  // reads as empty), a fourth channel is refused.
  for (int channels : {3, 4}) {
    Bits b;
    b.put(0, 1).put(0, 1).put(static_cast<uint32_t>(channels - 1), 4).put(12, 4).put(12, 4).put(0, 4).put(25, 5);
    std::unique_ptr<Image> image = read(b.bytes());
    EXPECT_EQ(image != nullptr, channels == 3) << channels << " channels";
    if (image) {
      EXPECT_EQ(image->width, 4096);
    }
  }
  // The encoder at the same edge: 4096 x 4096 x 4 was once encoded into streams the decoder refuses.
  EXPECT_TRUE(wkoPictureFits(4096, 4096, 3));
  EXPECT_FALSE(wkoPictureFits(4096, 4096, 4));
  EXPECT_TRUE(wkoPictureFits(16384, 1000, 3));
  EXPECT_FALSE(wkoPictureFits(4097, 4096, 1)) << "padded to 8192 x 4096";
  const uint8_t pixel = 0;  // never read: the picture is refused first
  EXPECT_TRUE(encodeWkoLossless(&pixel, 4096, 4096, 4).empty());
  EXPECT_TRUE(encodeWkoBudget(&pixel, 4096, 4096, 4, 100000, true).empty());
}

namespace {
// The picture the long way: whole planes reconstructed, every padded sample converted, then
// packed. ReadWKO reconstructs only the visible part and converts and packs row by row.
std::unique_ptr<Image> byWholePlanes(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return nullptr;
  RunStream r(bytes);
  const bool colour = readBits(1, r.s);
  std::unique_ptr<WkoPlanes> p = decodeWkoPlanes(r.s);
  if (!p) return nullptr;
  if (colour && p->channels >= 3) convertYCbCr(*p);
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[static_cast<size_t>(p->width) * p->height * p->channels]);
  uint8_t* out = pixels.get();
  for (int32_t y = p->height - 1; y >= 0; --y)
    for (int32_t x = 0; x < p->width; ++x)
      for (int32_t c = 0; c < p->channels; ++c)
        *out++ = static_cast<uint8_t>(std::min(255, std::abs(p->planes[static_cast<size_t>(c)][static_cast<size_t>(y) * p->paddedWidth + x])));
  return std::make_unique<Image>(p->width, p->height, 8 * p->channels, std::move(pixels));
}

void expectSamePicture(const std::vector<uint8_t>& bytes, const std::string& what) {
  const std::unique_ptr<Image> fast = read(bytes), slow = byWholePlanes(bytes);
  ASSERT_EQ(fast == nullptr, slow == nullptr) << what;
  if (!fast) return;
  ASSERT_EQ(fast->width, slow->width) << what;
  ASSERT_EQ(fast->height, slow->height) << what;
  ASSERT_EQ(fast->bitsPerPixel, slow->bitsPerPixel) << what;
  ASSERT_EQ(pixelsOf(*fast), pixelsOf(*slow)) << what;
}
}  // namespace

TEST(WkoReader, VisibleReconstructionGivesTheWholePlanesPicture) {
  struct Shape {
    int w, h, channels;
    uint32_t bytes;  // 0: lossless
    bool ycbcr;
  };
  uint32_t seed = 99;
  auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 8; };
  for (const Shape& shape : {Shape{37, 23, 3, 300, true}, Shape{64, 64, 1, 500, false}, Shape{100, 37, 3, 0, false},
                             Shape{9, 70, 4, 0, false}, Shape{130, 70, 3, 2000, false}, Shape{200, 3, 3, 200, true},
                             Shape{33, 65, 2, 700, false}}) {
    std::vector<uint8_t> pixels(static_cast<size_t>(shape.w) * shape.h * shape.channels);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 37 / 11) % 200 + next() % 40);
    const std::vector<uint8_t> stream =
        shape.bytes ? encodeWkoBudget(pixels.data(), shape.w, shape.h, shape.channels, shape.bytes, shape.ycbcr)
                    : encodeWkoLossless(pixels.data(), shape.w, shape.h, shape.channels);
    ASSERT_FALSE(stream.empty());
    const std::string name = std::to_string(shape.w) + " x " + std::to_string(shape.h) + " x " + std::to_string(shape.channels);
    expectSamePicture(stream, name);
    for (size_t cut = 1; cut < stream.size(); cut += 1 + stream.size() / 9)
      expectSamePicture(std::vector<uint8_t>(stream.begin(), stream.begin() + static_cast<long>(cut)), name + " cut");
    for (int flip = 0; flip < 12; ++flip) {
      std::vector<uint8_t> bent = stream;
      const uint32_t bit = next() % (bent.size() * 8);
      bent[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
      expectSamePicture(bent, name + " bit " + std::to_string(bit) + " flipped");
    }
  }
  for (int i = 0; i < 150; ++i) {
    std::vector<uint8_t> noise(1 + next() % 400);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(next());
    expectSamePicture(noise, "random " + std::to_string(i));
  }
  // Samples far outside 0 .. 255 take the conversion's 64-bit sums.
  Bits b;
  b.put(1, 1).put(0, 1).put(2, 4).put(1, 4).put(1, 4).put(0, 4).put(3, 5);
  const int16_t y[4] = {5000, -6000, 128, 32000}, cb[4] = {-30000, 4100, 128, 90}, cr[4] = {300, -4097, 128, -32000};
  for (const int16_t* channel : {y, cb, cr}) encodeCoefficientRun(channel, 4, 0, b.s);
  expectSamePicture(b.bytes(), "large samples");
}
