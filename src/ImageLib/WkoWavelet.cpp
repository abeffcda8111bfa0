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

namespace {
// The even-numbered bits of v, packed together.
uint32_t evenBits(uint32_t v) {
  v &= 0x55555555u;
  v = (v | v >> 1) & 0x33333333u;
  v = (v | v >> 2) & 0x0F0F0F0Fu;
  v = (v | v >> 4) & 0x00FF00FFu;
  return (v | v >> 8) & 0x0000FFFFu;
}

// From the top, k's bits alternate between the longer side and the shorter one until the
// shorter has all of its bits; the longer side's surplus bits are k's lowest.
struct Splitter {
  int surplus;
  bool wide;
  Splitter(int32_t w, int32_t h) {
    const int bx = significantBits(w) - 1, by = significantBits(h) - 1;
    surplus = bx > by ? bx - by : by - bx;
    wide = by < bx;
  }
  void operator()(uint32_t k, int32_t& x, int32_t& y) const {
    const uint32_t low = k & ((1u << surplus) - 1), pairs = k >> surplus;
    const auto longer = static_cast<int32_t>(evenBits(pairs >> 1) << surplus | low);
    const auto shorter = static_cast<int32_t>(evenBits(pairs));
    x = wide ? longer : shorter;
    y = wide ? shorter : longer;
  }
};
}  // namespace

void splitIndex(uint32_t k, int32_t w, int32_t h, int32_t& x, int32_t& y) { Splitter(w, h)(k, x, y); }

ScanTables buildScanTables(int32_t paddedWidth, int32_t width, int32_t paddedHeight, int32_t height, int levels) {
  ScanTables tables;
  if (paddedWidth <= 2 || paddedHeight <= 2) return tables;
  for (int i = 1; i <= levels + 1; ++i) {
    const int32_t wi = paddedWidth >> i, hi = paddedHeight >> i;
    const int32_t gx = wi - ((paddedWidth - width) >> i);
    const int32_t gy = hi - ((paddedHeight - height) >> i);
    std::vector<int32_t> table;
    table.reserve(static_cast<size_t>(wi) * hi);
    const Splitter split(wi, hi);
    for (uint32_t k = 0; k < static_cast<uint32_t>(wi) * static_cast<uint32_t>(hi); ++k) {
      int32_t x, y;
      split(k, x, y);
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
  // The even outputs need only the input; the odd ones only their even neighbours. Two passes
  // without a chain from one output to the next.
  out[0] = static_cast<int16_t>(s[0] - d[0] / 2);
  for (int32_t j = 1; j < n / 2; ++j) out[2 * j] = static_cast<int16_t>(s[j] - (d[j - 1] + d[j]) / 4);
  for (int32_t j = 1; j < n / 2; ++j)
    out[2 * j - 1] = static_cast<int16_t>((out[2 * j - 2] + out[2 * j]) / 2 + d[j - 1]);
  out[n - 1] = static_cast<int16_t>(d[n / 2 - 1] + out[n - 2]);
}

namespace {
constexpr int32_t kStrip = 16;

// The inverse lifting down `count` (at most kStrip) neighbouring columns at once: in and out hold
// n rows of kStrip values. The same sums as inverseLifting, a row of columns per step.
void inverseLiftingColumns(const int16_t* in, int16_t* out, int32_t n, int32_t count) {
  const int32_t half = n / 2;
  auto s = [&](int32_t j) { return in + j * kStrip; };
  auto d = [&](int32_t j) { return in + (half + j) * kStrip; };
  auto o = [&](int32_t i) { return out + i * kStrip; };
  for (int32_t c = 0; c < count; ++c) o(0)[c] = static_cast<int16_t>(s(0)[c] - d(0)[c] / 2);
  for (int32_t j = 1; j < half; ++j) {
    const int16_t *sj = s(j), *dp = d(j - 1), *dj = d(j);
    int16_t *even = o(2 * j), *odd = o(2 * j - 1);
    const int16_t* before = o(2 * j - 2);
    for (int32_t c = 0; c < count; ++c) {
      even[c] = static_cast<int16_t>(sj[c] - (dp[c] + dj[c]) / 4);
      odd[c] = static_cast<int16_t>((before[c] + even[c]) / 2 + dp[c]);
    }
  }
  for (int32_t c = 0; c < count; ++c) o(n - 1)[c] = static_cast<int16_t>(d(half - 1)[c] + o(n - 2)[c]);
}
}  // namespace

void inverseTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels) {
  // Columns go through in strips of kStrip, copied out row by row: the lifting then runs along
  // rows of the strip, and the plane is read in whole cache lines rather than one value a row.
  std::vector<int16_t> in(static_cast<size_t>(kStrip) * paddedHeight), out(in.size());
  std::vector<int16_t> row(static_cast<size_t>(paddedWidth));
  for (int n = levels - 1; n >= 0; --n) {
    const int32_t rw = paddedWidth >> n, rh = paddedHeight >> n;
    for (int32_t x = 0; x < rw; x += kStrip) {
      const int32_t count = std::min(kStrip, rw - x);
      const size_t bytes = sizeof(int16_t) * static_cast<size_t>(count);
      for (int32_t y = 0; y < rh; ++y) std::memcpy(&in[static_cast<size_t>(y) * kStrip], plane + x + static_cast<size_t>(y) * paddedWidth, bytes);
      inverseLiftingColumns(in.data(), out.data(), rh, count);
      for (int32_t y = 0; y < rh; ++y) std::memcpy(plane + x + static_cast<size_t>(y) * paddedWidth, &out[static_cast<size_t>(y) * kStrip], bytes);
    }
    for (int32_t y = 0; y < rh; ++y) {
      int16_t* line = plane + static_cast<size_t>(y) * paddedWidth;
      inverseLifting(line, row.data(), rw);
      std::memcpy(line, row.data(), sizeof(int16_t) * static_cast<size_t>(rw));
    }
  }
}
