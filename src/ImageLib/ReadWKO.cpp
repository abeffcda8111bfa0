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
  ZeroedArray<int16_t>& y = p.planes[0];
  ZeroedArray<int16_t>& cb = p.planes[1];
  ZeroedArray<int16_t>& cr = p.planes[2];
  for (size_t i = 0; i < y.size(); ++i) {
    const int64_t Y = y[i], Cb = cb[i], Cr = cr[i];
    y[i] = limit(Y * 65536 + 91881 * Cr - 11728000);
    cb[i] = limit(Y * 65536 - 46802 * Cr - 22554 * Cb + 8910336);
    cr[i] = limit(Y * 65536 + 116130 * Cb - 14831872);
  }
}

namespace {
// Rows whose samples all lie within this bound convert in 32-bit sums (|65536 Y| + 116130 |Cb|
// stays below 2^31), which the compiler vectorises; others take the 64-bit sums above.
constexpr int32_t kNarrow = 4096;

bool narrow(const int16_t* v, int32_t n) {
  int32_t outside = 0;
  for (int32_t i = 0; i < n; ++i) outside |= static_cast<uint16_t>(v[i] + kNarrow - 1) > 2 * kNarrow - 2;
  return !outside;
}

// limit() for sums that fit 32 bits: v >> 16 below 0 for negative v, above 255 from 2^24 on.
uint8_t limitByte(int32_t v) { return static_cast<uint8_t>(std::clamp(v >> 16, 0, 255)); }

constexpr int32_t kPiece = 256;

void interleave(const uint8_t* r, const uint8_t* g, const uint8_t* b, int32_t n, uint8_t* out) {
  for (int32_t x = 0; x < n; ++x) {
    out[3 * x] = r[x];
    out[3 * x + 1] = g[x];
    out[3 * x + 2] = b[x];
  }
}

// One output row of R, G, B bytes from a row of Y, Cb, Cr: the conversion above followed by the
// packing (whose absolute value and limit leave 0 .. 255 unchanged), without storing the planes.
void convertRow(const int16_t* y, const int16_t* cb, const int16_t* cr, int32_t w, int32_t channels, uint8_t* out) {
  if (narrow(y, w) && narrow(cb, w) && narrow(cr, w) && channels == 3) {
    // In pieces: each component into its own small array (plain loops that vectorise), then
    // interleaved.
    uint8_t r[kPiece], g[kPiece], b[kPiece];
    for (int32_t at = 0; at < w; at += kPiece) {
      const int32_t n = std::min(kPiece, w - at);
      const int16_t *py = y + at, *pcb = cb + at, *pcr = cr + at;
      // The same sums with every factor split into a multiple of 65536 and a part that fits 16
      // bits (91881 = 65536 + 26345, -46802 = -65536 + 18734, 116130 = 131072 - 14942): 16-bit
      // by 16-bit products, which SSE2 multiplies eight at a time.
      for (int32_t x = 0; x < n; ++x) r[x] = limitByte(((py[x] + pcr[x]) << 16) + 26345 * pcr[x] - 11728000);
      for (int32_t x = 0; x < n; ++x)
        g[x] = limitByte(((py[x] - pcr[x]) << 16) + 18734 * pcr[x] - 22554 * pcb[x] + 8910336);
      for (int32_t x = 0; x < n; ++x) b[x] = limitByte(((py[x] + 2 * pcb[x]) << 16) - 14942 * pcb[x] - 14831872);
      interleave(r, g, b, n, out + 3 * static_cast<size_t>(at));
    }
    return;
  }
  for (int32_t x = 0; x < w; ++x) {
    const int64_t Y = y[x], Cb = cb[x], Cr = cr[x];
    out[x * channels] = static_cast<uint8_t>(limit(Y * 65536 + 91881 * Cr - 11728000));
    out[x * channels + 1] = static_cast<uint8_t>(limit(Y * 65536 - 46802 * Cr - 22554 * Cb + 8910336));
    out[x * channels + 2] = static_cast<uint8_t>(limit(Y * 65536 + 116130 * Cb - 14831872));
  }
}

}  // namespace

