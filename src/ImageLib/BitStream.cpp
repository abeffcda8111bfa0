#include "ImageLib/BitStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}

BitStream* openBitStream(const void* source, const char* modeText, int32_t bitLength) {
  if (!modeText || !modeText[0] || !modeText[1]) return nullptr;
  const char mode = upper(modeText[0]);
  const char medium = upper(modeText[1]);
  if (mode != 'R' && mode != 'W') return nullptr;
  const int32_t byteLength = bitLength > 0 ? static_cast<int32_t>((static_cast<int64_t>(bitLength) + 7) / 8) : 0;
  BitStream s{};
  if (medium == 'M') {
    if (mode == 'R') {
      if (!source || bitLength <= 0) return nullptr;
      s.buffer = static_cast<uint8_t*>(const_cast<void*>(source));
      s.capacity = s.filled = byteLength;
      s.bitBudget = bitLength;
    } else {
      s.capacity = s.filled = byteLength ? byteLength : 1024;
      s.buffer = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(s.capacity), 1));
      if (!s.buffer) return nullptr;
    }
  } else {
    if (!source) return nullptr;
    s.file = std::fopen(static_cast<const char*>(source), modeText);
    if (!s.file) return nullptr;
    s.capacity = s.filled = byteLength ? byteLength : 1024;
    s.buffer = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(s.capacity), 1));
    if (!s.buffer) {
      std::fclose(s.file);
      return nullptr;
    }
    if (mode == 'R') {
      s.filled = static_cast<int32_t>(std::fread(s.buffer, 1, static_cast<size_t>(s.capacity), s.file));
      s.bitBudget = bitLength ? bitLength : 0x40000000;
    }
  }
  s.bytePos = 0;
  s.bitMask = 0x80;
  s.mode = mode;
  s.medium = medium;
  auto* stream = static_cast<BitStream*>(std::malloc(sizeof(BitStream)));
  if (!stream) {
    if (s.file) std::fclose(s.file);
    if (mode == 'W' || s.file) std::free(s.buffer);
    return nullptr;
  }
  *stream = s;
  return stream;
}

int32_t readBits(int32_t count, BitStream* s) {
  if (count <= 0 || !s) return 0;
  int32_t result = 0;
  for (int32_t i = 0; i < count; ++i) {
    result <<= 1;
    if (s->bitBudget-- <= 0) {
      s->bitBudget = 0;  // stays at 0 instead of counting down without end
      continue;
    }
    if (s->bytePos >= s->filled) continue;
    if (s->buffer[s->bytePos] & s->bitMask) result |= 1;
    s->bitMask >>= 1;
    if (s->bitMask == 0) {
      ++s->bytePos;
      s->bitMask = 0x80;
      if (s->bytePos >= s->filled) {
        s->bytePos = 0;
        s->filled = 0;
        if (s->file) s->filled = static_cast<int32_t>(std::fread(s->buffer, 1, static_cast<size_t>(s->capacity), s->file));
      }
    }
  }
  return result;
}

BitReader::BitReader(BitStream* s) : stream_(s), data_(s->buffer) {
  int bit = 0;
  while (bit < 8 && (0x80 >> bit) != s->bitMask) ++bit;
  start_ = next_ = int64_t{s->bytePos} * 8 + bit;
  dataEnd_ = int64_t{s->filled} * 8;
  end_ = std::max(start_, std::min(dataEnd_, start_ + std::max(0, s->bitBudget)));
}

void BitReader::finish() {
  const int64_t consumed = next_ - avail_ - start_;
  stream_->bitBudget = static_cast<int32_t>(std::max<int64_t>(0, stream_->bitBudget - consumed));
  const int64_t at = start_ + std::min(consumed, end_ - start_);
  if (at >= dataEnd_) {
    // As readBits leaves a memory stream whose block is used up.
    stream_->bytePos = stream_->filled = 0;
    stream_->bitMask = 0x80;
  } else {
    stream_->bytePos = static_cast<int32_t>(at >> 3);
    stream_->bitMask = 0x80 >> (at & 7);
  }
  start_ = next_ = at;
  cache_ = 0;
  avail_ = 0;
}

void writeBits(uint32_t value, int32_t count, BitStream* s) {
  if (!s || s->mode != 'W') return;
  for (int32_t i = count - 1; i >= 0; --i) {
    if (s->bytePos >= s->capacity) {
      if (s->file) {
        flushBitStream(s);
      } else {
        const int32_t grown = s->capacity * 2;
        auto* bigger = static_cast<uint8_t*>(std::realloc(s->buffer, static_cast<size_t>(grown)));
        if (!bigger) return;
        std::memset(bigger + s->capacity, 0, static_cast<size_t>(grown - s->capacity));
        s->buffer = bigger;
        s->capacity = s->filled = grown;
      }
    }
    if ((value >> i) & 1) s->buffer[s->bytePos] |= static_cast<uint8_t>(s->bitMask);
    ++s->bitBudget;
    s->bitMask >>= 1;
    if (s->bitMask == 0) {
      s->bitMask = 0x80;
      ++s->bytePos;
    }
  }
}

void flushBitStream(BitStream* s) {
  if (!s || !s->file) return;
  const int32_t bytes = s->bytePos + (s->bitMask != 0x80 && s->bitMask != 0 ? 1 : 0);
  if (bytes <= 0) return;
  std::fwrite(s->buffer, 1, static_cast<size_t>(bytes), s->file);
  s->bytePos = 0;
  s->bitMask = 0x80;
  s->filled = s->capacity;
  std::memset(s->buffer, 0, static_cast<size_t>(s->capacity));
}

int32_t closeBitStream(BitStream* s, uint8_t** out) {
  if (!s) return 0;
  int32_t result = 0;
  if (s->file) {
    if (s->mode == 'W') {
      result = s->bitBudget;
      flushBitStream(s);
    }
    std::free(s->buffer);
    std::fclose(s->file);
  } else if (s->mode == 'W') {
    result = s->bitBudget;
    if (out)
      *out = s->buffer;
    else
      std::free(s->buffer);
  } else if (out && *out == s->buffer) {
    std::free(s->buffer);
  }
  std::free(s);
  return result;
}
