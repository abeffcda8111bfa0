#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ImageLib/BitStream.h"
#include "ImageLib/ZeroedArray.h"

// The decoded channels of a WKO stream: signed 16-bit planes of paddedWidth x paddedHeight.
struct WkoPlanes {
  int32_t channels;
  int32_t paddedWidth;
  int32_t paddedHeight;
  int32_t width;
  int32_t height;
  std::vector<ZeroedArray<int16_t>> planes;
  // Set by decodeWkoVisiblePlanes when the finest level's row lifting is still to be done on
  // every plane: visibleRow does it a row at a time.
  bool lastRowsPending = false;
};

// The largest pictures of this codec, one limit for the encoder and the decoder: planes of at most
// 2^24 samples (4096 x 4096, or 16384 x 1024), three such planes' worth over all channels, 1 to 16
// channels, padded sides that the header's 4-bit logarithms can hold. The decoder treats larger
// headers as corrupt, so that a few bytes cannot demand minutes of work; the encoder refuses
// those pictures rather than write streams that no reader takes.
constexpr int64_t kMaxPlaneSamples = int64_t{1} << 24;
constexpr int64_t kMaxTotalSamples = 3 * kMaxPlaneSamples;
constexpr bool wkoPlanesFit(int64_t paddedWidth, int64_t paddedHeight, int64_t channels) {
  return paddedWidth >= 1 && paddedHeight >= 1 && paddedWidth <= (1 << 15) && paddedHeight <= (1 << 15) &&
         channels >= 1 && channels <= 16 && paddedWidth * paddedHeight <= kMaxPlaneSamples &&
         paddedWidth * paddedHeight * channels <= kMaxTotalSamples;
}

// Reads the header after the colour flag, every run, places the coefficients and inverts the
// transform. None for an invalid or impossible header.
std::unique_ptr<WkoPlanes> decodeWkoPlanes(BitStream* stream);
// As decodeWkoPlanes, but only the visible width x height at the top-left of each plane is
// reconstructed; the rest holds intermediate values. For ReadWKO, which packs nothing else.
std::unique_ptr<WkoPlanes> decodeWkoVisiblePlanes(BitStream* stream);
// Row y (plane row, top first) of channel c as finally decoded, its first `width` values: the
// plane row itself, or when the last row lifting is pending, that lifting done into `scratch`
// (at least paddedWidth x 2 values).
const int16_t* visibleRow(const WkoPlanes& planes, int32_t c, int32_t y, int16_t* scratch);
// Picture row y (top row first) as the image record holds it, into out (width x channels
// bytes): from Y, Cb, Cr to R, G, B when `colour` is set and there are three channels or more,
// then each sample's absolute value, at most 255. scratch: wkoRowScratch values. For ReadWKO,
// and for writers that want the rows without a whole record.
void packWkoRow(const WkoPlanes& planes, bool colour, int32_t y, uint8_t* out, int16_t* scratch);
size_t wkoRowScratch(const WkoPlanes& planes);
// Decodes one coded run into values[0 .. n-1]; returns n, or 0 for a run without bit planes.
int32_t decodeCoefficientRun(int16_t* values, int32_t n, int k, BitStream* stream);
void releaseWkoPlanes(std::unique_ptr<WkoPlanes>& planes);
// Planes 0, 1, 2 from Y, Cb, Cr to R, G, B in place, every sample of the padded planes.
void convertYCbCr(WkoPlanes& planes);
