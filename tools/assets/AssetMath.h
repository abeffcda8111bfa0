#pragma once

// Arithmetic for the asset generators that gives the same bytes on every x86-64 machine: an own
// random generator and an own sine (the C library's sin may pick an FMA variant by CPU), and
// nothing but +, -, *, /, floor and sqrt on doubles, which are exactly rounded everywhere.
#include <cmath>
#include <cstdint>

#include "common/SplitMix64.h"

namespace asset {

constexpr double kPi = 3.14159265358979323846;

class Random {
 public:
  explicit Random(uint64_t seed) : bits_(seed) {}
  uint64_t next() { return bits_.next(); }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }  // [0, 1)
  double symmetric() { return 2 * unit() - 1; }                                      // [-1, 1)

 private:
  SplitMix64 bits_;
};

// sin(2 pi t), t in turns, by reduction to a quarter turn and its Taylor series (error < 1e-9).
inline double sinTurns(double t) {
  t -= std::floor(t);                  // 0 .. 1
  if (t > 0.5) return -sinTurns(t - 0.5);
  if (t > 0.25) t = 0.5 - t;           // 0 .. 0.25
  const double x = 2 * kPi * t, x2 = x * x;
  double term = x, sum = x;
  for (int k = 1; k <= 7; ++k) {
    term = -term * x2 / ((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}
inline double cosTurns(double t) { return sinTurns(t + 0.25); }

inline double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline double smooth(double t) { return t * t * (3 - 2 * t); }
inline double mix(double a, double b, double t) { return a + (b - a) * t; }
inline uint8_t toByte(double v) { return static_cast<uint8_t>(std::floor(clamp01(v) * 255 + 0.5)); }

inline uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  return h ^ (h >> 15);
}

// Value noise on a torus: u, v in turns, `cells` lattice cells per turn, so it repeats exactly
// every turn in both directions. Result 0 .. 1.
inline double torusNoise(double u, double v, int cells, uint32_t seed) {
  const double x = (u - std::floor(u)) * cells, y = (v - std::floor(v)) * cells;
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const double fx = smooth(x - ix), fy = smooth(y - iy);
  auto at = [&](int cx, int cy) {
    return hash(static_cast<uint32_t>(cx % cells), static_cast<uint32_t>(cy % cells), seed) / 4294967296.0;
  };
  const double a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
  return mix(mix(a, b, fx), mix(c, d, fx), fy);
}

// Octaves of torus noise, each with twice the cells of the one before; 0 .. 1.
inline double torusFbm(double u, double v, int cells, int octaves, uint32_t seed) {
  double sum = 0, amplitude = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * torusNoise(u, v, cells << o, seed + 977u * static_cast<uint32_t>(o));
    total += amplitude;
    amplitude *= 0.5;
  }
  return sum / total;
}

struct Rgb {
  double r, g, b;
};
inline Rgb mix(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }

// A colour ramp through evenly spaced stops, t in 0 .. 1.
template <int N>
Rgb ramp(const Rgb (&stops)[N], double t) {
  const double x = clamp01(t) * (N - 1);
  const int i = x >= N - 1 ? N - 2 : static_cast<int>(std::floor(x));
  return mix(stops[i], stops[i + 1], x - i);
}

}  // namespace asset
