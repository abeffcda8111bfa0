#include "ImageLib/WkoPlanes.h"

#include <algorithm>
#include <cstring>

#include "ImageLib/WkoWavelet.h"

namespace {
constexpr uint8_t kNegative = 1, kSignificant = 2, kNewlySignificant = 4;

// Eight marks at once: most coefficients of a fine run stay insignificant for many planes, and
// the passes step over them a word at a time.
uint64_t eightMarks(const uint8_t* m) {
  uint64_t w;
  std::memcpy(&w, m, sizeof w);
  return w;
}
constexpr uint64_t kEach = 0x0101010101010101ull;
// The marks of 32 coefficients OR-ed into one word.
uint64_t fourWords(const uint8_t* m) { return eightMarks(m) | eightMarks(m + 8) | eightMarks(m + 16) | eightMarks(m + 24); }

// Any stream, through readBits (file streams refill their buffer as they go).
struct StreamReader {
  BitStream* stream;
  uint32_t bit() { return static_cast<uint32_t>(readBits(1, stream)); }
  uint32_t bits(int count) { return static_cast<uint32_t>(readBits(count, stream)); }
  void finish() {}
};

template <class Reader>
void decodePlanes(int16_t* values, uint8_t* marks, int32_t n, int32_t planes, int k, Reader& in) {
  int32_t remaining = n;
  for (int32_t plane = 0; plane < planes; ++plane) {
    int64_t covered = 0;
    int32_t pointer = 0;
    int32_t newRemaining = remaining;
    // Moves the pointer past count coefficients that are not yet significant.
    auto skipInsignificant = [&](int64_t count) {
      if (remaining == n) {  // nothing is significant yet: every coefficient counts
        pointer = static_cast<int32_t>(std::min<int64_t>(n, pointer + count));
        return;
      }
      while (count > 0 && pointer < n) {
        if (count >= 32 && pointer + 32 <= n && !(fourWords(marks + pointer) & (kEach * kSignificant))) {
          pointer += 32;
          count -= 32;
        } else if (count >= 8 && pointer + 8 <= n && !(eightMarks(marks + pointer) & (kEach * kSignificant))) {
          pointer += 8;
          count -= 8;
        } else {
          if (!(marks[pointer] & kSignificant)) --count;
          ++pointer;
        }
      }
    };
    while (covered < remaining) {
      if (in.bit() == 0) {
        const int64_t zeros = int64_t{1} << k;
        covered += zeros;
        skipInsignificant(zeros);
        if (covered > remaining) {
          if (k > 0) --k;
        } else if (k < 30) {
          ++k;
        }
      } else {
        const int32_t r = static_cast<int32_t>(in.bits(k));
        covered += r + 1;
        skipInsignificant(r);
        while (pointer < n && (marks[pointer] & kSignificant)) ++pointer;
        // A corrupt run may point past its end: the pass ends there.
        if (pointer >= n) break;
        values[pointer] = 1;
        marks[pointer] |= kNewlySignificant;
        if (in.bit()) marks[pointer] |= kNegative;
        ++pointer;
        --newRemaining;
        if (k > 0) --k;
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      constexpr uint64_t kTouched = kEach * (kSignificant | kNewlySignificant);
      if (i + 32 <= n && !(fourWords(marks + i) & kTouched)) {
        i += 31;
        continue;
      }
      if (i + 8 <= n && !(eightMarks(marks + i) & kTouched)) {
        i += 7;
        continue;
      }
      uint8_t& m = marks[i];
      if (m & kSignificant)
        values[i] = static_cast<int16_t>(values[i] * 2 + static_cast<int32_t>(in.bit()));
      else if (m & kNewlySignificant)
        m = static_cast<uint8_t>((m & ~kNewlySignificant) | kSignificant);
    }
    remaining = newRemaining;
  }
  in.finish();
}
}  // namespace

int32_t decodeCoefficientRun(int16_t* values, int32_t n, int k, BitStream* stream) {
  std::memset(values, 0, sizeof(int16_t) * static_cast<size_t>(n));
  const int32_t planes = readBits(4, stream);
  if (planes == 0) return 0;
  const int32_t q = readBits(4, stream);
  std::vector<uint8_t> marks(static_cast<size_t>(n), 0);
  if (stream->medium == 'M') {
    BitReader in(stream);
    decodePlanes(values, marks.data(), n, planes, k, in);
  } else {
    StreamReader in{stream};
    decodePlanes(values, marks.data(), n, planes, k, in);
  }
  // Sign, then the middle of the quantiser step: (10v + 5) x 2^q / 10 is exactly v x 2^q + 2^(q-1).
  const int32_t half = q >= 1 ? 1 << (q - 1) : 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = values[i];
    const int32_t m = v ? (v << q) + half : 0;
    values[i] = static_cast<int16_t>(marks[static_cast<size_t>(i)] & kNegative ? -m : m);
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
  if (p->width > p->paddedWidth || p->height > p->paddedHeight ||
      !wkoPlanesFit(p->paddedWidth, p->paddedHeight, p->channels))
    return nullptr;
  if (first > samples || (groups > 1 && (first << (2 * (groups - 1))) > samples)) return nullptr;

  const int levels = transformLevels(p->paddedWidth, p->paddedHeight);
  p->planes.assign(static_cast<size_t>(p->channels), std::vector<int16_t>(static_cast<size_t>(samples), 0));
  std::vector<bool> coded(static_cast<size_t>(p->channels), false);  // some run of the channel has planes
  for (int32_t g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    for (int32_t c = 0; c < p->channels; ++c)
      if (decodeCoefficientRun(p->planes[static_cast<size_t>(c)].data() + start, static_cast<int32_t>(end - start), 0,
                               stream))
        coded[static_cast<size_t>(c)] = true;
  }
  // A channel without a single bit plane stays all 0: placing and transforming zeros gives zeros.
  // Cut streams and corrupt headers often declare large planes with nothing in them.
  if (std::find(coded.begin(), coded.end(), true) == coded.end()) return p;
  const ScanTables tables = buildScanTables(p->paddedWidth, p->width, p->paddedHeight, p->height, levels);
  std::vector<int16_t> scratch(static_cast<size_t>(samples));
  for (int32_t c = 0; c < p->channels; ++c) {
    if (!coded[static_cast<size_t>(c)]) continue;
    std::vector<int16_t>& plane = p->planes[static_cast<size_t>(c)];
    placeCoefficients(scratch.data(), plane.data(), tables, p->paddedWidth, p->paddedHeight, levels);
    plane.swap(scratch);  // every position was written
    inverseTransform(plane.data(), p->paddedWidth, p->paddedHeight, levels);
  }
  return p;
}

void releaseWkoPlanes(std::unique_ptr<WkoPlanes>& planes) { planes.reset(); }
