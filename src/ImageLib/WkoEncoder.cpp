#include "ImageLib/WkoEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

void encodeCoefficientRun(const int16_t* values, int32_t n, int q, BitStream* stream) {
  std::vector<uint16_t> magnitude(static_cast<size_t>(n));
  uint16_t largest = 0;
  for (int32_t i = 0; i < n; ++i) {
    magnitude[static_cast<size_t>(i)] = static_cast<uint16_t>(std::abs(static_cast<int32_t>(values[i])));
    largest = std::max(largest, magnitude[static_cast<size_t>(i)]);
  }
  const int planes = significantBits(largest);
  writeBits(static_cast<uint32_t>(planes), 4, stream);
  if (planes == 0) return;
  writeBits(static_cast<uint32_t>(q), 4, stream);
  std::vector<uint8_t> significant(static_cast<size_t>(n), 0);
  std::vector<int32_t> waiting;  // indices not yet significant, in order
  waiting.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) waiting.push_back(i);
  int k = 0;
  for (int plane = 0; plane < planes; ++plane) {
    const int shift = planes - 1 - plane;
    const int64_t remaining = static_cast<int64_t>(waiting.size());
    auto isOne = [&](int64_t at) { return (magnitude[static_cast<size_t>(waiting[static_cast<size_t>(at)])] >> shift) != 0; };
    std::vector<int32_t> still;
    still.reserve(waiting.size());
    int64_t covered = 0;
    while (covered < remaining) {
      const int64_t span = int64_t{1} << k;
      int64_t next = covered;
      while (next < remaining && next < covered + span && !isOne(next)) ++next;
      if (next >= remaining || next >= covered + span) {
        // A run of 2^k zeros (or all that is left).
        for (int64_t i = covered; i < std::min(remaining, covered + span); ++i) still.push_back(waiting[static_cast<size_t>(i)]);
        writeBits(0, 1, stream);
        covered += span;
        if (covered > remaining) {
          if (k > 0) --k;
        } else if (k < 30) {
          ++k;
        }
      } else {
        const int64_t r = next - covered;
        for (int64_t i = covered; i < next; ++i) still.push_back(waiting[static_cast<size_t>(i)]);
        writeBits(1, 1, stream);
        if (k > 0) writeBits(static_cast<uint32_t>(r), k, stream);
        const int32_t index = waiting[static_cast<size_t>(next)];
        writeBits(values[index] < 0 ? 1 : 0, 1, stream);
        significant[static_cast<size_t>(index)] = 2;  // newly
        covered = next + 1;
        if (k > 0) --k;
      }
    }
    for (int32_t i = 0; i < n; ++i) {
      if (significant[static_cast<size_t>(i)] == 1)
        writeBits((magnitude[static_cast<size_t>(i)] >> shift) & 1, 1, stream);
      else if (significant[static_cast<size_t>(i)] == 2)
        significant[static_cast<size_t>(i)] = 1;
    }
    waiting.swap(still);
  }
}

