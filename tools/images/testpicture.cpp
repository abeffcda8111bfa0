// testpicture: draws natural-looking test pictures for the image codec, the same on every
// machine (integer hashing, no library randomness): a landscape, a bed of pebbles, a heap of
// leaves.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Programs/KeepFiles.h"
#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "Programs/PictureFiles.h"

namespace {
struct Rgb {
  double r, g, b;
};
Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb scale(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }

uint32_t hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  return h ^ (h >> 15);
}
double unit(int32_t x, int32_t y, uint32_t seed) { return hash(x, y, seed) / 4294967296.0; }

// Value noise with a smooth blend, in 0 .. 1.
double noise(double x, double y, uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
  double u = x - fx, v = y - fy;
  u = u * u * (3 - 2 * u);
  v = v * v * (3 - 2 * v);
  const double a = unit(ix, iy, seed), b = unit(ix + 1, iy, seed);
  const double c = unit(ix, iy + 1, seed), d = unit(ix + 1, iy + 1, seed);
  return a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v;
}

double fbm(double x, double y, int octaves, uint32_t seed) {
  double sum = 0, amplitude = 0.5, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * noise(x, y, seed + static_cast<uint32_t>(o));
    total += amplitude;
    x = x * 2.03 + 17.1;
    y = y * 1.97 - 9.3;
    amplitude *= 0.5;
  }
  return sum / total;
}

using Picture = std::vector<Rgb>;

// Mountains over a lake under a cloudy sky, drawn column by column front to back.
Picture landscape(int w, int h) {
  Picture out(static_cast<size_t>(w) * h);
  const double horizon = h * 0.42;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double t = y / horizon;
      Rgb sky = mix({0.25, 0.42, 0.78}, {0.78, 0.84, 0.92}, std::min(1.0, t));
      const double cloud = fbm(x / 90.0, y / 35.0, 6, 11);
      const double cover = std::clamp((cloud - 0.48) * 3.5, 0.0, 1.0);
      sky = mix(sky, scale({0.97, 0.96, 0.94}, 0.8 + 0.25 * fbm(x / 20.0, y / 9.0, 3, 12)), cover);
      out[static_cast<size_t>(y) * w + x] = sky;
    }
  const double sea = 0.30;
  auto height = [](double px, double pz) {
    const double ridge = 1 - std::fabs(2 * fbm(px * 0.004, pz * 0.004, 7, 3) - 1);
    return 0.15 + 0.85 * ridge * ridge * fbm(px * 0.002 + 5, pz * 0.002, 4, 4);
  };
  const double camHeight = 0.62, lift = 250.0;
  for (int x = 0; x < w; ++x) {
    const double dx = (x - w / 2.0) / w;
    int lowest = h;  // the first row not yet drawn, counted from the bottom edge up
    for (double z = 8; z < 1400 && lowest > 0; z *= 1.004) {
      const double px = dx * z * 1.1 + 300, pz = z;
      const double ground = height(px, pz);
      const double surface = std::max(ground, sea);
      const int top = static_cast<int>(horizon + (camHeight - surface) * lift * 100 / z);
      if (top >= lowest) continue;
      const double fog = std::min(1.0, z / 1400.0);
      Rgb colour;
      if (ground < sea) {
        const double ripple = fbm(px * 0.3, pz * 0.05, 3, 7);
        colour = mix({0.08, 0.18, 0.26}, {0.55, 0.65, 0.78}, 0.35 + 0.5 * fog + 0.15 * ripple);
      } else {
        const double slope = (height(px + 1.5, pz) - ground) * 180;
        const double light = std::clamp(0.75 + slope * 0.9 + 0.2 * (fbm(px * 0.08, pz * 0.08, 3, 9) - 0.5), 0.25, 1.3);
        const double altitude = (ground - sea) / (1 - sea);
        Rgb base = altitude < 0.03 ? Rgb{0.62, 0.56, 0.40}
                   : altitude < 0.35 ? mix({0.20, 0.36, 0.12}, {0.32, 0.40, 0.18}, altitude / 0.35)
                                     : mix({0.42, 0.38, 0.33}, {0.50, 0.47, 0.44}, altitude);
        if (altitude > 0.52 + 0.1 * fbm(px * 0.05, pz * 0.05, 2, 10)) base = {0.93, 0.94, 0.97};
        colour = scale(base, light * (0.8 + 0.4 * fbm(px * 1.7, pz * 1.7, 5, 13)));
      }
      colour = mix(colour, {0.70, 0.76, 0.86}, fog * fog);
      for (int row = std::max(top, 0); row < lowest; ++row) out[static_cast<size_t>(row) * w + x] = colour;
      lowest = std::max(top, 0);
    }
  }
  return out;
}

