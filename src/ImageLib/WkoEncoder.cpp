#include "ImageLib/WkoEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void forwardLifting(const int16_t* o, int16_t* out, int32_t n) {
  int16_t* s = out;
  int16_t* d = out + n / 2;
  const int32_t half = n / 2;
  for (int32_t j = 0; j < half - 1; ++j) d[j] = static_cast<int16_t>(o[2 * j + 1] - (o[2 * j] + o[2 * j + 2]) / 2);
  d[half - 1] = static_cast<int16_t>(o[n - 1] - o[n - 2]);
  s[0] = static_cast<int16_t>(o[0] + d[0] / 2);
  for (int32_t j = 1; j < half; ++j) s[j] = static_cast<int16_t>(o[2 * j] + (d[j - 1] + d[j]) / 4);
}

void forwardTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels) {
  std::vector<int16_t> in(static_cast<size_t>(std::max(paddedWidth, paddedHeight)));
  std::vector<int16_t> out(in.size());
  for (int n = 0; n < levels; ++n) {
    const int32_t rw = paddedWidth >> n, rh = paddedHeight >> n;
    for (int32_t y = 0; y < rh; ++y) {
      int16_t* row = plane + static_cast<size_t>(y) * paddedWidth;
      forwardLifting(row, out.data(), rw);
      std::memcpy(row, out.data(), sizeof(int16_t) * static_cast<size_t>(rw));
    }
    for (int32_t x = 0; x < rw; ++x) {
      for (int32_t y = 0; y < rh; ++y) in[static_cast<size_t>(y)] = plane[x + y * paddedWidth];
      forwardLifting(in.data(), out.data(), rh);
      for (int32_t y = 0; y < rh; ++y) plane[x + y * paddedWidth] = out[static_cast<size_t>(y)];
    }
  }
}

void gatherCoefficients(int16_t* coded, const int16_t* plane, const ScanTables& tables, int32_t paddedWidth,
                        int32_t paddedHeight, int levels) {
  if (tables.empty()) {
    std::memcpy(coded, plane, sizeof(int16_t) * static_cast<size_t>(paddedWidth) * paddedHeight);
    return;
  }
  for (int32_t p : tables[static_cast<size_t>(levels)]) *coded++ = plane[p];
  for (int i = levels + 1; i >= 1; --i) {
    const int32_t wi = paddedWidth >> i;
    const int32_t below = (paddedHeight >> i) * paddedWidth;
    const std::vector<int32_t>& table = tables[static_cast<size_t>(i - 1)];
    for (int32_t p : table) {
      *coded++ = plane[p + wi];
      *coded++ = plane[p + below];
    }
    for (int32_t p : table) *coded++ = plane[p + below + wi];
  }
}

