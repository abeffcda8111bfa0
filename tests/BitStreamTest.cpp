#include "ImageLib/BitStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "TempDir.h"

namespace {
struct Reader {
  Reader(std::vector<uint8_t> bytes, int32_t bits) : data(std::move(bytes)), s(openBitStream(data.data(), "rm", bits)) {}
  ~Reader() { closeBitStream(s, nullptr); }
  std::vector<uint8_t> data;
  BitStream* s;
};
}  // namespace

TEST(BitStream, MostSignificantBitFirstAcrossBytes) {
  Reader r({0x8A, 0x14}, 16);
  EXPECT_EQ(readBits(4, r.s), 8);
  EXPECT_EQ(readBits(4, r.s), 10);
  Reader across({0x8A, 0x14}, 16);
  EXPECT_EQ(readBits(3, across.s), 4);
  EXPECT_EQ(readBits(7, across.s), 0b0101000);  // 01010 from byte 0, 00 from byte 1
  EXPECT_EQ(readBits(6, across.s), 0b010100);
}

TEST(BitStream, ZerosAfterTheDataAndAfterTheBudget) {
  Reader r({0xFF, 0xFF}, 16);
  EXPECT_EQ(readBits(16, r.s), 0xFFFF);
  EXPECT_EQ(readBits(30, r.s), 0);
  EXPECT_EQ(readBits(30, r.s), 0);
  Reader budget({0xFF, 0xFF}, 12);
  EXPECT_EQ(readBits(12, budget.s), 0xFFF);
  EXPECT_EQ(readBits(1, budget.s), 0) << "the 13th bit is past the budget";
  EXPECT_EQ(readBits(3, budget.s), 0);
}

TEST(BitStream, ZeroCountConsumesNothing) {
  Reader r({0x80}, 8);
  EXPECT_EQ(readBits(0, r.s), 0);
  EXPECT_EQ(readBits(-3, r.s), 0);
  EXPECT_EQ(r.s->bitBudget, 8);
  EXPECT_EQ(readBits(1, r.s), 1);
  EXPECT_EQ(readBits(1, nullptr), 0);
}

TEST(BitStream, OpeningRules) {
  uint8_t byte = 0;
  EXPECT_EQ(openBitStream(nullptr, "rm", 8), nullptr);
  EXPECT_EQ(openBitStream(&byte, "rm", 0), nullptr);
  EXPECT_EQ(openBitStream(&byte, "xm", 8), nullptr);
  BitStream* w = openBitStream(nullptr, "WM", 0);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->capacity, 1024);
  EXPECT_EQ(w->mode, 'W');
  EXPECT_EQ(w->medium, 'M');
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(w->buffer[i], 0);
  EXPECT_EQ(closeBitStream(w, nullptr), 0);
  BitStream* r = openBitStream(&byte, "Rm", 3);
  EXPECT_EQ(r->capacity, 1);
  EXPECT_EQ(r->mode, 'R');
  EXPECT_EQ(closeBitStream(r, nullptr), 0);
  EXPECT_EQ(closeBitStream(nullptr, nullptr), 0);
}

TEST(BitStream, WrittenBitsReadBack) {
  BitStream* w = openBitStream(nullptr, "wm", 8);  // one byte to start: the writer grows it
  const uint32_t values[] = {1, 0, 0x2F, 0x3FFFFFFF, 5, 0};
  const int32_t counts[] = {1, 3, 6, 30, 3, 7};
  for (int i = 0; i < 6; ++i) writeBits(values[i], counts[i], w);
  uint8_t* bytes = nullptr;
  EXPECT_EQ(closeBitStream(w, &bytes), 50);
  BitStream* r = openBitStream(bytes, "rm", 50);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(readBits(counts[i], r), static_cast<int32_t>(values[i])) << i;
  closeBitStream(r, &bytes);  // the block it reads: released with the stream
}

TEST(BitStream, FileStreams) {
  TempDir dir;
  const std::string path = dir.file("bits");
  BitStream* w = openBitStream(path.c_str(), "wb", 0);
  ASSERT_NE(w, nullptr);
  for (int i = 0; i < 3000; ++i) writeBits(static_cast<uint32_t>(i % 7), 3, w);  // past one buffer
  EXPECT_EQ(closeBitStream(w, nullptr), 9000);
  EXPECT_EQ(readFile(path).size(), 1125u);
  BitStream* r = openBitStream(path.c_str(), "rb", 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->bitBudget, 0x40000000);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(readBits(3, r), i % 7) << i;
  EXPECT_EQ(readBits(8, r), 0);
  closeBitStream(r, nullptr);
  EXPECT_EQ(openBitStream(dir.file("missing").c_str(), "rb", 0), nullptr);
}

TEST(BitStream, ReaderGivesTheBitsAndLeavesTheStreamAsReadBitsDoes) {
  std::mt19937 random(8);
  for (int trial = 0; trial < 300; ++trial) {
    // Short blocks, then long ones that the reader takes eight bytes at a time.
    std::vector<uint8_t> data(1 + random() % (trial < 150 ? 12 : 300));
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    // Budgets below, at and (through the data's end) above the data.
    const int32_t bits = 1 + static_cast<int32_t>(random() % (data.size() * 8 + 4));
    BitStream* plain = openBitStream(data.data(), "rm", bits);
    BitStream* fast = openBitStream(data.data(), "rm", bits);
    if (bits > static_cast<int32_t>(data.size() * 8)) plain->filled = fast->filled = static_cast<int32_t>(data.size());
    const int skip = static_cast<int>(random() % 9);  // start inside a byte
    readBits(skip, plain);
    readBits(skip, fast);
    BitReader reader(fast);
    for (int field = 0; field < (trial < 150 ? 12 : 200); ++field) {
      const int count = static_cast<int>(random() % 31);
      const uint32_t expected = static_cast<uint32_t>(readBits(count, plain));
      ASSERT_EQ(count == 1 ? reader.bit() : reader.bits(count), expected) << trial << " field " << field;
    }
    reader.finish();
    EXPECT_EQ(fast->bytePos, plain->bytePos) << trial;
    EXPECT_EQ(fast->bitMask, plain->bitMask) << trial;
    EXPECT_EQ(fast->filled, plain->filled) << trial;
    EXPECT_EQ(fast->bitBudget, plain->bitBudget) << trial;
    EXPECT_EQ(readBits(7, fast), readBits(7, plain)) << trial;
    closeBitStream(plain, nullptr);
    closeBitStream(fast, nullptr);
  }
}
