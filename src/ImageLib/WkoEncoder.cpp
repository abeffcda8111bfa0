#include "ImageLib/WkoEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoPlanes.h"

void forwardLifting(const int16_t* o, int16_t* out, int32_t n) {
  int16_t* s = out;
  int16_t* d = out + n / 2;
  const int32_t half = n / 2;
  for (int32_t j = 0; j < half - 1; ++j) d[j] = static_cast<int16_t>(o[2 * j + 1] - (o[2 * j] + o[2 * j + 2]) / 2);
  d[half - 1] = static_cast<int16_t>(o[n - 1] - o[n - 2]);
  s[0] = static_cast<int16_t>(o[0] + d[0] / 2);
  for (int32_t j = 1; j < half; ++j) s[j] = static_cast<int16_t>(o[2 * j] + (d[j - 1] + d[j]) / 4);
}

void forwardTransform(int16_t* plane, int32_t paddedWidth, int32_t paddedHeight, int levels) {
  std::vector<int16_t> in(static_cast<size_t>(std::max(paddedWidth, paddedHeight)));
  std::vector<int16_t> out(in.size());
  for (int n = 0; n < levels; ++n) {
    const int32_t rw = paddedWidth >> n, rh = paddedHeight >> n;
    for (int32_t y = 0; y < rh; ++y) {
      int16_t* row = plane + static_cast<size_t>(y) * paddedWidth;
      forwardLifting(row, out.data(), rw);
      std::memcpy(row, out.data(), sizeof(int16_t) * static_cast<size_t>(rw));
    }
    for (int32_t x = 0; x < rw; ++x) {
      for (int32_t y = 0; y < rh; ++y) in[static_cast<size_t>(y)] = plane[x + y * paddedWidth];
      forwardLifting(in.data(), out.data(), rh);
      for (int32_t y = 0; y < rh; ++y) plane[x + y * paddedWidth] = out[static_cast<size_t>(y)];
    }
  }
}

void gatherCoefficients(int16_t* coded, const int16_t* plane, const ScanTables& tables, int32_t paddedWidth,
                        int32_t paddedHeight, int levels) {
  if (tables.empty()) {
    std::memcpy(coded, plane, sizeof(int16_t) * static_cast<size_t>(paddedWidth) * paddedHeight);
    return;
  }
  for (int32_t p : tables[static_cast<size_t>(levels)]) *coded++ = plane[p];
  for (int i = levels + 1; i >= 1; --i) {
    const int32_t wi = paddedWidth >> i;
    const int32_t below = (paddedHeight >> i) * paddedWidth;
    const std::vector<int32_t>& table = tables[static_cast<size_t>(i - 1)];
    for (int32_t p : table) {
      *coded++ = plane[p + wi];
      *coded++ = plane[p + below];
    }
    for (int32_t p : table) *coded++ = plane[p + below + wi];
  }
}

namespace {
// Where a run's bits go: into a stream, or only counted while the encoder weighs its choices.
struct StreamSink {
  BitStream* stream;
  void put(uint32_t value, int count) { writeBits(value, count, stream); }
};
struct CountingSink {
  int64_t bits = 0;
  void put(uint32_t, int count) { bits += count; }
};

template <class Sink>
void codeRun(const int16_t* values, int32_t n, int q, Sink& sink) {
  std::vector<uint16_t> magnitude(static_cast<size_t>(n));
  uint16_t largest = 0;
  for (int32_t i = 0; i < n; ++i) {
    magnitude[static_cast<size_t>(i)] = static_cast<uint16_t>(std::abs(static_cast<int32_t>(values[i])));
    largest = std::max(largest, magnitude[static_cast<size_t>(i)]);
  }
  const int planes = significantBits(largest);
  sink.put(static_cast<uint32_t>(planes), 4);
  if (planes == 0) return;
  sink.put(static_cast<uint32_t>(q), 4);
  std::vector<int32_t> waiting(static_cast<size_t>(n));  // indices not yet significant, in order
  for (int32_t i = 0; i < n; ++i) waiting[static_cast<size_t>(i)] = i;
  std::vector<int32_t> significant;  // in index order, as the refinement pass visits them
  std::vector<int32_t> still, merged;
  int k = 0;
  for (int plane = 0; plane < planes; ++plane) {
    const int shift = planes - 1 - plane;
    const int64_t remaining = static_cast<int64_t>(waiting.size());
    auto isOne = [&](int64_t at) { return (magnitude[static_cast<size_t>(waiting[static_cast<size_t>(at)])] >> shift) != 0; };
    still.clear();
    std::vector<int32_t> fresh;
    int64_t covered = 0;
    while (covered < remaining) {
      const int64_t span = int64_t{1} << k;
      int64_t next = covered;
      while (next < remaining && next < covered + span && !isOne(next)) ++next;
      if (next >= remaining || next >= covered + span) {
        // A run of 2^k zeros (or all that is left).
        still.insert(still.end(), waiting.begin() + covered, waiting.begin() + std::min(remaining, covered + span));
        sink.put(0, 1);
        covered += span;
        if (covered > remaining) {
          if (k > 0) --k;
        } else if (k < 30) {
          ++k;
        }
      } else {
        still.insert(still.end(), waiting.begin() + covered, waiting.begin() + next);
        sink.put(1, 1);
        if (k > 0) sink.put(static_cast<uint32_t>(next - covered), k);
        const int32_t index = waiting[static_cast<size_t>(next)];
        sink.put(values[index] < 0 ? 1 : 0, 1);
        fresh.push_back(index);
        covered = next + 1;
        if (k > 0) --k;
      }
    }
    // Refinement: the coefficients significant before this plane, in index order.
    for (int32_t index : significant) sink.put((magnitude[static_cast<size_t>(index)] >> shift) & 1, 1);
    merged.resize(significant.size() + fresh.size());
    std::merge(significant.begin(), significant.end(), fresh.begin(), fresh.end(), merged.begin());
    significant.swap(merged);
    waiting.swap(still);
  }
}
}  // namespace

