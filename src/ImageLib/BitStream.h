#pragma once

#include <algorithm>
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
// the budget or the data are 0. Up to 64 bits wait in a register, refilled eight bytes at a
// time; only the last eight bytes before the end go bit by bit. finish() hands the position and
// budget back to the stream.
class BitReader {
 public:
  explicit BitReader(BitStream* s);
  uint32_t bit() {
    if (avail_ == 0) refill();
    const auto b = static_cast<uint32_t>(cache_ >> 63);
    cache_ <<= 1;
    --avail_;
    return b;
  }
  // count 0 to 30.
  uint32_t bits(int count) {
    if (count == 0) return 0;
    if (avail_ < count) refill();
    const auto v = static_cast<uint32_t>(cache_ >> (64 - count));
    cache_ <<= count;
    avail_ -= count;
    return v;
  }
  void finish();

 private:
  // Leaves at least 57 bits waiting (as many as fit behind the ones already there).
  void refill() {
    if (next_ + 64 <= end_) {
      const uint8_t* p = data_ + (next_ >> 3);
      uint64_t word = 0;
      for (int i = 0; i < 8; ++i) word = word << 8 | p[i];
      const int offset = static_cast<int>(next_ & 7);
      const int got = std::min(64 - avail_, 64 - offset);
      cache_ |= (word << offset) >> avail_;
      avail_ += got;
      next_ += got;
      return;
    }
    while (avail_ < 64) {
      const uint64_t b = next_ < end_ ? (data_[next_ >> 3] >> (7 - (next_ & 7))) & 1 : 0;
      cache_ |= b << (63 - avail_);
      ++avail_;
      ++next_;
    }
  }
  BitStream* stream_;
  const uint8_t* data_;
  uint64_t cache_ = 0;  // the waiting bits, the next one at the top
  int avail_ = 0;
  int64_t start_, next_, end_, dataEnd_;  // bit positions; next_ is the first bit not yet in cache_
};
