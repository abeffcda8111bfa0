#pragma once

#include <cstdint>
#include <cstdio>

// A stream of bits, most significant first, over a memory block or a file. A read stream counts
// a budget of bits: past the budget or the data every bit reads as 0.
struct BitStream {
  std::FILE* file;
  uint8_t* buffer;
  int32_t bytePos;
  int32_t bitMask;
  int32_t capacity;
  int32_t filled;
  int32_t bitBudget;
  char mode;    // 'R' or 'W'
  char medium;  // 'M' memory, anything else a file
};

// modeText: "rm" / "wm" for memory, "rb" / "wb" for files. bitLength 0: unknown.
BitStream* openBitStream(const void* source, const char* modeText, int32_t bitLength);
int32_t readBits(int32_t count, BitStream* stream);
// Write streams: appends the count low bits of value, most significant first, growing the
// buffer of a memory stream as needed (and flushing a file stream when its buffer is full).
void writeBits(uint32_t value, int32_t count, BitStream* stream);
// Write streams hand back the bits written; a memory write stream gives its buffer to *out.
int32_t closeBitStream(BitStream* stream, uint8_t** out);
void flushBitStream(BitStream* stream);

// Reads a memory stream's bits without a call per field, exactly as readBits would: bits past
// the budget or the data are 0. finish() hands the position and budget back to the stream.
class BitReader {
 public:
  explicit BitReader(BitStream* s);
  uint32_t bit() {
    const uint32_t b = pos_ < end_ ? (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1 : 0;
    ++pos_;
    return b;
  }
  // count 0 to 30.
  uint32_t bits(int count) {
    if (pos_ + count > end_) return slowBits(count);
    if (count == 0) return 0;
    const uint8_t* p = data_ + (pos_ >> 3);
    const int offset = static_cast<int>(pos_ & 7);
    const int bytes = (offset + count + 7) >> 3;  // all inside the data
    uint64_t window = 0;
    for (int i = 0; i < bytes; ++i) window = window << 8 | p[i];
    pos_ += count;
    return static_cast<uint32_t>(window >> (bytes * 8 - offset - count)) & ((1u << count) - 1);
  }
  void finish();

 private:
  uint32_t slowBits(int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = v << 1 | bit();
    return v;
  }
  BitStream* stream_;
  const uint8_t* data_;
  int64_t start_, pos_, end_, dataEnd_;
};
