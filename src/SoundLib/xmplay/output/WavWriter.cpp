#include "SoundLib/xmplay/output/WavWriter.h"

#include <bit>
#include <cstring>

namespace {
void le16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
void le32(uint8_t* at, uint32_t v) {
  le16(at, v & 0xFFFF);
  le16(at + 2, v >> 16);
}
}  // namespace

WavWriter::WavWriter(const char* path, int rate) : WavWriter(std::fopen(path, "wb"), rate) {}

WavWriter::WavWriter(FILE* file, int rate, int64_t frames) : file_(file), announcedFrames_(frames) {
  if (!file_) return;
  // The chunks are large already; stdio's buffer would only copy them once more.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  le32(header + 16, 16);
  le16(header + 20, 1);  // PCM
  le16(header + 22, 2);
  le32(header + 24, static_cast<uint32_t>(rate));
  le32(header + 28, static_cast<uint32_t>(rate) * 4);
  le16(header + 32, 4);
  le16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  if (frames >= 0) {
    le32(header + 4, static_cast<uint32_t>(36 + frames * 4));
    le32(header + 40, static_cast<uint32_t>(frames * 4));
  }
  ok_ = std::fwrite(header, 1, sizeof header, file_) == sizeof header;
}

WavWriter::~WavWriter() {
  if (file_) std::fclose(file_);
}

bool WavWriter::write(const int16_t* frames, int64_t count) {
  if (!ok_ || count <= 0) return ok_;
  const size_t values = static_cast<size_t>(count) * 2;
  if constexpr (std::endian::native == std::endian::little) {
    ok_ = std::fwrite(frames, 2, values, file_) == values;
  } else {
    bytes_.resize(values * 2);
    for (size_t i = 0; i < values; ++i) le16(&bytes_[2 * i], static_cast<uint16_t>(frames[i]));
    ok_ = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) == bytes_.size();
  }
  dataBytes_ += values * 2;
  return ok_;
}

bool WavWriter::finish() {
  if (!file_) return false;
  if (announcedFrames_ >= 0) {
    // The header already holds the sizes; the frames must have been as many.
    ok_ = ok_ && dataBytes_ == static_cast<uint64_t>(announcedFrames_) * 4;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok_ && closed;
  }
  uint8_t size[4];
  le32(size, static_cast<uint32_t>(36 + dataBytes_));
  ok_ = ok_ && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
  le32(size, static_cast<uint32_t>(dataBytes_));
  ok_ = ok_ && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok_ && closed;
}
