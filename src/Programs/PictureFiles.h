#pragma once

#include <stb_image_write.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "Programs/FileBytes.h"

// PNG and TGA files made in memory and written whole by writeFileBytes: stb's own file writers
// check neither their writes nor the close, so a full disk would pass for success. False with
// errno set on failure.

namespace picture_files {
inline void append(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* at = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), at, at + size);
}

inline bool written(const char* path, bool encoded, const std::vector<uint8_t>& bytes) {
  if (!encoded) {
    errno = ENOMEM;
    return false;
  }
  return writeFileBytes(path, bytes);
}
}  // namespace picture_files

// stride: bytes from one row to the next below it, negative to go up through memory.
inline bool writePngFile(const char* path, int width, int height, int channels, const void* topRow, int stride) {
  std::vector<uint8_t> bytes;
  const bool encoded =
      stbi_write_png_to_func(&picture_files::append, &bytes, width, height, channels, topRow, stride) != 0;
  return picture_files::written(path, encoded, bytes);
}

// rows: top first, packed.
inline bool writeTgaFile(const char* path, int width, int height, int channels, const void* rows) {
  std::vector<uint8_t> bytes;
  const bool encoded = stbi_write_tga_to_func(&picture_files::append, &bytes, width, height, channels, rows) != 0;
  return picture_files::written(path, encoded, bytes);
}
