#include "ImageLib/WkoPlanes.h"

#include <cstring>

#include "ImageLib/WkoWavelet.h"

namespace {
constexpr uint8_t kNegative = 1, kSignificant = 2, kNewlySignificant = 4;
}

int32_t decodeCoefficientRun(int16_t* values, int32_t n, int k, BitStream* stream) {
  std::memset(values, 0, sizeof(int16_t) * static_cast<size_t>(n));
  const int32_t planes = readBits(4, stream);
  if (planes == 0) return 0;
  const int32_t q = readBits(4, stream);
  std::vector<uint8_t> marks(static_cast<size_t>(n), 0);
  int32_t remaining = n;
  for (int32_t plane = 0; plane < planes; ++plane) {
    int64_t covered = 0;
    int32_t pointer = 0;
    int32_t newRemaining = remaining;
    // Moves the pointer past count coefficients that are not yet significant.
    auto skipInsignificant = [&](int64_t count) {
      while (count > 0 && pointer < n) {
        if (!(marks[static_cast<size_t>(pointer)] & kSignificant)) --count;
        ++pointer;
      }
    };
    while (covered < remaining) {
      if (readBits(1, stream) == 0) {
        const int64_t zeros = int64_t{1} << k;
        covered += zeros;
        skipInsignificant(zeros);
        if (covered > remaining) {
          if (k > 0) --k;
        } else if (k < 30) {
          ++k;
        }
      } else {
        const int32_t r = readBits(k, stream);
        covered += r + 1;
        skipInsignificant(r);
        while (pointer < n && (marks[static_cast<size_t>(pointer)] & kSignificant)) ++pointer;
        // A corrupt run may point past its end: the pass ends there.
        if (pointer >= n) break;
        values[pointer] = 1;
        marks[static_cast<size_t>(pointer)] |= kNewlySignificant;
        if (readBits(1, stream)) marks[static_cast<size_t>(pointer)] |= kNegative;
        ++pointer;
        --newRemaining;
        if (k > 0) --k;
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      uint8_t& m = marks[static_cast<size_t>(i)];
      if (m & kSignificant)
        values[i] = static_cast<int16_t>(values[i] * 2 + readBits(1, stream));
      else if (m & kNewlySignificant)
        m = static_cast<uint8_t>((m & ~kNewlySignificant) | kSignificant);
    }
    remaining = newRemaining;
  }
  for (int32_t i = 0; i < n; ++i) {
    int64_t v = values[i];
    if (marks[static_cast<size_t>(i)] & kNegative) v = -v;
    if (q >= 1 && v != 0) v = (v > 0 ? 10 * v + 5 : 10 * v - 5) * (int64_t{1} << q) / 10;
    values[i] = static_cast<int16_t>(v);
  }
  return n;
}

std::unique_ptr<WkoPlanes> decodeWkoPlanes(BitStream* stream) {
  auto p = std::make_unique<WkoPlanes>();
  const bool sized = readBits(1, stream);
  if (sized) {
    p->width = readBits(16, stream) + 1;
    p->height = readBits(16, stream) + 1;
  }
  p->channels = readBits(4, stream) + 1;
  p->paddedWidth = 1 << readBits(4, stream);
  p->paddedHeight = 1 << readBits(4, stream);
  if (!sized) {
    p->width = p->paddedWidth;
    p->height = p->paddedHeight;
  }
  const int32_t groups = readBits(4, stream) + 1;
  const int32_t v = readBits(5, stream);
  if (v == 0) return nullptr;
  const int64_t first = int64_t{1} << (v - 1);
  const int64_t samples = int64_t{p->paddedWidth} * p->paddedHeight;
  // Corrupt headers: a picture larger than its planes, planes too large to be sane, or groups
  // that reach past the plane.
  if (p->width > p->paddedWidth || p->height > p->paddedHeight || samples > kMaxPlaneSamples ||
      samples * p->channels > kMaxTotalSamples)
    return nullptr;
  if (first > samples || (groups > 1 && (first << (2 * (groups - 1))) > samples)) return nullptr;

  const int levels = transformLevels(p->paddedWidth, p->paddedHeight);
  const ScanTables tables = buildScanTables(p->paddedWidth, p->width, p->paddedHeight, p->height, levels);
  p->planes.assign(static_cast<size_t>(p->channels), std::vector<int16_t>(static_cast<size_t>(samples), 0));
  for (int32_t g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    for (int32_t c = 0; c < p->channels; ++c)
      decodeCoefficientRun(p->planes[static_cast<size_t>(c)].data() + start, static_cast<int32_t>(end - start), 0,
                           stream);
  }
  std::vector<int16_t> scratch(static_cast<size_t>(samples));
  for (auto& plane : p->planes) {
    placeCoefficients(scratch.data(), plane.data(), tables, p->paddedWidth, p->paddedHeight, levels);
    plane = scratch;
    inverseTransform(plane.data(), p->paddedWidth, p->paddedHeight, levels);
  }
  return p;
}

void releaseWkoPlanes(std::unique_ptr<WkoPlanes>& planes) { planes.reset(); }