void encodeCoefficientRun(const int16_t* values, int32_t n, int q, BitStream* stream) {
  StreamSink sink{stream};
  codeRun(values, n, q, sink);
}

namespace {
struct Layout {
  int32_t width, height, channels, pw, ph;
  int logW, logH, levels;
  ScanTables tables;
};

// The padded sides are the powers of two that hold the picture; thinLog > 0 raises the shorter
// one to at least 2^thinLog (never past the longer), so that a thin picture gets transform levels.
// False for pictures beyond the decoder's limit.
bool layoutOf(int32_t width, int32_t height, int32_t channels, Layout& l, int thinLog = 0) {
  if (width < 1 || height < 1 || width > (1 << 15) || height > (1 << 15)) return false;
  l.width = width;
  l.height = height;
  l.channels = channels;
  l.logW = l.logH = 0;
  while ((1 << l.logW) < width) ++l.logW;
  while ((1 << l.logH) < height) ++l.logH;
  int& shorter = l.logW < l.logH ? l.logW : l.logH;
  shorter = std::max(shorter, std::min(thinLog, std::max(l.logW, l.logH)));
  l.pw = 1 << l.logW;
  l.ph = 1 << l.logH;
  if (!wkoPlanesFit(l.pw, l.ph, channels)) return false;
  l.levels = transformLevels(l.pw, l.ph);
  l.tables = buildScanTables(l.pw, width, l.ph, height, l.levels);
  return true;
}

int64_t headerBits(const Layout& l) { return 2 + ((l.width != l.pw || l.height != l.ph) ? 32 : 0) + 21; }

void writeHeader(const Layout& l, bool colour, int groups, int firstCode, BitStream* stream) {
  const bool sized = l.width != l.pw || l.height != l.ph;
  writeBits(colour, 1, stream);
  writeBits(sized, 1, stream);
  if (sized) {
    writeBits(static_cast<uint32_t>(l.width - 1), 16, stream);
    writeBits(static_cast<uint32_t>(l.height - 1), 16, stream);
  }
  writeBits(static_cast<uint32_t>(l.channels - 1), 4, stream);
  writeBits(static_cast<uint32_t>(l.logW), 4, stream);
  writeBits(static_cast<uint32_t>(l.logH), 4, stream);
  writeBits(static_cast<uint32_t>(groups - 1), 4, stream);
  writeBits(static_cast<uint32_t>(firstCode), 5, stream);
}

// The coded coefficients of every channel: padded, transformed, gathered. Beyond the picture
// the padding fades from the edge to one flat value (the mean of the last column and row) over
// `fade` samples. Repeating the edge instead would copy the edge's detail into every padded
// column and row at every level, which costs about as much as the picture when a side is just
// above a power of two; a flat pad costs one edge. Fading over a few samples softens that edge
// for streams cut to a size.
std::vector<std::vector<int16_t>> codedChannels(const Layout& l, const std::vector<std::vector<int16_t>>& samples,
                                                int fade) {
  std::vector<std::vector<int16_t>> coded;
  std::vector<int16_t> plane(static_cast<size_t>(l.pw) * l.ph);
  auto ramp = [fade](int32_t beyond) { return std::max(0.0, 1.0 - std::max(0, beyond) / static_cast<double>(fade)); };
  for (const std::vector<int16_t>& channel : samples) {
    auto at = [&](int32_t x, int32_t y) { return channel[static_cast<size_t>(y) * l.width + x]; };
    int64_t sum = 0;
    for (int32_t y = 0; y < l.height; ++y) sum += at(l.width - 1, y);
    for (int32_t x = 0; x < l.width; ++x) sum += at(x, l.height - 1);
    const double flat = static_cast<double>(sum) / (l.width + l.height);
    for (int32_t y = 0; y < l.ph; ++y)
      for (int32_t x = 0; x < l.pw; ++x) {
        const int16_t edge = at(std::min(x, l.width - 1), std::min(y, l.height - 1));
        const double t = ramp(x - l.width + 1) * ramp(y - l.height + 1);  // 1 inside the picture
        plane[static_cast<size_t>(y) * l.pw + x] = static_cast<int16_t>(std::lround(flat + (edge - flat) * t));
      }
    forwardTransform(plane.data(), l.pw, l.ph, l.levels);
    coded.emplace_back(plane.size());
    gatherCoefficients(coded.back().data(), plane.data(), l.tables, l.pw, l.ph, l.levels);
  }
  return coded;
}

std::vector<std::vector<int16_t>> channelsOf(const uint8_t* pixels, const Layout& l, bool ycbcr) {
  const size_t n = static_cast<size_t>(l.width) * l.height;
  std::vector<std::vector<int16_t>> out(static_cast<size_t>(l.channels), std::vector<int16_t>(n));
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = pixels + i * static_cast<size_t>(l.channels);
    if (ycbcr) {
      const double r = p[0], g = p[1], b = p[2];
      auto clamp8 = [](double v) { return static_cast<int16_t>(std::clamp(std::lround(v), 0L, 255L)); };
      out[0][i] = clamp8(0.299 * r + 0.587 * g + 0.114 * b);
      out[1][i] = clamp8(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
      out[2][i] = clamp8(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
      for (int c = 3; c < l.channels; ++c) out[static_cast<size_t>(c)][i] = p[c];
    } else {
      for (int c = 0; c < l.channels; ++c) out[static_cast<size_t>(c)][i] = p[c];
    }
  }
  return out;
}

std::vector<uint8_t> finish(BitStream* stream, uint32_t maxBytes) {
  const int32_t bits = stream->bitBudget;
  uint8_t* buffer = nullptr;
  closeBitStream(stream, &buffer);
  std::vector<uint8_t> out(buffer, buffer + std::min<uint32_t>(static_cast<uint32_t>(bits + 7) / 8, maxBytes));
  std::free(buffer);
  return out;
}

// Streams cut to a size fade their padding over this many samples (lossless ones pad flat).
constexpr int kBudgetFade = 8;

// The values the decoder gets back as sign x (|v| >> q), before dequantising. Magnitudes below
// deadzone x 2^q become 0: a lone small coefficient costs more bits than its error is worth.
void quantise(const int16_t* values, int64_t n, int q, double deadzone, std::vector<int16_t>& out) {
  out.resize(static_cast<size_t>(n));
  const int32_t threshold = static_cast<int32_t>(std::ceil(deadzone * (1 << q)));
  for (int64_t i = 0; i < n; ++i) {
    const int32_t a = std::abs(static_cast<int32_t>(values[i]));
    const int32_t m = a < threshold ? 0 : a >> q;
    out[static_cast<size_t>(i)] = static_cast<int16_t>(values[i] < 0 ? -m : m);
  }
}

// Energy in the picture of a unit coefficient, from the lifting steps in real arithmetic: in one
// dimension a low-pass value after `levels` levels (detail < 0) or a detail of level `detail`
// (0 the finest). Separable, so a 2-D band's gain is the product of its two directions.
double synthesisGain(int levels, int detail) {
  const int32_t n = 1 << (levels + 4);
  std::vector<double> v(static_cast<size_t>(n), 0.0), out(v.size());
  const int top = detail < 0 ? levels - 1 : detail;
  const int32_t region = n >> (top + 1);  // low half of the top level's region
  v[static_cast<size_t>(detail < 0 ? region / 2 : region + region / 2)] = 1;
  for (int level = top; level >= 0; --level) {
    const int32_t len = n >> level, half = len / 2;
    const double* s = v.data();
    const double* d = v.data() + half;
    out[0] = s[0] - d[0] / 2;
    for (int32_t j = 1; j < half; ++j) {
      out[static_cast<size_t>(2 * j)] = s[j] - (d[j - 1] + d[j]) / 4;
      out[static_cast<size_t>(2 * j - 1)] = (out[static_cast<size_t>(2 * j - 2)] + out[static_cast<size_t>(2 * j)]) / 2 + d[j - 1];
    }
    out[static_cast<size_t>(len - 1)] = d[half - 1] + out[static_cast<size_t>(len - 2)];
    std::copy(out.begin(), out.begin() + len, v.begin());
  }
  double energy = 0;
  for (double x : v) energy += x * x;
  return energy;
}

// One way to code a run: its size in bits and the weighted squared error it leaves.
struct Choice {
  int q;
  double deadzone;
  int64_t bits;
  double error;
};

// A run of one channel in one group. Its first `split` coefficients have the error weight
// `weight`, the rest `weightLast` (a detail group ends with its diagonal band).
struct Run {
  int channel;
  int64_t start, length, split;
  double weight, weightLast;
  std::vector<Choice> choices;
};

// The weighted squared error of a run's values as the decoder gives them back.
double runError(const int16_t* values, const int16_t* decoded, const Run& run) {
  auto squares = [&](int64_t from, int64_t to) {
    int64_t sum = 0;
    for (int64_t i = from; i < to; ++i) {
      const int64_t d = values[i] - decoded[i];
      sum += d * d;
    }
    return static_cast<double>(sum);
  };
  return squares(0, run.split) * run.weight + squares(run.split, run.length) * run.weightLast;
}

Choice tryRun(const int16_t* values, const Run& run, int q, double deadzone, std::vector<int16_t>& scratch) {
  quantise(values, run.length, q, deadzone, scratch);
  CountingSink counter;
  codeRun(scratch.data(), static_cast<int32_t>(run.length), q, counter);
  // Dequantise as the decoder does.
  for (int16_t& v : scratch)
    if (q && v) v = static_cast<int16_t>(v > 0 ? (v << q) + (1 << (q - 1)) : -((-v << q) + (1 << (q - 1))));
  return {q, deadzone, counter.bits, runError(values, scratch.data(), run)};
}

// The stream's last run may be cut short: the decoder reads the bits it lacks as 0. Returns the
// choice that, cut to `bits`, leaves the least error.
size_t bestCutChoice(const int16_t* values, const Run& run, size_t current, int64_t bits) {
  size_t best = current;
  double bestError = run.choices[current].error;
  std::vector<int16_t> quantised, decoded(static_cast<size_t>(run.length));
  for (size_t i = 0; i < run.choices.size(); ++i) {
    const Choice& c = run.choices[i];
    if (c.bits <= bits || c.error >= bestError || bits < 8) continue;
    quantise(values, run.length, c.q, c.deadzone, quantised);
    BitStream* out = openBitStream(nullptr, "wm", 0);
    encodeCoefficientRun(quantised.data(), static_cast<int32_t>(run.length), c.q, out);
    uint8_t* bytes = nullptr;
    closeBitStream(out, &bytes);
    BitStream* in = openBitStream(bytes, "rm", static_cast<int32_t>(bits));
    decodeCoefficientRun(decoded.data(), static_cast<int32_t>(run.length), 0, in);
    closeBitStream(in, nullptr);
    std::free(bytes);
    const double error = runError(values, decoded.data(), run);
    if (error < bestError) bestError = error, best = i;
  }
  return best;
}

// For each run the choice that minimises error + lambda x bits; returns their bits.
int64_t pick(const std::vector<Run>& runs, double lambda, std::vector<size_t>& chosen) {
  int64_t total = 0;
  chosen.assign(runs.size(), 0);
  for (size_t r = 0; r < runs.size(); ++r) {
    double best = 1e300;
    for (size_t i = 0; i < runs[r].choices.size(); ++i) {
      const Choice& c = runs[r].choices[i];
      if (c.error + lambda * static_cast<double>(c.bits) < best) best = c.error + lambda * static_cast<double>(c.bits), chosen[r] = i;
    }
    total += runs[r].choices[chosen[r]].bits;
  }
  return total;
}

// The best choices within `budget` bits: a Lagrangian search, then a greedy fill of what its
// steps leave, one run at a time by the most error saved per bit.
std::vector<size_t> allocate(const std::vector<Run>& runs, int64_t budget) {
  std::vector<size_t> chosen;
  double low = 0, high = 1;
  while (pick(runs, high, chosen) > budget && high < 1e30) high *= 4;
  if (pick(runs, 0, chosen) > budget) {
    for (int i = 0; i < 60; ++i) {
      const double mid = (low + high) / 2;
      (pick(runs, mid, chosen) > budget ? low : high) = mid;
    }
    pick(runs, high, chosen);
  }
  int64_t total = 0;
  for (size_t r = 0; r < runs.size(); ++r) total += runs[r].choices[chosen[r]].bits;
  while (true) {
    size_t bestRun = runs.size(), bestChoice = 0;
    double bestSlope = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
      const Choice& now = runs[r].choices[chosen[r]];
      for (size_t i = 0; i < runs[r].choices.size(); ++i) {
        const Choice& c = runs[r].choices[i];
        if (c.error >= now.error || total - now.bits + c.bits > budget) continue;
        const double slope = (now.error - c.error) / static_cast<double>(std::max<int64_t>(c.bits - now.bits, 1));
        if (slope > bestSlope) bestSlope = slope, bestRun = r, bestChoice = i;
      }
    }
    if (bestRun == runs.size()) break;
    total += runs[bestRun].choices[bestChoice].bits - runs[bestRun].choices[chosen[bestRun]].bits;
    chosen[bestRun] = bestChoice;
  }
  return chosen;
}

// The squared error over all visible samples of a stream against the picture it was made from,
// as the decoder gives the picture back.
double streamError(const std::vector<uint8_t>& stream, const uint8_t* pixels, const Layout& l) {
  const std::unique_ptr<Image> image(decodeWkoQuietly(stream.data(), static_cast<uint32_t>(stream.size())));
  if (!image || image->width != l.width || image->height != l.height || image->bitsPerPixel != 8 * l.channels)
    return INFINITY;
  const size_t row = static_cast<size_t>(l.width) * l.channels;
  double error = 0;
  for (int32_t y = 0; y < l.height; ++y) {
    const uint8_t* decoded = image->pixels.get() + static_cast<size_t>(l.height - 1 - y) * row;  // bottom row first
    const uint8_t* original = pixels + static_cast<size_t>(y) * row;
    for (size_t i = 0; i < row; ++i) {
      const double d = decoded[i] - original[i];
      error += d * d;
    }
  }
  return error;
}

std::vector<uint8_t> encodeBudget(const uint8_t* pixels, const Layout& l, uint32_t maxBytes, bool ycbcr) {
  const std::vector<std::vector<int16_t>> coded = codedChannels(l, channelsOf(pixels, l, ycbcr), kBudgetFade);
  const int64_t samples = int64_t{l.pw} * l.ph;
  // One group per resolution: the low-pass block first, then each level's details, coarsest first.
  const int groups = l.tables.empty() ? 1 : std::min(l.levels + 1, 16);
  const int64_t first = samples >> (2 * (groups - 1));
  int firstCode = 1;
  while ((int64_t{1} << (firstCode - 1)) < first) ++firstCode;

  // Errors count as they show in R, G, B: the decoder's conversion spreads a Cb error over G and
  // B (0.344^2 + 1.772^2 against Y's 3 x 1) and a Cr error over R and G.
  const double channelWeight[3] = {1.0, ycbcr ? (0.34414 * 0.34414 + 1.772 * 1.772) / 3 : 1.0,
                                   ycbcr ? (1.402 * 1.402 + 0.71414 * 0.71414) / 3 : 1.0};
  std::vector<Run> runs;
  std::vector<int16_t> scratch;
  for (int g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    double weight = 1, weightLast = 1;
    int64_t split = end - start;
    if (groups > 1 && g == 0) {
      weight = weightLast = std::pow(synthesisGain(l.levels, -1), 2);
    } else if (groups > 1) {
      // Level n's horizontal and vertical details come interleaved, then its diagonal ones.
      const int n = l.levels - g;
      const double detail = synthesisGain(n + 1, n);
      weight = detail * synthesisGain(n + 1, -1);
      weightLast = detail * detail;
      split = (end - start) / 3 * 2;
    }
    for (int c = 0; c < l.channels; ++c) {
      const double cw = c < 3 ? channelWeight[c] : 1.0;
      runs.push_back({c, start, end - start, split, weight * cw, weightLast * cw, {}});
    }
  }
  auto values = [&](const Run& run) { return coded[static_cast<size_t>(run.channel)].data() + run.start; };
  const int64_t budget = int64_t{maxBytes} * 8 - headerBits(l);
  // Every shift first; then, around the shift each run gets, dead zones for the finer steps.
  for (Run& run : runs)
    for (int q = 0; q < 16; ++q) {
      run.choices.push_back(tryRun(values(run), run, q, 1.0, scratch));
      if (run.choices.back().bits == 4) break;  // no planes left: larger shifts are the same
    }
  std::vector<size_t> chosen = allocate(runs, budget);
  for (size_t r = 0; r < runs.size(); ++r) {
    const int q0 = runs[r].choices[chosen[r]].q;
    for (int q = std::max(0, q0 - 1); q <= std::min(15, q0 + 1); ++q)
      for (double deadzone : {1.25, 1.5, 1.75})
        runs[r].choices.push_back(tryRun(values(runs[r]), runs[r], q, deadzone, scratch));
  }
  chosen = allocate(runs, budget);
  // What the whole runs leave goes to the last one, cut where the size ends.
  int64_t used = 0;
  for (size_t r = 0; r < runs.size(); ++r) used += runs[r].choices[chosen[r]].bits;
  const Choice& last = runs.back().choices[chosen.back()];
  chosen.back() = bestCutChoice(values(runs.back()), runs.back(), chosen.back(), budget - used + last.bits);

  BitStream* stream = openBitStream(nullptr, "wm", 0);
  if (!stream) return {};
  writeHeader(l, ycbcr, groups, firstCode, stream);
  for (size_t r = 0; r < runs.size(); ++r) {
    const Choice& c = runs[r].choices[chosen[r]];
    quantise(values(runs[r]), runs[r].length, c.q, c.deadzone, scratch);
    encodeCoefficientRun(scratch.data(), static_cast<int32_t>(runs[r].length), c.q, stream);
  }
  // Whatever still exceeds the size is cut: the decoder reads the missing bits as 0.
  return finish(stream, maxBytes);
}
}  // namespace

