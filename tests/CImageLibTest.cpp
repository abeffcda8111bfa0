#include "ImageLib/CImageLib.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Base/LogFile.h"
#include "ImageLib/ImageReaders.h"
#include "TempDir.h"

namespace {
std::vector<uint8_t> rawImage(int32_t width, int32_t height, size_t pixelBytes) {
  std::vector<uint8_t> b = {0x0F, 0x0D, 0x0B, 0x07};
  for (int32_t v : {width, height})
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  for (size_t i = 0; i < pixelBytes; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

std::vector<uint8_t> tgaImage(int width, int height, int depth, size_t pixelBytes, uint8_t type = 2) {
  std::vector<uint8_t> b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                            static_cast<uint8_t>(depth), 0};
  for (size_t i = 0; i < pixelBytes; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

class CImageLibTest : public ::testing::Test {
 protected:
  CImageLibTest() : log(dir.file("log.txt").c_str()) {}
  std::string logText() { return readFile(dir.file("log.txt")); }
  size_t entries() const {
    size_t n = 0;
    for (CImageLib::Entry* e = lib.head; e; e = e->next) ++n;
    return n;
  }
  TempDir dir;
  LogFile log;
  CImageLib lib;
};
}  // namespace

TEST_F(CImageLibTest, RawGlyphSheetIsTurnedUpsideDown) {
  const std::vector<uint8_t> data = rawImage(256, 128, 32768);
  ASSERT_EQ(data.size(), 32780u);
  Image* image = lib.LoadFromMem(data.data(), static_cast<uint32_t>(data.size()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 256);
  EXPECT_EQ(image->height, 128);
  EXPECT_EQ(image->bitsPerPixel, 8);
  // The last buffer row is the first stored row.
  for (int x = 0; x < 256; ++x) EXPECT_EQ(image->pixels[127 * 256 + x], data[12 + x]);
  EXPECT_EQ(image->pixels[0], data[12 + 127 * 256]);
  EXPECT_EQ(logText(),
            "CImageLib::LoadFromMem : Reading tav_raw file\n"
            "sig = 70b0d0f width = 256 height = 128\n"
            "CImageLib::insertImage : inserting start image\n");
}

TEST_F(CImageLibTest, RawOfHeightOneIsCopiedUnchangedAndShortRawGivesNone) {
  const std::vector<uint8_t> data = rawImage(60, 1, 60);
  Image* image = lib.LoadFromMem(data.data(), static_cast<uint32_t>(data.size()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(image->pixels.get(), image->pixels.get() + 60),
            std::vector<uint8_t>(data.begin() + 12, data.end()));
  const std::vector<uint8_t> shortData = rawImage(100, 100, 60);
  EXPECT_EQ(ReadRaw(shortData.data(), static_cast<uint32_t>(shortData.size())), nullptr);
  const std::vector<uint8_t> negative = rawImage(-4, 10, 60);
  EXPECT_EQ(ReadRaw(negative.data(), static_cast<uint32_t>(negative.size())), nullptr);
}

TEST_F(CImageLibTest, TgaSwapsRedAndBlueAndKeepsTheFourthByte) {
  const std::vector<uint8_t> data = tgaImage(4, 4, 32, 64);
  Image* image = lib.LoadFromMem(data.data(), static_cast<uint32_t>(data.size()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_EQ(image->pixels[0], 2);
  EXPECT_EQ(image->pixels[1], 1);
  EXPECT_EQ(image->pixels[2], 0);
  EXPECT_EQ(image->pixels[3], 3);
  EXPECT_EQ(image->pixels[4], 6);
  EXPECT_EQ(logText(), "width : 4 height : 4\nCImageLib::insertImage : inserting start image\n");
  const std::vector<uint8_t> rgb = tgaImage(8, 4, 24, 96);
  Image* image24 = ReadTGA(rgb.data(), static_cast<uint32_t>(rgb.size()));
  ASSERT_NE(image24, nullptr);
  EXPECT_EQ(image24->pixels[3], 5);
  EXPECT_EQ(image24->pixels[5], 3);
  delete image24;
}

TEST_F(CImageLibTest, TgaOutsideTheSubsetGivesNone) {
  for (const std::vector<uint8_t>& data :
       {tgaImage(4, 4, 24, 48, 10), tgaImage(4, 4, 16, 32), tgaImage(0, 4, 24, 48), tgaImage(40, 40, 24, 48)}) {
    EXPECT_EQ(ReadTGA(data.data(), static_cast<uint32_t>(data.size())), nullptr);
  }
  std::vector<uint8_t> withId = tgaImage(4, 4, 24, 48);
  withId[0] = 3;
  EXPECT_EQ(ReadTGA(withId.data(), static_cast<uint32_t>(withId.size())), nullptr);
  std::vector<uint8_t> origin = tgaImage(4, 4, 24, 48);
  origin[8] = 1;
  EXPECT_EQ(ReadTGA(origin.data(), static_cast<uint32_t>(origin.size())), nullptr);
  EXPECT_EQ(ReadTGA(origin.data(), 18), nullptr);
}

TEST_F(CImageLibTest, PngAndJpegAreRecognisedNotDecodedAndStillListed) {
  std::vector<uint8_t> png(100, 0);
  png[0] = 0x89, png[1] = 'P', png[2] = 'N', png[3] = 'G';
  std::vector<uint8_t> jpeg(100, 0);
  jpeg[0] = 0xFF, jpeg[1] = 0xD8, jpeg[2] = 0xFF, jpeg[3] = 0xE0;
  std::memcpy(&jpeg[6], "JFIF", 4);
  EXPECT_EQ(lib.LoadFromMem(png.data(), 100), nullptr);
  EXPECT_EQ(lib.LoadFromMem(jpeg.data(), 100), nullptr);
  EXPECT_EQ(entries(), 2u);
  EXPECT_EQ(lib.head->image, nullptr);
  EXPECT_EQ(logText(),
            "CImageLib::insertImage : inserting start image\n"
            "CImageLib::insertImage : inserting normal image\n");
}

TEST_F(CImageLibTest, ShortBlocksGoToTheWkoReader) {
  std::vector<uint8_t> block(40, 0x55);
  lib.LoadFromMem(block.data(), 40);
  std::vector<uint8_t> raw = rawImage(2, 2, 4);  // 16 bytes: raw signature, but below 64
  lib.LoadFromMem(raw.data(), static_cast<uint32_t>(raw.size()));
  const std::string text = logText();
  EXPECT_EQ(text.find("Reading tav_raw"), std::string::npos);
  EXPECT_EQ(text.rfind("CImageLib::LoadFromMem : Reading wko file\n", 0), 0u);
  size_t count = 0;
  for (size_t at = text.find("Reading wko file"); at != std::string::npos; at = text.find("Reading wko file", at + 1))
    ++count;
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(entries(), 2u);
  EXPECT_EQ(lib.current, lib.head) << "the old tail, before the second append";
}

TEST_F(CImageLibTest, MissingResourceLeavesTheListAlone) {
  EXPECT_EQ(lib.LoadFromResource(999, "images"), nullptr);
  EXPECT_EQ(entries(), 0u);
  EXPECT_EQ(logText(), "Win32 Api Error Nr.: 1814\n");
}

TEST(CImageLib, DestroyingEmptyAndImagelessListsIsClean) {
  { CImageLib empty; }
  CImageLib* lib = new CImageLib;
  lib->insertImage(nullptr);
  lib->insertImage(nullptr);
  lib->insertImage(new Image(1, 1, 8, std::make_unique<uint8_t[]>(1)));
  delete lib;  // the sanitizers see any leak or double release
}