// Rounded stones of many colours in sand, lit from the upper left.
Picture pebbles(int w, int h) {
  Picture out(static_cast<size_t>(w) * h);
  const double cell = 38;
  struct Near {
    double gap;
    int32_t cx, cy;
  };
  auto nearest = [&](double x, double y) {
    const int32_t gx = static_cast<int32_t>(std::floor(x / cell)), gy = static_cast<int32_t>(std::floor(y / cell));
    double d1 = 1e9, d2 = 1e9;
    int32_t bx = 0, by = 0;
    for (int32_t j = gy - 2; j <= gy + 2; ++j)
      for (int32_t i = gx - 2; i <= gx + 2; ++i) {
        const double fx = (i + 0.15 + 0.7 * unit(i, j, 21)) * cell, fy = (j + 0.15 + 0.7 * unit(i, j, 22)) * cell;
        const double stretch = 0.7 + 0.6 * unit(i, j, 23);
        const double d = std::hypot((x - fx) * stretch, (y - fy) / stretch);
        if (d < d1) d2 = d1, d1 = d, bx = i, by = j;
        else if (d < d2) d2 = d;
      }
    return Near{(d2 - d1) * 0.5, bx, by};
  };
  auto bump = [&](double x, double y) {
    const Near n = nearest(x, y);
    const double edge = std::clamp((n.gap - 2.0) / 9.0, 0.0, 1.0);
    return std::sqrt(edge) * 9.0 + 0.6 * fbm(x / 3.0, y / 3.0, 2, 31);
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Near n = nearest(x, y);
      const double b = bump(x, y);
      const double shade = std::clamp(0.8 + 0.35 * ((b - bump(x + 1, y)) + (b - bump(x, y + 1))), 0.2, 1.4);
      Rgb colour;
      if (n.gap < 2.5) {
        const double grain = unit(x, y, 40);
        colour = mix({0.40, 0.34, 0.26}, {0.72, 0.64, 0.50}, 0.5 * fbm(x / 6.0, y / 6.0, 3, 41) + 0.5 * grain);
        colour = scale(colour, 0.55 + 0.45 * std::clamp(n.gap / 2.5, 0.0, 1.0));
      } else {
        static const Rgb kStones[] = {{0.55, 0.54, 0.52}, {0.62, 0.50, 0.38}, {0.35, 0.34, 0.36},
                                      {0.74, 0.70, 0.62}, {0.48, 0.30, 0.24}, {0.30, 0.38, 0.36}};
        const Rgb base = kStones[hash(n.cx, n.cy, 50) % 6];
        const double vein = std::pow(std::fabs(std::sin((x * 0.8 + y * 0.3) / 3.0 + 8 * fbm(x / 25.0, y / 25.0, 4, 51 + n.cx))), 14);
        colour = mix(scale(base, 0.85 + 0.3 * fbm(x / 4.0, y / 4.0, 4, 52 + n.cy)), {0.86, 0.85, 0.82},
                     (hash(n.cx, n.cy, 53) % 3 == 0) ? vein * 0.7 : 0.0);
        colour = scale(colour, 0.9 + 0.2 * unit(x, y, 54));
      }
      out[static_cast<size_t>(y) * w + x] = scale(colour, shade);
    }
  return out;
}