namespace {
struct Layout {
  int32_t width, height, channels, pw, ph;
  int logW, logH, levels;
  ScanTables tables;
};

bool layoutOf(int32_t width, int32_t height, int32_t channels, Layout& l) {
  if (width < 1 || height < 1 || width > 4096 || height > 4096 || channels < 1 || channels > 16) return false;
  l.width = width;
  l.height = height;
  l.channels = channels;
  l.logW = l.logH = 0;
  while ((1 << l.logW) < width) ++l.logW;
  while ((1 << l.logH) < height) ++l.logH;
  l.pw = 1 << l.logW;
  l.ph = 1 << l.logH;
  l.levels = transformLevels(l.pw, l.ph);
  l.tables = buildScanTables(l.pw, width, l.ph, height, l.levels);
  return true;
}

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

// The coded coefficients of every channel: padded by repeating the edge, transformed, gathered.
std::vector<std::vector<int16_t>> codedChannels(const Layout& l, const std::vector<std::vector<int16_t>>& samples) {
  std::vector<std::vector<int16_t>> coded;
  std::vector<int16_t> plane(static_cast<size_t>(l.pw) * l.ph);
  for (const std::vector<int16_t>& channel : samples) {
    for (int32_t y = 0; y < l.ph; ++y)
      for (int32_t x = 0; x < l.pw; ++x)
        plane[static_cast<size_t>(y) * l.pw + x] =
            channel[static_cast<size_t>(std::min(y, l.height - 1)) * l.width + std::min(x, l.width - 1)];
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

// The values the decoder gets back as sign x (|v| >> q), before dequantising.
void quantise(const int16_t* values, int64_t n, int q, std::vector<int16_t>& out) {
  out.resize(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const int32_t m = std::abs(static_cast<int32_t>(values[i])) >> q;
    out[static_cast<size_t>(i)] = static_cast<int16_t>(values[i] < 0 ? -m : m);
  }
}

// Bits a run takes with shift q, and the weighted squared error its dequantised values leave.
struct RunChoice {
  int64_t bits;
  double error;
};

RunChoice tryRun(const int16_t* values, int32_t n, int q, double weight, std::vector<int16_t>& scratch) {
  quantise(values, n, q, scratch);
  double error = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = values[i];
    const int32_t m = std::abs(static_cast<int32_t>(scratch[static_cast<size_t>(i)]));
    int32_t back = 0;
    if (m) back = q ? (m << q) + (1 << (q - 1)) : m;
    if (v < 0) back = -back;
    error += static_cast<double>(v - back) * (v - back);
  }
  BitStream* counter = openBitStream(nullptr, "wm", 0);
  encodeCoefficientRun(scratch.data(), n, q, counter);
  const int64_t bits = counter->bitBudget;
  closeBitStream(counter, nullptr);
  return {bits, error * weight};
}
}  // namespace

std::vector<uint8_t> encodeWkoBudget(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                                     uint32_t maxBytes, bool ycbcr) {
  Layout l;
  if (!layoutOf(width, height, channels, l) || maxBytes == 0) return {};
  ycbcr = ycbcr && channels >= 3;
  const std::vector<std::vector<int16_t>> coded = codedChannels(l, channelsOf(pixels, l, ycbcr));
  const int64_t samples = int64_t{l.pw} * l.ph;
  // One group per resolution: the coarsest region first, then each finer level's details.
  const int groups = l.tables.empty() ? 1 : std::min(l.levels + 1, 16);
  const int64_t first = samples >> (2 * (groups - 1));
  int firstCode = 1;
  while ((int64_t{1} << (firstCode - 1)) < first) ++firstCode;

  struct Run {
    int channel;
    int64_t start, length;
    double weight;
    std::vector<RunChoice> choices;  // by q
  };
  std::vector<Run> runs;
  std::vector<int16_t> scratch;
  for (int g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    // A detail coefficient of a coarser level spreads over more pixels: weigh its error by the
    // synthesis gain of the 5/3 filters (1.5 per low-pass step and dimension, about 0.72 for a
    // high-pass one), the chroma channels by half.
    const int depth = groups - 1 - g;  // 0 for the finest details
    const double gain = g == 0 ? std::pow(2.25, l.levels) : std::pow(2.25, depth) * 1.08;
    for (int c = 0; c < channels; ++c) {
      Run run{c, start, end - start, gain * (ycbcr && (c == 1 || c == 2) ? 0.5 : 1.0), {}};
      for (int q = 0; q < 16; ++q)
        run.choices.push_back(tryRun(coded[static_cast<size_t>(c)].data() + start, static_cast<int32_t>(run.length), q,
                                     run.weight, scratch));
      runs.push_back(std::move(run));
    }
  }
  const int64_t headerBits = 2 + ((l.width != l.pw || l.height != l.ph) ? 32 : 0) + 21;
  const int64_t budget = int64_t{maxBytes} * 8 - headerBits;
  auto pick = [&](double lambda, std::vector<int>& qs) {
    int64_t total = 0;
    qs.clear();
    for (const Run& run : runs) {
      int best = 0;
      double bestCost = 1e300;
      for (int q = 0; q < 16; ++q) {
        const double cost = run.choices[static_cast<size_t>(q)].error + lambda * run.choices[static_cast<size_t>(q)].bits;
        if (cost < bestCost) bestCost = cost, best = q;
      }
      qs.push_back(best);
      total += run.choices[static_cast<size_t>(best)].bits;
    }
    return total;
  };
  std::vector<int> qs;
  double low = 0, high = 1;
  while (pick(high, qs) > budget && high < 1e30) high *= 4;
  if (pick(0, qs) > budget) {
    for (int i = 0; i < 60; ++i) {
      const double mid = (low + high) / 2;
      (pick(mid, qs) > budget ? low : high) = mid;
    }
    pick(high, qs);
  }
  // The search moves in steps of whole runs; spend what it leaves on the finer shifts that buy
  // the most error per bit.
  int64_t total = 0;
  for (size_t i = 0; i < runs.size(); ++i) total += runs[i].choices[static_cast<size_t>(qs[i])].bits;
  while (true) {
    int bestRun = -1;
    double bestSlope = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
      if (qs[i] == 0) continue;
      const RunChoice& now = runs[i].choices[static_cast<size_t>(qs[i])];
      const RunChoice& finer = runs[i].choices[static_cast<size_t>(qs[i] - 1)];
      const int64_t extra = finer.bits - now.bits;
      if (total + extra > budget) continue;
      const double slope = (now.error - finer.error) / static_cast<double>(std::max<int64_t>(extra, 1));
      if (slope > bestSlope) bestSlope = slope, bestRun = static_cast<int>(i);
    }
    if (bestRun < 0) break;
    total += runs[static_cast<size_t>(bestRun)].choices[static_cast<size_t>(qs[static_cast<size_t>(bestRun)] - 1)].bits -
             runs[static_cast<size_t>(bestRun)].choices[static_cast<size_t>(qs[static_cast<size_t>(bestRun)])].bits;
    --qs[static_cast<size_t>(bestRun)];
  }
  BitStream* stream = openBitStream(nullptr, "wm", 0);
  if (!stream) return {};
  writeHeader(l, ycbcr, groups, firstCode, stream);
  for (size_t i = 0; i < runs.size(); ++i) {
    const Run& run = runs[i];
    const int q = qs[i];
    quantise(coded[static_cast<size_t>(run.channel)].data() + run.start, run.length, q, scratch);
    encodeCoefficientRun(scratch.data(), static_cast<int32_t>(run.length), q, stream);
  }
  // Whatever still exceeds the size is cut: the decoder reads the missing bits as 0.
  return finish(stream, maxBytes);
}

std::vector<uint8_t> encodeWkoLossless(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels) {
  Layout l;
  if (!layoutOf(width, height, channels, l)) return {};
  const std::vector<std::vector<int16_t>> coded = codedChannels(l, channelsOf(pixels, l, false));
  BitStream* stream = openBitStream(nullptr, "wm", 0);
  if (!stream) return {};
  writeHeader(l, false, 1, l.logW + l.logH + 1, stream);  // one group of the whole plane
  for (const std::vector<int16_t>& channel : coded)
    encodeCoefficientRun(channel.data(), static_cast<int32_t>(channel.size()), 0, stream);
  return finish(stream, UINT32_MAX);
}
