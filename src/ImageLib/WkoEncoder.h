#pragma once

#include <cstdint>
#include <vector>

#include "ImageLib/BitStream.h"
#include "ImageLib/WkoWavelet.h"

// The writing side of the WKO codec: every step is the exact inverse of the reader's.

// Forward 5/3 lifting whose inverse is exactly inverseLifting: out = low half, then high half.
void forwardLifting(const int16_t* in, int16_t* out, int32_t n);
// Rows then columns at every level, finest first: undone exactly by inverseTransform.
void forwardTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels);
// The coded order that placeCoefficients puts back in place.
void gatherCoefficients(int16_t* coded, const int16_t* plane, const ScanTables& tables, int32_t paddedWidth,
                        int32_t paddedHeight, int levels);
// Writes one coded run of n quantised values (sign and magnitude below 2^15) with P bit planes
// (the magnitudes' bit count) and quantiser shift q, as decodeCoefficientRun reads it.
void encodeCoefficientRun(const int16_t* values, int32_t n, int q, BitStream* stream);

// Whether a picture is within the limit that the decoder takes (wkoPlanesFit on its padded
// planes): 1 to 16 channels, at most 2^24 padded samples a plane and 3 x 2^24 in all.
bool wkoPictureFits(int32_t width, int32_t height, int32_t channels);

// A lossless stream of an 8-bit picture with 1 to 16 channels, pixels interleaved, top row
// first; colour flag 0. Any size that wkoPictureFits; the planes are padded to powers of two with
// one flat value beyond the picture (cheap to code), and a thin picture's short side may be
// padded further to give the transform levels, when that makes the stream smaller.
std::vector<uint8_t> encodeWkoLossless(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels);

// A stream of at most maxBytes, one group per resolution level (coarsest first, so a cut stream
// is a coarser picture). Each run's quantiser shift and dead zone are chosen for the least
// squared error in the picture at that size (a Lagrangian search over all runs, then a greedy
// fill; the last run is cut where the size ends). ycbcr: 3 or more channels may be coded as
// Y, Cb, Cr, kept when that decodes closer than R, G, B. None when maxBytes cannot hold the
// header (3 bytes, 7 with an explicit size).
std::vector<uint8_t> encodeWkoBudget(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                                     uint32_t maxBytes, bool ycbcr);
