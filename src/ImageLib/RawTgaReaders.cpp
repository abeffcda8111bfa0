#include <cstring>
#include <new>

#include "Base/LogFile.h"
#include "ImageLib/ImageReaders.h"

namespace {
int32_t le32(const uint8_t* p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

Image* ReadRaw(const uint8_t* data, uint32_t size) {
  if (size < 12) return nullptr;
  const uint32_t signature = static_cast<uint32_t>(le32(data));
  const int32_t width = le32(data + 4);
  const int32_t height = le32(data + 8);
  logPrint("sig = %x width = %d height = %d\n", signature, width, height);
  // Negative sizes, or fewer pixel bytes than the sizes claim: no image rather than a read past
  // the data.
  if (width <= 0 || height <= 0 || int64_t{width} * height > int64_t{size} - 12) return nullptr;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[bytes]);
  if (!pixels) return nullptr;
  for (int32_t row = 0; row < height; ++row)
    std::memcpy(&pixels[static_cast<size_t>(height - 1 - row) * width], data + 12 + static_cast<size_t>(row) * width,
                static_cast<size_t>(width));
  return new (std::nothrow) Image(width, height, 8, std::move(pixels));
}

Image* ReadTGA(const uint8_t* data, uint32_t size) {
  static const uint8_t kHeader[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (size <= 18 || std::memcmp(data, kHeader, 12) != 0) return nullptr;
  const int32_t width = data[12] | data[13] << 8;
  const int32_t height = data[14] | data[15] << 8;
  logPrint("width : %d height : %d\n", width, height);
  const int32_t depth = data[16];
  if (width == 0 || height == 0 || (depth != 24 && depth != 32)) return nullptr;
  const size_t bytes = static_cast<size_t>(width) * height * (depth / 8);
  if (bytes > size - 18) return nullptr;  // cut short: no image rather than a read past the data
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[bytes]);
  if (!pixels) return nullptr;
  std::memcpy(pixels.get(), data + 18, bytes);
  for (size_t i = 0; i + 2 < bytes; i += depth / 8) std::swap(pixels[i], pixels[i + 2]);
  return new (std::nothrow) Image(width, height, depth, std::move(pixels));
}
