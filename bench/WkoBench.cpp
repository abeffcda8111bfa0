// WKO decode and encode throughput in megapixels per second for a 1024 x 1024 RGB picture,
// lossless and at 1 bit per pixel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoEncoder.h"

namespace {
constexpr int kSide = 1024;

// Smooth shading, edges and texture: something between a photo and a drawing.
const std::vector<uint8_t>& picture() {
  static const std::vector<uint8_t> p = [] {
    std::vector<uint8_t> v(static_cast<size_t>(kSide) * kSide * 3);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        for (int c = 0; c < 3; ++c) {
          const double s = 128 + 60 * std::sin(x * 0.013 * (c + 1)) * std::cos(y * 0.011) + ((x / 64 + y / 64) % 2) * 40 +
                           ((x * 7 + y * 13 + c * 5) % 11);
          v[(static_cast<size_t>(y) * kSide + x) * 3 + c] = static_cast<uint8_t>(std::fmin(255, std::fmax(0, s)));
        }
    return v;
  }();
  return p;
}

std::vector<uint8_t> encoded(bool lossless) {
  return lossless ? encodeWkoLossless(picture().data(), kSide, kSide, 3)
                  : encodeWkoBudget(picture().data(), kSide, kSide, 3, kSide * kSide / 8, true);
}

void decode(benchmark::State& state) {
  const std::vector<uint8_t> stream = encoded(state.range(0) == 1);
  for (auto _ : state) {
    std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
    benchmark::DoNotOptimize(image->pixels.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSide * kSide / 1e6,
                                                  benchmark::Counter::kIsRate);
  state.counters["bytes"] = static_cast<double>(stream.size());
}

void encode(benchmark::State& state) {
  picture();
  for (auto _ : state) benchmark::DoNotOptimize(encoded(state.range(0) == 1).data());
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSide * kSide / 1e6,
                                                  benchmark::Counter::kIsRate);
}
}  // namespace

// Argument 1: lossless; 0: 1 bit per pixel.
BENCHMARK(decode)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(encode)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
