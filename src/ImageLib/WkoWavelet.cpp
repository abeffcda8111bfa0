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
    forEachCorePosition(wi, hi, gx, gy, [&](int32_t x, int32_t y) { table.push_back(x + y * paddedWidth); });
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
constexpr int32_t kStrip = 64;

// Whether all of v[0 .. n-1] lie strictly between -8192 and 8192. Then every sum of the lifting
// fits 16 bits (|d + d| < 16384, |even| < 12288, |even + even| < 24576, |odd| < 20480), and the
// steps can be done in 16-bit lanes, twice as many at a time as the 32-bit ones, with the same
// results. Decoded pictures nearly always qualify; corrupt streams take the 32-bit way.
bool small(const int16_t* v, int32_t n) {
  int32_t outside = 0;
  for (int32_t i = 0; i < n; ++i) outside |= static_cast<uint16_t>(v[i] + 8191) > 16382;
  return !outside;
}

// The first m outputs (m at most n) of the inverse lifting of n values, from s[0 .. J] and
// d[0 .. J], J = min(n/2 - 1, m/2): the even outputs from the inputs alone, the odd ones from
// their even neighbours, each pass a plain loop over contiguous values that the compiler
// vectorises; then the two are interleaved. Returns how many leading outputs are written (m, or
// one more). even and odd hold n/2 values each.
int32_t liftPrefix(const int16_t* s, const int16_t* d, int32_t n, int32_t m, int16_t* out, int16_t* even,
                   int16_t* odd) {
  const int32_t half = n / 2, last = std::min(half - 1, m / 2);
  even[0] = static_cast<int16_t>(s[0] - d[0] / 2);
  if (small(s, last + 1) && small(d, last + 1)) {
    for (int32_t j = 1; j <= last; ++j) even[j] = static_cast<int16_t>(s[j] - static_cast<int16_t>(d[j - 1] + d[j]) / 4);
    for (int32_t j = 1; j <= last; ++j)
      odd[j] = static_cast<int16_t>(static_cast<int16_t>(even[j - 1] + even[j]) / 2 + d[j - 1]);
  } else {
    for (int32_t j = 1; j <= last; ++j) even[j] = static_cast<int16_t>(s[j] - (d[j - 1] + d[j]) / 4);
    for (int32_t j = 1; j <= last; ++j) odd[j] = static_cast<int16_t>((even[j - 1] + even[j]) / 2 + d[j - 1]);
  }
  out[0] = even[0];
  for (int32_t j = 1; j <= last; ++j) {
    out[2 * j - 1] = odd[j];
    out[2 * j] = even[j];
  }
  if (m < n) return 2 * last + 1;
  out[n - 1] = static_cast<int16_t>(d[half - 1] + out[n - 2]);
  return n;
}

// The same down `count` (at most kStrip) neighbouring columns at once: s and d hold rows of
// kStrip values (row j of each is input j), out gets the first m output rows. Returns the rows
// written.
int32_t liftPrefixColumns(const int16_t* s, const int16_t* d, int32_t n, int32_t m, int32_t count, int16_t* out) {
  const int32_t half = n / 2, last = std::min(half - 1, m / 2);
  auto row = [](auto* base, int32_t j) { return base + j * kStrip; };
  for (int32_t c = 0; c < count; ++c) out[c] = static_cast<int16_t>(s[c] - d[c] / 2);
  if (count == kStrip && small(s, kStrip * (last + 1)) && small(d, kStrip * (last + 1))) {
    for (int32_t j = 1; j <= last; ++j) {
      const int16_t *sj = row(s, j), *dp = row(d, j - 1), *dj = row(d, j);
      int16_t *even = row(out, 2 * j), *odd = row(out, 2 * j - 1);
      const int16_t* before = row(out, 2 * j - 2);
      for (int32_t c = 0; c < kStrip; ++c) {
        even[c] = static_cast<int16_t>(sj[c] - static_cast<int16_t>(dp[c] + dj[c]) / 4);
        odd[c] = static_cast<int16_t>(static_cast<int16_t>(before[c] + even[c]) / 2 + dp[c]);
      }
    }
  } else {
  for (int32_t j = 1; j <= last; ++j) {
    const int16_t *sj = row(s, j), *dp = row(d, j - 1), *dj = row(d, j);
    int16_t *even = row(out, 2 * j), *odd = row(out, 2 * j - 1);
    const int16_t* before = row(out, 2 * j - 2);
    for (int32_t c = 0; c < count; ++c) {
      even[c] = static_cast<int16_t>(sj[c] - (dp[c] + dj[c]) / 4);
      odd[c] = static_cast<int16_t>((before[c] + even[c]) / 2 + dp[c]);
    }
  }
  }
  if (m < n) return 2 * last + 1;
  const int16_t *dl = row(d, half - 1), *before = row(out, n - 2);
  int16_t* final = row(out, n - 1);
  for (int32_t c = 0; c < count; ++c) final[c] = static_cast<int16_t>(dl[c] + before[c]);
  return n;
}
}  // namespace

