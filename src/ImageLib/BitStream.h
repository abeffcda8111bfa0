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
