#include "SoundLib/xmplay/output/StreamCallbacks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Platform/virtual/VirtualWaveDevice.h"
#include "SoundLib/xmplay/output/WaveOutput.h"
#include "TempDir.h"

namespace {
class MemoryStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 100; ++i) image[i] = static_cast<uint8_t>(i);
    installStreamCallbacks(kMemoryStreamCallbacks);
    setMemoryStreamLength(100);
    stream = streamOpen(image, 0, 0);
    ASSERT_NE(stream, nullptr);
  }
  void TearDown() override {
    streamClose(stream);
    setMemoryStreamLength(kDefaultMemoryStreamLength);
  }
  uint8_t image[100];
  Stream* stream = nullptr;
};
}  // namespace

TEST(StreamCallbacks, MemoryLengthStartsAt87616) { EXPECT_EQ(memoryStreamLength(), 87616u); }

TEST_F(MemoryStreamTest, ReadThatReachesTheEndExactly) {
  streamSeek(stream, 90, 0);
  uint8_t buffer[16] = {};
  EXPECT_EQ(streamRead(buffer, 10, stream), 10);
  EXPECT_EQ(buffer[0], 90);
  EXPECT_EQ(buffer[9], 99);
  EXPECT_EQ(streamTell(stream), 100);
  EXPECT_EQ(streamRead(buffer, 10, stream), 0);
  EXPECT_EQ(streamTell(stream), 100);
}

TEST_F(MemoryStreamTest, ShortReadDeliversWhatIsLeft) {
  streamSeek(stream, 95, 0);
  uint8_t buffer[16] = {};
  EXPECT_EQ(streamRead(buffer, 16, stream), 5);
  EXPECT_EQ(buffer[4], 99);
  EXPECT_EQ(buffer[5], 0);
}

TEST_F(MemoryStreamTest, SeeksClampToTheImage) {
  streamSeek(stream, 10, 2);
  EXPECT_EQ(streamTell(stream), 100);
  streamSeek(stream, 500, 0);
  EXPECT_EQ(streamTell(stream), 100);
  streamSeek(stream, -30, 2);
  EXPECT_EQ(streamTell(stream), 70);
  streamSeek(stream, 5, 1);
  EXPECT_EQ(streamTell(stream), 75);
  streamSeek(stream, -200, 1);
  EXPECT_EQ(streamTell(stream), 0);
  streamSeek(stream, 40, 0);
  streamSeek(stream, 3, 7);  // no such origin
  EXPECT_EQ(streamTell(stream), 40);
}

TEST(StreamCallbacks, RecordOperationsTolerateAMissingStream) {
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(streamRead(buffer, 4, nullptr), 0);
  EXPECT_EQ(buffer[0], 1);
  streamSeek(nullptr, 1, 0);
  EXPECT_EQ(streamTell(nullptr), 0);
  streamClose(nullptr);
}

TEST(StreamCallbacks, FileSetReadsAFile) {
  TempDir dir;
  const std::string path = dir.file("m.bin");
  { std::ofstream(path, std::ios::binary) << "abcdef"; }
  installStreamCallbacks(kFileStreamCallbacks);
  EXPECT_EQ(streamOpen(dir.file("missing").c_str(), 0, 0), nullptr);
  Stream* s = streamOpen(path.c_str(), 0, 0);
  ASSERT_NE(s, nullptr);
  char buffer[8] = {};
  streamSeek(s, 2, 0);
  EXPECT_EQ(streamRead(buffer, 8, s), 4);
  EXPECT_STREQ(buffer, "cdef");
  EXPECT_EQ(streamTell(s), 6);
  streamClose(s);
}

TEST(StreamCallbacks, SetWithOneOperationMissingEmptiesTheSetAndOutputOpenFails) {
  StreamCallbacks partial = kMemoryStreamCallbacks;
  partial.tell = nullptr;
  installStreamCallbacks(partial);
  EXPECT_FALSE(streamCallbacks().complete());
  EXPECT_EQ(streamCallbacks().open, nullptr);
  EXPECT_EQ(streamCallbacks().read, nullptr);
  uint8_t byte = 0;
  EXPECT_EQ(streamOpen(&byte, 0, 0), nullptr);

  OutputPlayer player;
  VirtualWaveDevice device;
  EXPECT_FALSE(outputOpen(player, 44100, device));
  EXPECT_EQ(device.opens, 0) << "no device is opened";

  installStreamCallbacks(kMemoryStreamCallbacks);
  EXPECT_TRUE(outputOpen(player, 44100, device));
  outputClose(player);
}