int32_t liftRowPrefix(const int16_t* line, int32_t n, int32_t m, int16_t* out, int16_t* even, int16_t* odd) {
  return liftPrefix(line, line + n / 2, n, m, out, even, odd);
}

void inverseTransformVisible(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels, int32_t width,
                             int32_t height, bool lastRows) {
  if (levels <= 0) return;
  // Level n must give the outputs x < needW[n], y < needH[n]. An output o[i] of the lifting
  // depends on s and d up to index i/2 only, so the level below it (the top-left quadrant) needs
  // needW[n]/2 + 1 columns and needH[n]/2 + 1 rows, and the columns of the detail quadrants
  // beside them likewise. Everything else of the plane is never read again.
  std::vector<int32_t> needW(static_cast<size_t>(levels) + 1), needH(needW.size());
  needW[0] = std::min(width, paddedWidth);
  needH[0] = std::min(height, paddedHeight);
  for (int n = 0; n < levels; ++n) {
    needW[static_cast<size_t>(n) + 1] = std::min((paddedWidth >> n) / 2, needW[static_cast<size_t>(n)] / 2 + 1);
    needH[static_cast<size_t>(n) + 1] = std::min((paddedHeight >> n) / 2, needH[static_cast<size_t>(n)] / 2 + 1);
  }
  // Columns go through in strips of kStrip, copied out row by row: the lifting then runs along
  // rows of the strip, and the plane is read in whole cache lines rather than one value a row.
  // The plane's rows lie a power of two apart and so share cache sets; a strip of 64 values (two
  // lines) uses every line it brings in before the set is needed again; against strips of 16,
  // `wko decode` of a 1152 x 858 picture took about a tenth less CPU time.
  std::vector<int16_t> s(static_cast<size_t>(kStrip) * paddedHeight), d(s.size()), out(s.size());
  std::vector<int16_t> row(static_cast<size_t>(paddedWidth)), even(row.size()), odd(row.size());
  for (int n = levels - 1; n >= 0; --n) {
    const int32_t rw = paddedWidth >> n, rh = paddedHeight >> n;
    const int32_t hw = rw / 2, hh = rh / 2;
    const int32_t cw = needW[static_cast<size_t>(n) + 1], ch = needH[static_cast<size_t>(n) + 1];
    const int32_t outW = needW[static_cast<size_t>(n)], outH = needH[static_cast<size_t>(n)];
    for (int32_t from : {0, hw}) {
      for (int32_t x = from; x < from + cw; x += kStrip) {
        const int32_t count = std::min(kStrip, from + cw - x);
        // Whole strips copy a constant size, which the compiler inlines as a few moves.
        auto copy = [count](int16_t* to, const int16_t* from) {
          if (count == kStrip)
            std::memcpy(to, from, sizeof(int16_t) * kStrip);
          else
            std::memcpy(to, from, sizeof(int16_t) * static_cast<size_t>(count));
        };
        for (int32_t y = 0; y < ch; ++y) {
          copy(&s[static_cast<size_t>(y) * kStrip], plane + x + static_cast<size_t>(y) * paddedWidth);
          copy(&d[static_cast<size_t>(y) * kStrip], plane + x + static_cast<size_t>(hh + y) * paddedWidth);
        }
        const int32_t rows = liftPrefixColumns(s.data(), d.data(), rh, outH, count, out.data());
        for (int32_t y = 0; y < rows; ++y)
          copy(plane + x + static_cast<size_t>(y) * paddedWidth, &out[static_cast<size_t>(y) * kStrip]);
      }
    }
    if (n == 0 && !lastRows) break;
    for (int32_t y = 0; y < outH; ++y) {
      int16_t* line = plane + static_cast<size_t>(y) * paddedWidth;
      const int32_t written = liftPrefix(line, line + hw, rw, outW, row.data(), even.data(), odd.data());
      std::memcpy(line, row.data(), sizeof(int16_t) * static_cast<size_t>(written));
    }
  }
}

void inverseTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels) {
  inverseTransformVisible(plane, paddedWidth, paddedHeight, levels, paddedWidth, paddedHeight);
}
