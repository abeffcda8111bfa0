#include "ImageLib/WkoPlanes.h"

#include <algorithm>
#include <cstring>

#include "ImageLib/WkoWavelet.h"

namespace {
// The state of one coded run as bitmaps, one bit per coefficient: significant before the current
// plane, newly significant in it, negative. Skipping insignificant coefficients then counts the
// zero bits of a word at once, and the refinement pass visits only the set bits of the
// significant map. The magnitudes are read only where a coefficient is significant, so they need
// no clearing between runs; the scratch lives as long as one image's decoding.
struct RunScratch {
  ZeroedArray<uint64_t> maps;  // three bitmaps of `words` words each
  uint64_t *significant = nullptr, *fresh = nullptr, *negative = nullptr;
  ZeroedArray<int16_t> magnitude;
  // Significant coefficients in each block of kBlock: long runs of zeros late in a run (2^k up
  // to 2^30 of them) step over whole blocks instead of word by word.
  std::vector<int32_t> blockCount;
  static constexpr int32_t kBlock = 4096;
  void prepare(int32_t n) {
    const size_t words = (static_cast<size_t>(n) + 63) / 64;
    blockCount.assign((static_cast<size_t>(n) + kBlock - 1) / kBlock, 0);
    if (maps.size() < 3 * words) maps = ZeroedArray<uint64_t>(3 * words);
    if (magnitude.size() < static_cast<size_t>(n)) magnitude = ZeroedArray<int16_t>(static_cast<size_t>(n));
    significant = maps.data();
    fresh = significant + words;
    negative = fresh + words;
    std::fill_n(maps.data(), 3 * words, 0);
  }
};

// The set bits of a word, without the library call that the compiler makes of
// __builtin_popcountll when it may not assume the instruction.
int ones(uint64_t v) {
  v = v - ((v >> 1) & 0x5555555555555555ull);
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((v * 0x0101010101010101ull) >> 56);
}

// The position of set bit number `rank` (from 0, counted from the lowest) of a word that has
// more than `rank` set bits: the byte from running byte counts, then the bit within it.
int selectBit(uint64_t x, int rank) {
  uint64_t v = x - ((x >> 1) & 0x5555555555555555ull);
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  const uint64_t upTo = v * 0x0101010101010101ull;  // byte i: the set bits of bytes 0 .. i
  int byte = 0;
  while (static_cast<int>((upTo >> (8 * byte)) & 0xFF) <= rank) ++byte;
  if (byte > 0) rank -= static_cast<int>((upTo >> (8 * (byte - 1))) & 0xFF);
  uint32_t b = static_cast<uint32_t>(x >> (8 * byte)) & 0xFF;
  for (; rank > 0; --rank) b &= b - 1;
  return 8 * byte + __builtin_ctz(b);
}

// Any stream, through readBits (file streams refill their buffer as they go).
struct StreamReader {
  BitStream* stream;
  uint32_t bit() { return static_cast<uint32_t>(readBits(1, stream)); }
  uint32_t bits(int count) { return static_cast<uint32_t>(readBits(count, stream)); }
  void finish() {}
};

// Decodes the bit planes of a run of n coefficients (after P and q), then hands every non-zero
// coefficient to emit(index, value) in index order, its sign applied and dequantised with q.
template <class Reader, class Emit>
void decodeRun(int32_t n, int planes, int q, int k, Reader& in, RunScratch& scratch, Emit&& emit) {
  scratch.prepare(n);
  uint64_t* significant = scratch.significant;
  uint64_t* fresh = scratch.fresh;
  uint64_t* negative = scratch.negative;
  int16_t* magnitude = scratch.magnitude.data();
  int32_t* blockCount = scratch.blockCount.data();
  constexpr int32_t kBlock = RunScratch::kBlock;
  const int32_t words = (n + 63) / 64;
  int32_t remaining = n;
  for (int32_t plane = 0; plane < planes; ++plane) {
    int64_t covered = 0;
    int32_t pointer = 0;
    int32_t newRemaining = remaining;
    const bool noneSignificant = remaining == n;
    // Moves the pointer past count coefficients that are not yet significant (newly significant
    // ones all lie behind it).
    auto skipInsignificant = [&](int64_t count) {
      if (noneSignificant) {
        pointer = static_cast<int32_t>(std::min<int64_t>(n, pointer + count));
        return;
      }
      while (count > 0 && pointer < n) {
        if ((pointer & (kBlock - 1)) == 0 && pointer + kBlock <= n) {
          const int32_t open = kBlock - blockCount[pointer / kBlock];
          if (open < count) {
            pointer += kBlock;
            count -= open;
            continue;
          }
        }
        const int offset = pointer & 63;
        const int span = std::min(64 - offset, n - pointer);
        const uint64_t here = significant[pointer >> 6] >> offset;
        if (here == 0) {  // the usual case in fine bands: nothing significant in this word yet
          const int32_t step = static_cast<int32_t>(std::min<int64_t>(span, count));
          pointer += step;
          count -= step;
          continue;
        }
        uint64_t zeros = ~here;
        if (span < 64) zeros &= (uint64_t{1} << span) - 1;
        const int z = ones(zeros);
        if (z < count) {
          pointer += span;
          count -= z;
        } else {
          pointer += selectBit(zeros, static_cast<int>(count) - 1) + 1;  // past the count-th zero
          count = 0;
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
        if (!noneSignificant) {
          while (pointer < n) {  // on to the next coefficient that is not significant
            const uint64_t open = ~significant[pointer >> 6] & (~uint64_t{0} << (pointer & 63));
            if (open) {
              pointer = (pointer & ~63) + __builtin_ctzll(open);
              break;
            }
            pointer = (pointer & ~63) + 64;
          }
        }
        // A corrupt run may point past its end: the pass ends there.
        if (pointer >= n) break;
        const uint64_t mask = uint64_t{1} << (pointer & 63);
        magnitude[pointer] = 1;
        fresh[pointer >> 6] |= mask;
        if (in.bit()) negative[pointer >> 6] |= mask;
        ++pointer;
        --newRemaining;
        if (k > 0) --k;
      }
    }
    // Refinement of the coefficients significant before this plane, in index order; then the
    // newly significant ones join them.
    if (remaining != n || newRemaining != remaining) {
      for (int32_t w = 0; w < words; ++w) {
        for (uint64_t set = significant[w]; set; set &= set - 1) {
          int16_t& m = magnitude[w * 64 + __builtin_ctzll(set)];
          m = static_cast<int16_t>(m * 2 + static_cast<int32_t>(in.bit()));
        }
        if (fresh[w]) {
          blockCount[w / (kBlock / 64)] += ones(fresh[w]);
          significant[w] |= fresh[w];
          fresh[w] = 0;
        }
      }
    }
    remaining = newRemaining;
  }
  // Sign, then the middle of the quantiser step: (10v + 5) x 2^q / 10 is exactly v x 2^q + 2^(q-1).
  const int32_t half = q >= 1 ? 1 << (q - 1) : 0;
  for (int32_t w = 0; w < words; ++w)
    for (uint64_t set = significant[w]; set; set &= set - 1) {
      const int bit = __builtin_ctzll(set);
      const int32_t m = (static_cast<int32_t>(magnitude[w * 64 + bit]) << q) + half;
      emit(w * 64 + bit, static_cast<int16_t>(negative[w] >> bit & 1 ? -m : m));
    }
}

// Where coded index K of a channel lies in its plane. The scan table of a level is its coded
// core in interleaved order, then the right padding row by row, then the bottom rows; only the
// cores are stored (in one block), the padding positions follow from their rank. Each level's
// details come as pairs (right of the table position, then below it), then the diagonal ones.
class Placer {
 public:
  Placer(int32_t paddedWidth, int32_t width, int32_t paddedHeight, int32_t height, int levels)
      : paddedWidth_(paddedWidth) {
    if (paddedWidth <= 2 || paddedHeight <= 2) return;  // coded order is plane order
    struct Level {
      int32_t wi, hi, coreW, coreH;
    };
    std::vector<Level> shape;
    size_t cores = 0;
    for (int i = 1; i <= levels + 1; ++i) {
      const int32_t wi = paddedWidth >> i, hi = paddedHeight >> i;
      const int32_t gx = wi - ((paddedWidth - width) >> i), gy = hi - ((paddedHeight - height) >> i);
      shape.push_back({wi, hi, std::min(wi, gx + 1), std::min(hi, gy + 1)});
      cores += static_cast<size_t>(shape.back().coreW) * shape.back().coreH;
    }
    core_ = ZeroedArray<int32_t>(cores);
    std::vector<Table> tables;
    int32_t* at = core_.data();
    for (const Level& l : shape) {
      tables.push_back({at, l.wi, l.coreW, l.coreH, l.coreW * l.coreH, l.wi - l.coreW});
      forEachCorePosition(l.wi, l.hi, l.coreW - 1, l.coreH - 1, [&](int32_t x, int32_t y) { *at++ = x + y * paddedWidth; });
    }
    int64_t k = 0;
    auto add = [&](const Table& t, int64_t count, bool paired, int32_t first, int32_t second) {
      segments_.push_back({k, k + count, t, paired, first, second});
      k += count;
    };
    const Table& low = tables[static_cast<size_t>(levels)];
    add(low, int64_t{shape.back().wi} * shape.back().hi, false, 0, 0);
    for (int i = levels + 1; i >= 1; --i) {
      const Table& t = tables[static_cast<size_t>(i - 1)];
      const int32_t wi = paddedWidth >> i, below = (paddedHeight >> i) * paddedWidth;
      const int64_t size = int64_t{wi} * (paddedHeight >> i);
      add(t, 2 * size, true, wi, below);
      add(t, size, false, below + wi, 0);
    }
  }
  // A cursor for coded indices from `start` on, visited in increasing order.
  struct Cursor {
    const Placer* placer;
    size_t segment;
    int32_t at(int64_t k) {
      if (placer->segments_.empty()) return static_cast<int32_t>(k);
      while (k >= placer->segments_[segment].end) ++segment;
      const Segment& s = placer->segments_[segment];
      const int64_t i = k - s.begin;
      if (!s.paired) return placer->position(s.table, static_cast<int32_t>(i)) + s.first;
      return placer->position(s.table, static_cast<int32_t>(i >> 1)) + (i & 1 ? s.second : s.first);
    }
  };
  Cursor from(int64_t start) const {
    size_t segment = 0;
    while (segment < segments_.size() && start >= segments_[segment].end) ++segment;
    return {this, segment};
  }

 private:
  struct Table {
    const int32_t* core;
    int32_t wi, coreW, coreH, coreCount, rightW;
  };
  struct Segment {
    int64_t begin, end;
    Table table;
    bool paired;  // even indices shifted by first, odd ones by second
    int32_t first, second;
  };
  // Entry t of a level's scan table.
  int32_t position(const Table& t, int32_t rank) const {
    if (rank < t.coreCount) return t.core[rank];
    rank -= t.coreCount;
    const int32_t right = t.coreH * t.rightW;
    if (rank < right) return t.coreW + rank % t.rightW + rank / t.rightW * paddedWidth_;
    rank -= right;
    return rank % t.wi + (t.coreH + rank / t.wi) * paddedWidth_;
  }
  int32_t paddedWidth_;
  ZeroedArray<int32_t> core_;
  std::vector<Segment> segments_;
};

template <class Reader>
std::unique_ptr<WkoPlanes> decodePlanes(BitStream* stream, bool visibleOnly) {
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
  // Coefficients that no run sets (no group covers them, or their run has no planes) stay 0.
  p->planes.reserve(static_cast<size_t>(p->channels));
  for (int32_t c = 0; c < p->channels; ++c) p->planes.emplace_back(static_cast<size_t>(samples));
  std::vector<bool> coded(static_cast<size_t>(p->channels), false);  // some run of the channel has planes
  // The scan order only once a run has planes: cut streams and corrupt headers often declare
  // large planes with nothing in them.
  std::unique_ptr<Placer> placer;
  RunScratch scratch;
  Reader in{stream};
  for (int32_t g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    for (int32_t c = 0; c < p->channels; ++c) {
      const int planes = static_cast<int>(in.bits(4));
      if (planes == 0) continue;
      const int q = static_cast<int>(in.bits(4));
      if (!placer) placer = std::make_unique<Placer>(p->paddedWidth, p->width, p->paddedHeight, p->height, levels);
      int16_t* plane = p->planes[static_cast<size_t>(c)].data();
      Placer::Cursor cursor = placer->from(start);
      decodeRun(static_cast<int32_t>(end - start), planes, q, 0, in, scratch,
                [&](int32_t i, int16_t value) { plane[cursor.at(start + i)] = value; });
      coded[static_cast<size_t>(c)] = true;
    }
  }
  in.finish();
  // A channel without a single bit plane stays all 0: transforming zeros gives zeros, which is
  // also what visibleRow's pending lifting gives for its rows.
  p->lastRowsPending = visibleOnly && levels > 0;
  for (int32_t c = 0; c < p->channels; ++c) {
    if (!coded[static_cast<size_t>(c)]) continue;
    int16_t* plane = p->planes[static_cast<size_t>(c)].data();
    if (visibleOnly)
      inverseTransformVisible(plane, p->paddedWidth, p->paddedHeight, levels, p->width, p->height, false);
    else
      inverseTransform(plane, p->paddedWidth, p->paddedHeight, levels);
  }
  return p;
}
}  // namespace

const int16_t* visibleRow(const WkoPlanes& p, int32_t c, int32_t y, int16_t* scratch) {
  const int16_t* line = p.planes[static_cast<size_t>(c)].data() + static_cast<size_t>(y) * p.paddedWidth;
  if (!p.lastRowsPending) return line;
  const int32_t half = p.paddedWidth / 2;
  liftRowPrefix(line, p.paddedWidth, p.width, scratch, scratch + p.paddedWidth, scratch + p.paddedWidth + half);
  return scratch;
}

int32_t decodeCoefficientRun(int16_t* values, int32_t n, int k, BitStream* stream) {
  std::memset(values, 0, sizeof(int16_t) * static_cast<size_t>(n));
  const int32_t planes = readBits(4, stream);
  if (planes == 0) return 0;
  const int32_t q = readBits(4, stream);
  RunScratch scratch;
  auto store = [values](int32_t i, int16_t value) { values[i] = value; };
  if (stream->medium == 'M') {
    BitReader in(stream);
    decodeRun(n, planes, q, k, in, scratch, store);
    in.finish();
  } else {
    StreamReader in{stream};
    decodeRun(n, planes, q, k, in, scratch, store);
  }
  return n;
}

std::unique_ptr<WkoPlanes> decodeWkoPlanes(BitStream* stream) {
  if (!stream) return nullptr;
  return stream->medium == 'M' ? decodePlanes<BitReader>(stream, false) : decodePlanes<StreamReader>(stream, false);
}

std::unique_ptr<WkoPlanes> decodeWkoVisiblePlanes(BitStream* stream) {
  if (!stream) return nullptr;
  return stream->medium == 'M' ? decodePlanes<BitReader>(stream, true) : decodePlanes<StreamReader>(stream, true);
}

void releaseWkoPlanes(std::unique_ptr<WkoPlanes>& planes) { planes.reset(); }
