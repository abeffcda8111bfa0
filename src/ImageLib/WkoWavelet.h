#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Where each coded coefficient goes in a plane, and the inverse integer 5/3 lifting wavelet.

int significantBits(int32_t v);
int transformLevels(int32_t paddedWidth, int32_t paddedHeight);
// (x, y) of index k in a quadrant of w x h (powers of two), interleaving the bits of k.
void splitIndex(uint32_t k, int32_t w, int32_t h, int32_t& x, int32_t& y);

// Calls f(x, y) for every position of the coded core of a quadrant of w x h (x <= gx, y <= gy;
// the part that the visible picture reaches, and one more column and row), in scan order.
// Aligned blocks of the interleaved order that lie wholly outside the core are skipped at once.
template <class F>
void forEachCorePosition(int32_t w, int32_t h, int32_t gx, int32_t gy, F&& f) {
  const int bx = significantBits(w) - 1, by = significantBits(h) - 1;
  const bool wide = by < bx;
  // The index's top 2 x min(bx, by) bits alternate between the longer side (first) and the
  // shorter one; its low `surplus` bits run along the longer side.
  const int surplus = wide ? bx - by : by - bx;
  const int32_t longLimit = wide ? gx : gy, shortLimit = wide ? gy : gx;
  auto visit = [&](auto& self, int digits, int32_t l0, int32_t s0) -> void {
    if ((l0 << surplus) > longLimit || s0 > shortLimit) return;
    if (digits == 0) {
      const int32_t from = l0 << surplus, to = std::min(from + (1 << surplus) - 1, longLimit);
      for (int32_t v = from; v <= to; ++v) wide ? f(v, s0) : f(s0, v);
      return;
    }
    const int32_t half = 1 << (digits - 1);
    self(self, digits - 1, l0, s0);
    self(self, digits - 1, l0, s0 + half);
    self(self, digits - 1, l0 + half, s0);
    self(self, digits - 1, l0 + half, s0 + half);
  };
  visit(visit, std::min(bx, by), 0, 0);
}

// Levels 1 .. L + 1, each the positions of its top-left quadrant in scan order; empty when a
// padded size is 2 or less.
using ScanTables = std::vector<std::vector<int32_t>>;
ScanTables buildScanTables(int32_t paddedWidth, int32_t width, int32_t paddedHeight, int32_t height, int levels);
void placeCoefficients(int16_t* target, const int16_t* coded, const ScanTables& tables, int32_t paddedWidth,
                       int32_t paddedHeight, int levels);
void inverseLifting(const int16_t* in, int16_t* out, int32_t n);
void inverseTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels);
// The same values as inverseTransform in the top-left width x height of the plane, computing
// only what they depend on; the rest of the plane is left with intermediate values. lastRows
// false leaves out the finest level's row lifting: liftRowPrefix gives each row's final values
// when they are wanted, without storing them back.
void inverseTransformVisible(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels, int32_t width,
                             int32_t height, bool lastRows = true);
// The first m (or m + 1) outputs of the inverse lifting of a row of n values, into out; even and
// odd are scratch of n / 2 values. Returns the outputs written.
int32_t liftRowPrefix(const int16_t* line, int32_t n, int32_t m, int16_t* out, int16_t* even, int16_t* odd);
