#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads a module image held in memory, little-endian, every read bounds-checked: what lies past
// the end reads as zero bytes (a read into a buffer copies what is there and leaves the rest of
// the buffer as it was), and the position never leaves the image, so a header that lies about
// its sizes can only make the loader read zeros.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }
  int64_t tell() const { return static_cast<int64_t>(position_); }
  int64_t left() const { return static_cast<int64_t>(size_ - position_); }
  void seek(int64_t position) { position_ = static_cast<size_t>(std::clamp<int64_t>(position, 0, static_cast<int64_t>(size_))); }
  void skip(int64_t bytes) { seek(tell() + bytes); }

  // The bytes from the position on, left() of them, for reading in place.
  const uint8_t* here() const { return data_ + position_; }

  // Copies up to count bytes; returns how many there were.
  size_t read(void* destination, size_t count) {
    const size_t n = std::min(count, size_ - position_);
    if (n) std::memcpy(destination, data_ + position_, n);
    position_ += n;
    return n;
  }
  uint8_t u8() { return position_ < size_ ? data_[position_++] : 0; }
  uint16_t u16() {
    const uint16_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
  }
  uint32_t u32() {
    const uint32_t low = u16();
    return low | uint32_t{u16()} << 16;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Little-endian values in a header already read into memory.
inline uint16_t le16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
inline uint32_t le32(const uint8_t* at) { return uint32_t{le16(at)} | uint32_t{le16(at + 2)} << 16; }