// Planes whose shorter padded side is below this power of two are also tried with that side
// padded up to it: without it a 4096 x 2 picture would have no transform level at all.
constexpr int kThinLog = 5;

bool wkoPictureFits(int32_t width, int32_t height, int32_t channels) {
  Layout l;
  return layoutOf(width, height, channels, l);
}

std::vector<uint8_t> encodeWkoBudget(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                                     uint32_t maxBytes, bool ycbcr) {
  Layout natural, thick;
  if (!layoutOf(width, height, channels, natural)) return {};
  const bool thickFits = layoutOf(width, height, channels, thick, kThinLog);
  std::vector<uint8_t> best;
  double bestError = INFINITY;
  for (const Layout* l : {&natural, &thick}) {
    if (l == &thick && (!thickFits || (thick.pw == natural.pw && thick.ph == natural.ph))) break;
    // Below its header no stream decodes.
    if (int64_t{maxBytes} * 8 < headerBits(*l)) continue;
    // Y, Cb, Cr usually wins; at high rates its rounding can cost more than it saves.
    for (bool colour : {false, true}) {
      if (colour && (!ycbcr || channels < 3)) break;
      std::vector<uint8_t> stream = encodeBudget(pixels, *l, maxBytes, colour);
      const double error = streamError(stream, pixels, *l);
      if (error < bestError) bestError = error, best = std::move(stream);
    }
  }
  return best;
}

std::vector<uint8_t> encodeWkoLossless(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels) {
  Layout natural, thick;
  if (!layoutOf(width, height, channels, natural)) return {};
  const bool thickFits = layoutOf(width, height, channels, thick, kThinLog);
  std::vector<uint8_t> best;
  for (const Layout* l : {&natural, &thick}) {
    if (l == &thick && (!thickFits || (thick.pw == natural.pw && thick.ph == natural.ph))) break;
    const std::vector<std::vector<int16_t>> coded = codedChannels(*l, channelsOf(pixels, *l, false), 1);
    BitStream* stream = openBitStream(nullptr, "wm", 0);
    if (!stream) return {};
    writeHeader(*l, false, 1, l->logW + l->logH + 1, stream);  // one group of the whole plane
    for (const std::vector<int16_t>& channel : coded)
      encodeCoefficientRun(channel.data(), static_cast<int32_t>(channel.size()), 0, stream);
    std::vector<uint8_t> bytes = finish(stream, UINT32_MAX);
    if (best.empty() || bytes.size() < best.size()) best = std::move(bytes);
  }
  return best;
}
