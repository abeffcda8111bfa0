#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "common/SplitMix64.h"

// What the musical module generators share: draws from a seed, and one cycle of a waveform.
namespace musical {

class Random {
 public:
  explicit Random(uint64_t seed) : bits_(seed) {}
  // Uniform in low..high, both included.
  int between(int low, int high) { return low + static_cast<int>(bits_.next() % static_cast<uint64_t>(high - low + 1)); }
  bool chance(int percent) { return between(1, 100) <= percent; }
  template <class T>
  const T& pick(const std::vector<T>& from) {
    return from[static_cast<size_t>(between(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  SplitMix64 bits_;
};

// One cycle of a waveform, `period` frames, at the given peak: 0 sine, 1 triangle, 2 saw,
// 3 square, 4 a sine with its third harmonic.
inline std::vector<int16_t> cycle(int shape, int period, int peak) {
  std::vector<int16_t> v(static_cast<size_t>(period));
  for (int i = 0; i < period; ++i) {
    const double phase = static_cast<double>(i) / period;
    double x;
    switch (shape) {
      case 0: x = std::sin(2 * std::numbers::pi * phase); break;
      case 1: x = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase; break;
      case 2: x = 2 * phase - 1; break;
      case 3: x = phase < 0.5 ? 1 : -1; break;
      default: x = 0.7 * std::sin(2 * std::numbers::pi * phase) + 0.3 * std::sin(6 * std::numbers::pi * phase); break;
    }
    v[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(x * peak));
  }
  return v;
}

// A drum's frames: a burst of noise, or a falling tone, that dies away.
inline std::vector<int16_t> drum(Random& r, int peak) {
  std::vector<int16_t> data;
  const int length = r.between(1000, 6000);
  uint64_t noise = static_cast<uint64_t>(r.between(1, 1 << 30));
  const bool tone = r.chance(40);
  double phase = 0;
  for (int i = 0; i < length; ++i) {
    const double fade = 1.0 - static_cast<double>(i) / length;
    double x;
    if (tone) {
      phase += 0.12 * fade + 0.01;
      x = std::sin(phase);
    } else {
      noise = noise * 6364136223846793005ull + 1442695040888963407ull;
      x = static_cast<double>(static_cast<int32_t>(noise >> 33) % 2001 - 1000) / 1000;
    }
    data.push_back(static_cast<int16_t>(std::lround(x * peak * fade * fade)));
  }
  return data;
}

// Tempos whose tick is a whole number of frames at the rate (all when the rate is 0), 2.5 / BPM
// seconds a tick.
inline std::vector<int> tempos(int32_t rate) {
  std::vector<int> out;
  for (int bpm = 32; bpm <= 255; ++bpm)
    if (rate == 0 || (rate * 5) % (2 * bpm) == 0) out.push_back(bpm);
  return out;
}

inline uint8_t nibbles(int x, int y) { return static_cast<uint8_t>(x << 4 | y); }

}  // namespace musical