// Fallen leaves, the deeper layers darker, each with a midrib and side veins.
Picture leaves(int w, int h) {
  Picture out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out[static_cast<size_t>(y) * w + x] = scale({0.16, 0.11, 0.06}, 0.6 + 0.8 * fbm(x / 7.0, y / 7.0, 4, 60));
  static const Rgb kHues[] = {{0.80, 0.52, 0.10}, {0.68, 0.20, 0.08}, {0.85, 0.72, 0.20},
                              {0.45, 0.50, 0.14}, {0.55, 0.32, 0.14}, {0.90, 0.40, 0.12}};
  const int count = w * h / 700;
  for (int i = 0; i < count; ++i) {
    const double depth = static_cast<double>(i) / count;  // 0 at the bottom of the heap
    const double cx = unit(i, 0, 61) * (w + 60) - 30, cy = unit(i, 0, 62) * (h + 60) - 30;
    const double angle = unit(i, 0, 63) * 6.2832, length = 34 + 40 * unit(i, 0, 64);
    const double breadth = length * (0.22 + 0.18 * unit(i, 0, 65));
    const double ca = std::cos(angle), sa = std::sin(angle);
    const Rgb hue = scale(kHues[hash(i, 0, 66) % 6], 0.45 + 0.55 * depth);
    const double curl = (unit(i, 0, 67) - 0.5) * 0.012;
    const int reach = static_cast<int>(length) + 2;
    for (int y = std::max(0, static_cast<int>(cy) - reach); y < std::min(h, static_cast<int>(cy) + reach); ++y)
      for (int x = std::max(0, static_cast<int>(cx) - reach); x < std::min(w, static_cast<int>(cx) + reach); ++x) {
        const double rx = x - cx, ry = y - cy;
        const double u = (rx * ca + ry * sa) + length / 2, v0 = -rx * sa + ry * ca;
        if (u < 0 || u > length) continue;
        const double v = v0 - curl * (u - length / 2) * (u - length / 2);  // the midrib bends
        const double half = breadth * std::pow(std::sin(3.14159 * u / length), 0.75) * 0.5;
        const double inside = std::clamp(half - std::fabs(v) + 0.5, 0.0, 1.0);  // a soft one-pixel edge
        if (inside <= 0) continue;
        Rgb colour = scale(hue, 0.75 + 0.35 * (v / (half + 1)) + 0.2 * (fbm(x / 5.0, y / 5.0, 3, 68 + i % 7) - 0.5));
        const double rib = std::clamp(1.2 - std::fabs(v) * 1.5, 0.0, 1.0);
        const double side = std::pow(std::fabs(std::sin((u - std::fabs(v) * 1.2) * 0.45)), 30) * (std::fabs(v) > 1.5);
        colour = mix(colour, scale(hue, 1.35), std::max(rib, side * 0.5));
        Rgb& at = out[static_cast<size_t>(y) * w + x];
        at = mix(at, colour, inside);
      }
  }
  return out;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "testpicture: %s\n", message.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  int w = 512, h = 512;
  bool force = false;
  Options options("testpicture", {Option::size("--size", 0, 4096, w, h, "the picture's size (default 512x512)"),
                                  Option::flag("--force", 'f', force, "write over an existing file that is not a PNG")});
  const char synopsis[] = "usage: testpicture landscape|pebbles|leaves OUT.png [--size WxH] [--force]\n";
  if (const int code = options.answer(options.parse(argc, argv), synopsis, BRACKENFOLD_VERSION); code >= 0) return code;
  if (options.operands().size() != 2) {
    std::fputs(synopsis, stderr);
    return 2;
  }
  const std::string name = options.operands()[0];
  const std::string out = options.operands()[1];
  Picture picture;
  if (name == "landscape") picture = landscape(w, h);
  else if (name == "pebbles") picture = pebbles(w, h);
  else if (name == "leaves") picture = leaves(w, h);
  else return fail("unknown picture " + name + " (landscape, pebbles or leaves)");
  const std::string refusal = refusalToWrite(
      out, {}, "a PNG picture", [](const std::string& head) { return head.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }, force);
  if (!refusal.empty()) return fail(refusal);
  std::vector<uint8_t> bytes(picture.size() * 3);
  auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v * 255), 0L, 255L)); };
  for (size_t i = 0; i < picture.size(); ++i) {
    bytes[3 * i] = byte(picture[i].r);
    bytes[3 * i + 1] = byte(picture[i].g);
    bytes[3 * i + 2] = byte(picture[i].b);
  }
  if (!writePngFile(out.c_str(), w, h, 3, bytes.data(), w * 3)) return fail(cannotWrite(out));
  return 0;
}
