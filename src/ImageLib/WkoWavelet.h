#pragma once

#include <cstdint>
#include <vector>

// Where each coded coefficient goes in a plane, and the inverse integer 5/3 lifting wavelet.

int significantBits(int32_t v);
int transformLevels(int32_t paddedWidth, int32_t paddedHeight);
// (x, y) of index k in a quadrant of w x h (powers of two), interleaving the bits of k.
void splitIndex(uint32_t k, int32_t w, int32_t h, int32_t& x, int32_t& y);

// Levels 1 .. L + 1, each the positions of its top-left quadrant in scan order; empty when a
// padded size is 2 or less.
using ScanTables = std::vector<std::vector<int32_t>>;
ScanTables buildScanTables(int32_t paddedWidth, int32_t width, int32_t paddedHeight, int32_t height, int levels);
void placeCoefficients(int16_t* target, const int16_t* coded, const ScanTables& tables, int32_t paddedWidth,
                       int32_t paddedHeight, int levels);
void inverseLifting(const int16_t* in, int16_t* out, int32_t n);
void inverseTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels);