size_t wkoRowScratch(const WkoPlanes& planes) { return static_cast<size_t>(planes.channels) * 2 * planes.paddedWidth; }

void packWkoRow(const WkoPlanes& planes, bool colour, int32_t y, uint8_t* out, int16_t* scratch) {
  // One byte per channel and pixel. Three channels are R, G, B as the format defines; other
  // counts keep every channel in order (the format leaves them open). A converted row is packed
  // as it is converted: the converted samples are needed nowhere else.
  const int32_t w = planes.width, channels = planes.channels;
  auto plane = [&](int32_t c) {
    return visibleRow(planes, c, y, scratch + static_cast<size_t>(c) * 2 * planes.paddedWidth);
  };
  int32_t c = 0;
  if (colour && channels >= 3) {
    convertRow(plane(0), plane(1), plane(2), w, channels, out);
    c = 3;
  }
  if (channels == 1) {
    const int16_t* in = plane(0);
    for (int32_t x = 0; x < w; ++x) out[x] = byteOf(in[x]);
    return;
  }
  if (c == 0 && channels == 3) {
    // R, G, B planes: each into its own small array, then interleaved, as in convertRow.
    const int16_t *r = plane(0), *g = plane(1), *b = plane(2);
    uint8_t pr[kPiece], pg[kPiece], pb[kPiece];
    for (int32_t at = 0; at < w; at += kPiece) {
      const int32_t n = std::min(kPiece, w - at);
      for (int32_t x = 0; x < n; ++x) pr[x] = byteOf(r[at + x]);
      for (int32_t x = 0; x < n; ++x) pg[x] = byteOf(g[at + x]);
      for (int32_t x = 0; x < n; ++x) pb[x] = byteOf(b[at + x]);
      interleave(pr, pg, pb, n, out + 3 * static_cast<size_t>(at));
    }
    return;
  }
  for (; c < channels; ++c) {
    const int16_t* in = plane(c);
    for (int32_t x = 0; x < w; ++x) out[x * channels + c] = byteOf(in[x]);
  }
}

namespace {
Image* decodeWko(const void* source, uint32_t size, bool fromFile, bool log) {
  if (!fromFile && size > 0x0FFFFFFF) return nullptr;  // beyond a 32-bit bit count
  BitStream* stream = fromFile ? openBitStream(source, "rb", 0)
                               : openBitStream(source, "rm", static_cast<int32_t>(size * 8));
  if (!stream) return nullptr;
  const bool colour = readBits(1, stream);
  // Only the visible part of the planes is packed, so only that part is reconstructed.
  std::unique_ptr<WkoPlanes> planes = decodeWkoVisiblePlanes(stream);
  if (!planes) {
    closeBitStream(stream, nullptr);
    return nullptr;
  }
  if (log)
    logPrint("CImageLib::ReadWKO Width: %i Height: %i Channels: %i\n", planes->width, planes->height, planes->channels);
  const bool convert = colour && planes->channels >= 3;
  if (convert && log) logPrint("converting YCbCr -> RGB\n");
  const int32_t w = planes->width, h = planes->height, channels = planes->channels;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h * channels]);
  Image* image = nullptr;
  if (pixels) {
    std::vector<int16_t> scratch(wkoRowScratch(*planes));
    // The record holds the bottom row first.
    for (int32_t y = 0; y < h; ++y)
      packWkoRow(*planes, colour, h - 1 - y, pixels.get() + static_cast<size_t>(y) * w * channels, scratch.data());
    image = new (std::nothrow) Image(w, h, 8 * channels, std::move(pixels));
  }
  releaseWkoPlanes(planes);
  closeBitStream(stream, nullptr);
  return image;
}
}  // namespace

Image* ReadWKO(const void* source, uint32_t size, bool fromFile) { return decodeWko(source, size, fromFile, true); }

Image* decodeWkoQuietly(const uint8_t* data, uint32_t size) { return decodeWko(data, size, false, false); }
