// How much each interpolation aliases: a looped sine sample slid up from 523 Hz past the output's
// Nyquist frequency, rendered at 48000 Hz, and the energy outside the tone measured in dB below
// the tone, frame by frame of a Blackman-Harris spectrum while the tone is below 80 % of the
// Nyquist frequency. Whatever else is there is an alias (or an image) of the sample.
//
//   aliasing_sweep write sweep.xm     the module (bench/aliasing.sh gives it to openmpt123 too)
//   aliasing_sweep measure out.wav    one render's figures (16-bit or float WAV, left side)
//   aliasing_sweep ours               the library's four modes' figures
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brackenfold/tracker.h"
#include "modules/XMWriter.h"

namespace {
constexpr int kRate = 48000;
constexpr size_t kWindow = 2048, kHop = 1024;

std::vector<uint8_t> sweepModule() {
  XMModuleSpec m;
  m.channels = 1;
  m.speed = 6;
  m.bpm = 125;
  // The note in the first pattern, the slide going on through the next three: 1280 ticks of
  // sliding, 4 linear period units (1/192 octave) each, 6.7 octaves in all.
  m.orders = {0, 1, 1, 1};
  m.patterns.resize(2);
  for (int p = 0; p < 2; ++p) {
    m.patterns[p].rows = 64;
    for (int r = 0; r < 64; ++r) m.patterns[p].at(r, 0, 1) = {0, 0, 0, 0x1, 0x01};
  }
  m.patterns[0].at(0, 0, 1) = {49, 1, 0x50, 0x1, 0x01};
  XMInstrumentSpec ins;
  XMSampleSpec s;
  s.sixteenBit = true;
  constexpr double kPi = 3.14159265358979323846;
  for (int i = 0; i < 2048; ++i) s.data.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(2 * kPi * i / 16))));
  s.loopType = 1;
  s.loopStart = 0;
  s.loopLength = 2048;
  ins.samples.push_back(s);
  m.instruments.push_back(ins);
  return writeXM(m);
}

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2 * 3.14159265358979323846 / static_cast<double>(len);
    const std::complex<double> w(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk(1);
      for (size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        wk *= w;
      }
    }
  }
}

struct Figures {
  double all, high;  // dB of alias energy to tone energy: the whole sweep, the tone above 6 kHz
  int frames;
};

// Frames of the sweep while the tone (the spectrum's peak) rises and stays below 80 % of the
// Nyquist frequency: once it folds back it is an alias itself.
Figures measure(const std::vector<float>& mono) {
  std::vector<double> window(kWindow);
  constexpr double kPi = 3.14159265358979323846;
  for (size_t i = 0; i < kWindow; ++i) {
    const double x = 2 * kPi * static_cast<double>(i) / (kWindow - 1);
    window[i] = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
  }
  double tone[2] = {}, alias[2] = {};
  int frames = 0;
  double lastPeak = 0;
  const double binHz = static_cast<double>(kRate) / kWindow;
  for (size_t at = 0; at + kWindow <= mono.size(); at += kHop) {
    std::vector<std::complex<double>> a(kWindow);
    double energy = 0;
    for (size_t i = 0; i < kWindow; ++i) {
      a[i] = mono[at + i] * window[i];
      energy += mono[at + i] * mono[at + i];
    }
    if (energy < 1e-6) continue;
    fft(a);
    std::vector<double> power(kWindow / 2 + 1);
    size_t peak = 1;
    for (size_t k = 1; k <= kWindow / 2; ++k) {
      power[k] = std::norm(a[k]);
      if (power[k] > power[peak]) peak = k;
    }
    const double peakHz = static_cast<double>(peak) * binHz;
    if (peakHz > 0.8 * kRate / 2 || peakHz < lastPeak * 0.9) break;
    lastPeak = peakHz;
    // The tone: its main lobe and the little the slide moves it within the window.
    const auto spread = static_cast<size_t>(std::max(6.0, 0.012 * static_cast<double>(peak)));
    double t = 0, rest = 0;
    for (size_t k = 1; k <= kWindow / 2; ++k) (k + spread >= peak && k <= peak + spread ? t : rest) += power[k];
    for (int band = 0; band < 2; ++band) {
      if (band == 1 && peakHz < 6000) continue;
      tone[band] += t;
      alias[band] += rest;
    }
    ++frames;
  }
  auto db = [](double a, double t) { return t > 0 ? 10 * std::log10(std::max(a, 1e-30) / t) : 0.0; };
  return {db(alias[0], tone[0]), db(alias[1], tone[1]), frames};
}

std::vector<float> readWav(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<float> mono;
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) return mono;
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  uint32_t format = 0, channels = 0, bits = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = u32(at + 4);
    if (!std::memcmp(b.data() + at, "fmt ", 4)) {
      format = u16(at + 8);
      channels = u16(at + 10);
      bits = u16(at + 22);
      if (format == 0xFFFE && size >= 26) format = u16(at + 32);
    } else if (!std::memcmp(b.data() + at, "data", 4) && channels) {
      const size_t frameBytes = channels * bits / 8, frames = std::min<size_t>(size, b.size() - at - 8) / frameBytes;
      for (size_t i = 0; i < frames; ++i) {
        const uint8_t* p = b.data() + at + 8 + i * frameBytes;
        if (format == 3 && bits == 32) {
          float v;
          std::memcpy(&v, p, 4);
          mono.push_back(v);
        } else if (format == 1 && bits == 16) {
          mono.push_back(static_cast<float>(static_cast<int16_t>(p[0] | p[1] << 8)) / 32768.0f);
        }
      }
    }
    at += 8 + size + (size & 1);
  }
  return mono;
}

void print(const char* name, const Figures& f) {
  std::printf("%-28s %8.1f dB %8.1f dB   (%d spectra)\n", name, f.all, f.high, f.frames);
}
}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "write" && argc == 3) {
    const std::vector<uint8_t> image = sweepModule();
    std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return 0;
  }
  if (what == "measure" && argc == 4) {
    const std::vector<float> mono = readWav(argv[2]);
    if (mono.empty()) {
      std::fprintf(stderr, "aliasing_sweep: %s: no 16-bit or float WAV data\n", argv[2]);
      return 1;
    }
    print(argv[3], measure(mono));
    return 0;
  }
  if (what == "ours") {
    const std::vector<uint8_t> image = sweepModule();
    const char* names[] = {"brackenfold nearest", "brackenfold linear", "brackenfold cubic", "brackenfold sinc 8"};
    for (int mode = 0; mode < 4; ++mode) {
      bft_module* m = bft_load(image.data(), image.size(), kRate, nullptr, nullptr, 0);
      if (!m || bft_set_interpolation(m, mode)) return 1;
      std::vector<float> frames(2 * 4096), mono;
      while (size_t n = bft_render_float(m, frames.data(), 4096))
        for (size_t i = 0; i < n; ++i) mono.push_back(frames[2 * i]);
      bft_free(m);
      print(names[mode], measure(mono));
    }
    return 0;
  }
  std::fprintf(stderr, "usage: aliasing_sweep write FILE.xm | measure FILE.wav NAME | ours\n");
  return 2;
}
