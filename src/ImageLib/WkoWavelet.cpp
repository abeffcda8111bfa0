#include "ImageLib/WkoWavelet.h"

#include <algorithm>
#include <cstring>

int significantBits(int32_t v) {
  int bits = 0;
  for (; v > 0; v >>= 1) ++bits;
  return bits;
}

int transformLevels(int32_t paddedWidth, int32_t paddedHeight) {
  return std::max(0, significantBits(std::min(paddedWidth, paddedHeight)) - 2);
}

void splitIndex(uint32_t k, int32_t w, int32_t h, int32_t& x, int32_t& y) {
  const int bx = significantBits(w) - 1, by = significantBits(h) - 1;
  int bit = bx + by - 1;
  int xBits = 0, yBits = 0;
  x = y = 0;
  auto take = [&](int32_t& into, int& have) {
    into = into << 1 | static_cast<int32_t>((k >> bit) & 1);
    --bit;
    ++have;
  };
  if (by < bx) {
    for (int i = 0; i < bx; ++i) {
      take(x, xBits);
      if (yBits < by) take(y, yBits);
    }
  } else {
    for (int i = 0; i < by; ++i) {
      take(y, yBits);
      if (xBits < bx) take(x, xBits);
    }
  }
}

ScanTables buildScanTables(int32_t paddedWidth, int32_t width, int32_t paddedHeight, int32_t height, int levels) {
  ScanTables tables;
  if (paddedWidth <= 2 || paddedHeight <= 2) return tables;
  for (int i = 1; i <= levels + 1; ++i) {
    const int32_t wi = paddedWidth >> i, hi = paddedHeight >> i;
    const int32_t gx = wi - ((paddedWidth - width) >> i);
    const int32_t gy = hi - ((paddedHeight - height) >> i);
    std::vector<int32_t> table;
    table.reserve(static_cast<size_t>(wi) * hi);
    for (uint32_t k = 0; k < static_cast<uint32_t>(wi) * static_cast<uint32_t>(hi); ++k) {
      int32_t x, y;
      splitIndex(k, wi, hi, x, y);
      if (x <= gx && y <= gy) table.push_back(x + y * paddedWidth);
    }
    for (int32_t y = 0; y < std::min(hi, gy + 1); ++y)
      for (int32_t x = gx + 1; x < wi; ++x) table.push_back(x + y * paddedWidth);
    for (int32_t y = gy + 1; y < hi; ++y)
      for (int32_t x = 0; x < wi; ++x) table.push_back(x + y * paddedWidth);
    tables.push_back(std::move(table));
  }
  return tables;
}

void placeCoefficients(int16_t* target, const int16_t* coded, const ScanTables& tables, int32_t paddedWidth,
                       int32_t paddedHeight, int levels) {
  if (tables.empty()) {
    std::memcpy(target, coded, sizeof(int16_t) * static_cast<size_t>(paddedWidth) * paddedHeight);
    return;
  }
  for (int32_t p : tables[static_cast<size_t>(levels)]) target[p] = *coded++;
  for (int i = levels + 1; i >= 1; --i) {
    const int32_t wi = paddedWidth >> i;
    const int32_t below = (paddedHeight >> i) * paddedWidth;
    const std::vector<int32_t>& table = tables[static_cast<size_t>(i - 1)];
    for (int32_t p : table) {
      target[p + wi] = *coded++;
      target[p + below] = *coded++;
    }
    for (int32_t p : table) target[p + below + wi] = *coded++;
  }
}

void inverseLifting(const int16_t* in, int16_t* out, int32_t n) {
  const int16_t* s = in;
  const int16_t* d = in + n / 2;
  out[0] = static_cast<int16_t>(s[0] - d[0] / 2);
  for (int32_t j = 1; j < n / 2; ++j) {
    out[2 * j] = static_cast<int16_t>(s[j] - (d[j - 1] + d[j]) / 4);
    out[2 * j - 1] = static_cast<int16_t>((out[2 * j - 2] + out[2 * j]) / 2 + d[j - 1]);
  }
  out[n - 1] = static_cast<int16_t>(d[n / 2 - 1] + out[n - 2]);
}

void inverseTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels) {
  std::vector<int16_t> in(static_cast<size_t>(std::max(paddedWidth, paddedHeight)));
  std::vector<int16_t> out(in.size());
  for (int n = levels - 1; n >= 0; --n) {
    const int32_t rw = paddedWidth >> n, rh = paddedHeight >> n;
    for (int32_t x = 0; x < rw; ++x) {
      for (int32_t y = 0; y < rh; ++y) in[static_cast<size_t>(y)] = plane[x + y * paddedWidth];
      inverseLifting(in.data(), out.data(), rh);
      for (int32_t y = 0; y < rh; ++y) plane[x + y * paddedWidth] = out[static_cast<size_t>(y)];
    }
    for (int32_t y = 0; y < rh; ++y) {
      int16_t* row = plane + static_cast<size_t>(y) * paddedWidth;
      inverseLifting(row, out.data(), rw);
      std::memcpy(row, out.data(), sizeof(int16_t) * static_cast<size_t>(rw));
    }
  }
}
