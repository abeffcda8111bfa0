#include <algorithm>
#include <cstdlib>
#include <new>

#include "Base/LogFile.h"
#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoPlanes.h"

namespace {
// Sums are formed in 64 bits: a corrupt stream's samples may lie far outside 0..255, where the
// 32-bit sums would overflow; in range the result is the same.
int16_t limit(int64_t v) {
  if (v < 0) return 0;
  if (v >= 16777216) return 255;
  return static_cast<int16_t>(v >> 16);
}

// A sample as a byte: its absolute value, at most 255.
uint8_t byteOf(int16_t v) { return static_cast<uint8_t>(std::min(std::abs(static_cast<int32_t>(v)), 255)); }
}  // namespace

void convertYCbCr(WkoPlanes& p) {
  std::vector<int16_t>& y = p.planes[0];
  std::vector<int16_t>& cb = p.planes[1];
  std::vector<int16_t>& cr = p.planes[2];
  for (size_t i = 0; i < y.size(); ++i) {
    const int64_t Y = y[i], Cb = cb[i], Cr = cr[i];
    y[i] = limit(Y * 65536 + 91881 * Cr - 11728000);
    cb[i] = limit(Y * 65536 - 46802 * Cr - 22554 * Cb + 8910336);
    cr[i] = limit(Y * 65536 + 116130 * Cb - 14831872);
  }
}

namespace {
Image* decodeWko(const void* source, uint32_t size, bool fromFile, bool log) {
  if (!fromFile && size > 0x0FFFFFFF) return nullptr;  // beyond a 32-bit bit count
  BitStream* stream = fromFile ? openBitStream(source, "rb", 0)
                               : openBitStream(source, "rm", static_cast<int32_t>(size * 8));
  if (!stream) return nullptr;
  const bool colour = readBits(1, stream);
  std::unique_ptr<WkoPlanes> planes = decodeWkoPlanes(stream);
  if (!planes) {
    closeBitStream(stream, nullptr);
    return nullptr;
  }
  if (log)
    logPrint("CImageLib::ReadWKO Width: %i Height: %i Channels: %i\n", planes->width, planes->height, planes->channels);
  if (colour && planes->channels >= 3) {
    if (log) logPrint("converting YCbCr -> RGB\n");
    convertYCbCr(*planes);
  }
  // One byte per channel and pixel. Three channels are R, G, B as the format defines; other
  // counts keep every channel in order (the format leaves them open).
  const int32_t w = planes->width, h = planes->height, channels = planes->channels;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h * channels]);
  Image* image = nullptr;
  if (pixels) {
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* out = pixels.get() + static_cast<size_t>(y) * w * channels;
      const size_t row = static_cast<size_t>(h - 1 - y) * planes->paddedWidth;
      for (int32_t c = 0; c < channels; ++c) {
        const int16_t* in = planes->planes[static_cast<size_t>(c)].data() + row;
        for (int32_t x = 0; x < w; ++x) out[x * channels + c] = byteOf(in[x]);
      }
    }
    image = new (std::nothrow) Image(w, h, 8 * channels, std::move(pixels));
  }
  releaseWkoPlanes(planes);
  closeBitStream(stream, nullptr);
  return image;
}
}  // namespace

Image* ReadWKO(const void* source, uint32_t size, bool fromFile) { return decodeWko(source, size, fromFile, true); }

Image* decodeWkoQuietly(const uint8_t* data, uint32_t size) { return decodeWko(data, size, false, false); }
