#include "SoundLib/xmplay/engine/Interpolation.h"

#include <array>
#include <cmath>

namespace {
constexpr int kTaps = 8;
constexpr int kPhases = 512;
// Cutoffs (of the sample's own Nyquist frequency) the sinc has tables for; a voice takes the
// first at or below the output's Nyquist frequency over its step, so it never lets through more
// than the output can hold, in steps fine enough that a slide is not heard switching.
constexpr std::array<double, 8> kCutoffs = {0.97, 0.8, 0.66, 0.5, 0.4, 0.33, 0.25, 0.2};

struct SincTables {
  // [cutoff][phase][tap]: the weight of frame index - 3 + tap at a fraction phase / kPhases past
  // the frame index; one phase more than kPhases so that the last one can be blended towards.
  float weights[kCutoffs.size()][kPhases + 1][kTaps];
  SincTables() {
    const double pi = 3.14159265358979323846;
    for (size_t c = 0; c < kCutoffs.size(); ++c) {
      for (int p = 0; p <= kPhases; ++p) {
        const double fraction = static_cast<double>(p) / kPhases;
        double sum = 0;
        double w[kTaps];
        for (int t = 0; t < kTaps; ++t) {
          const double x = t - 3 - fraction;  // distance from the position, in frames
          const double arg = pi * kCutoffs[c] * x;
          const double sinc = x == 0 ? 1 : std::sin(arg) / arg;
          // Blackman over the eight frames' span, centred on the position.
          const double u = (x + 4) / 8;
          const double window = 0.42 - 0.5 * std::cos(2 * pi * u) + 0.08 * std::cos(4 * pi * u);
          w[t] = sinc * window;
          sum += w[t];
        }
        // Unit gain at 0 Hz: a constant sample stays the same constant at every phase.
        for (int t = 0; t < kTaps; ++t) weights[c][p][t] = static_cast<float>(w[t] / sum);
      }
    }
  }
};

const SincTables& sincTables() {
  static const SincTables tables;
  return tables;
}

inline float frameAt(const SampleView& s, int64_t index) {
  if (index < 0) return 0;
  if (s.loopEnd && index >= s.loopEnd) index = s.loopStart + (index - s.loopStart) % (s.loopEnd - s.loopStart);
  if (index >= s.frames) return 0;
  return s.data[static_cast<size_t>(index) * s.stride];
}

size_t cutoffFor(uint64_t step) {
  const double ratio = static_cast<double>(step) / 4294967296.0;  // sample frames an output frame
  const double wanted = ratio > 1 ? 1 / ratio : 1;
  for (size_t c = 0; c < kCutoffs.size(); ++c)
    if (kCutoffs[c] <= wanted) return c;
  return kCutoffs.size() - 1;
}
}  // namespace

float interpolateAt(Interpolation mode, const SampleView& s, uint64_t position, uint64_t step) {
  const auto index = static_cast<int64_t>(position >> 32);
  const auto fraction32 = static_cast<uint32_t>(position);
  const float t = static_cast<float>(fraction32 >> 8) * (1.0f / 16777216.0f);
  switch (mode) {
    case Interpolation::kNearest:
      return frameAt(s, index);
    case Interpolation::kLinear: {
      const float a = frameAt(s, index), b = frameAt(s, index + 1);
      return a + (b - a) * t;
    }
    case Interpolation::kCubic: {
      const float p0 = frameAt(s, index - 1), p1 = frameAt(s, index), p2 = frameAt(s, index + 1),
                  p3 = frameAt(s, index + 2);
      const float a = -0.5f * p0 + 1.5f * p1 - 1.5f * p2 + 0.5f * p3;
      const float b = p0 - 2.5f * p1 + 2 * p2 - 0.5f * p3;
      const float c = 0.5f * (p2 - p0);
      return ((a * t + b) * t + c) * t + p1;
    }
    case Interpolation::kSinc8: {
      const SincTables& tables = sincTables();
      const size_t cutoff = cutoffFor(step);
      const uint32_t phase = fraction32 >> (32 - 9);  // kPhases = 2^9
      const float blend = static_cast<float>(fraction32 & ((1u << 23) - 1)) * (1.0f / 8388608.0f);
      const float* w0 = tables.weights[cutoff][phase];
      const float* w1 = tables.weights[cutoff][phase + 1];
      float sum = 0;
      for (int tap = 0; tap < kTaps; ++tap) sum += frameAt(s, index - 3 + tap) * (w0[tap] + (w1[tap] - w0[tap]) * blend);
      return sum;
    }
  }
  return 0;
}