void encodeCoefficientRun(const int16_t* values, int32_t n, int q, BitStream* stream) {
  std::vector<uint16_t> magnitude(static_cast<size_t>(n));
  uint16_t largest = 0;
  for (int32_t i = 0; i < n; ++i) {
    magnitude[static_cast<size_t>(i)] = static_cast<uint16_t>(std::abs(static_cast<int32_t>(values[i])));
    largest = std::max(largest, magnitude[static_cast<size_t>(i)]);
  }
  const int planes = significantBits(largest);
  writeBits(static_cast<uint32_t>(planes), 4, stream);
  if (planes == 0) return;
  writeBits(static_cast<uint32_t>(q), 4, stream);
  std::vector<uint8_t> significant(static_cast<size_t>(n), 0);
  std::vector<int32_t> waiting;  // indices not yet significant, in order
  waiting.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) waiting.push_back(i);
  int k = 0;
  for (int plane = 0; plane < planes; ++plane) {
    const int shift = planes - 1 - plane;
    const int64_t remaining = static_cast<int64_t>(waiting.size());
    auto isOne = [&](int64_t at) { return (magnitude[static_cast<size_t>(waiting[static_cast<size_t>(at)])] >> shift) != 0; };
    std::vector<int32_t> still;
    still.reserve(waiting.size());
    int64_t covered = 0;
    while (covered < remaining) {
      const int64_t span = int64_t{1} << k;
      int64_t next = covered;
      while (next < remaining && next < covered + span && !isOne(next)) ++next;
      if (next >= remaining || next >= covered + span) {
        // A run of 2^k zeros (or all that is left).
        for (int64_t i = covered; i < std::min(remaining, covered + span); ++i) still.push_back(waiting[static_cast<size_t>(i)]);
        writeBits(0, 1, stream);
        covered += span;
        if (covered > remaining) {
          if (k > 0) --k;
        } else if (k < 30) {
          ++k;
        }
      } else {
        const int64_t r = next - covered;
        for (int64_t i = covered; i < next; ++i) still.push_back(waiting[static_cast<size_t>(i)]);
        writeBits(1, 1, stream);
        if (k > 0) writeBits(static_cast<uint32_t>(r), k, stream);
        const int32_t index = waiting[static_cast<size_t>(next)];
        writeBits(values[index] < 0 ? 1 : 0, 1, stream);
        significant[static_cast<size_t>(index)] = 2;  // newly
        covered = next + 1;
        if (k > 0) --k;
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      if (significant[static_cast<size_t>(i)] == 1)
        writeBits((magnitude[static_cast<size_t>(i)] >> shift) & 1, 1, stream);
      else if (significant[static_cast<size_t>(i)] == 2)
        significant[static_cast<size_t>(i)] = 1;
    }
    waiting.swap(still);
  }
}

std::vector<uint8_t> encodeWkoLossless(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels) {
  if (width < 1 || height < 1 || width > 4096 || height > 4096 || channels < 1 || channels > 16) return {};
  int logW = 0, logH = 0;
  while ((1 << logW) < width) ++logW;
  while ((1 << logH) < height) ++logH;
  const int32_t pw = 1 << logW, ph = 1 << logH;
  const int levels = transformLevels(pw, ph);
  const ScanTables tables = buildScanTables(pw, width, ph, height, levels);
  const size_t samples = static_cast<size_t>(pw) * ph;

  BitStream* stream = openBitStream(nullptr, "wm", 0);
  if (!stream) return {};
  const bool sized = width != pw || height != ph;
  writeBits(0, 1, stream);  // colour flag
  writeBits(sized, 1, stream);
  if (sized) {
    writeBits(static_cast<uint32_t>(width - 1), 16, stream);
    writeBits(static_cast<uint32_t>(height - 1), 16, stream);
  }
  writeBits(static_cast<uint32_t>(channels - 1), 4, stream);
  writeBits(static_cast<uint32_t>(logW), 4, stream);
  writeBits(static_cast<uint32_t>(logH), 4, stream);
  writeBits(0, 4, stream);                                    // one group ...
  writeBits(static_cast<uint32_t>(logW + logH + 1), 5, stream);  // ... of the whole plane

  std::vector<int16_t> plane(samples), coded(samples);
  for (int32_t c = 0; c < channels; ++c) {
    for (int32_t y = 0; y < ph; ++y)
      for (int32_t x = 0; x < pw; ++x) {
        const int32_t sx = std::min(x, width - 1), sy = std::min(y, height - 1);
        plane[static_cast<size_t>(y) * pw + x] = pixels[(static_cast<size_t>(sy) * width + sx) * channels + c];
      }
    forwardTransform(plane.data(), pw, ph, levels);
    gatherCoefficients(coded.data(), plane.data(), tables, pw, ph, levels);
    encodeCoefficientRun(coded.data(), static_cast<int32_t>(samples), 0, stream);
  }
  const int32_t bits = stream->bitBudget;
  uint8_t* buffer = nullptr;
  closeBitStream(stream, &buffer);
  std::vector<uint8_t> out(buffer, buffer + (bits + 7) / 8);
  std::free(buffer);
  return out;
}
