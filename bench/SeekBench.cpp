// How long a seek to a time takes in a five-minute song through the library: the first seek deep
// into a song just loaded (it plays everything before it silently and keeps the order starts it
// passes), and seeks anywhere once those are kept (each plays at most one order silently).
// BFT_SEEK_SONG names a module file to measure instead of the written song.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "brackenfold/tracker.h"
#include "modules/XMWriter.h"

namespace {
// 8 channels, 40 orders of 64 rows at speed 6 and 125 BPM: 40 x 7.68 s, 5 min 7 s; a note on every
// channel every other row, from a looped saw, with vibrato.
std::vector<uint8_t> fiveMinuteSong() {
  if (const char* path = std::getenv("BFT_SEEK_SONG")) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  constexpr int kChannels = 8, kOrders = 40;
  XMModuleSpec m;
  m.channels = kChannels;
  m.patterns.resize(kOrders);
  m.orders.clear();
  uint32_t seed = 12345;
  for (int o = 0; o < kOrders; ++o) {
    m.orders.push_back(static_cast<uint8_t>(o));
    m.patterns[o].rows = 64;
    for (int r = 0; r < 64; r += 2)
      for (int c = 0; c < kChannels; ++c) {
        seed = seed * 1664525u + 1013904223u;
        m.patterns[o].at(r, c, kChannels) = {static_cast<uint8_t>(25 + (seed >> 24) % 48), 1, 0x30, 0x4, 0x24};
      }
  }
  XMInstrumentSpec ins;
  XMSampleSpec s;
  s.sixteenBit = true;
  for (int i = 0; i < 8000; ++i) s.data.push_back(static_cast<int16_t>((i % 100 - 50) * 40));
  s.loopType = 1;
  s.loopStart = 1000;
  s.loopLength = 6000;
  ins.samples.push_back(s);
  m.instruments.push_back(ins);
  return writeXM(m);
}

const std::vector<uint8_t>& song() {
  static const std::vector<uint8_t> image = fiveMinuteSong();
  return image;
}

bft_module* load() {
  bft_module* m = bft_load(song().data(), song().size(), 44100, nullptr, nullptr, 0);
  if (!m) std::abort();
  return m;
}

// A seek to 90 % of the song, straight after the load.
void firstSeekDeepIn(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    bft_module* m = load();
    const double to = bft_duration(m) * 0.9;
    state.ResumeTiming();
    benchmark::DoNotOptimize(bft_seek_time(m, to));
    state.PauseTiming();
    bft_free(m);
    state.ResumeTiming();
  }
}
BENCHMARK(firstSeekDeepIn)->Unit(benchmark::kMillisecond);

// Seeks to times spread over the song, in no order, once the order starts are kept; a render of
// 20 ms after each, as a player does.
void seekAnywhere(benchmark::State& state) {
  bft_module* m = load();
  const double length = bft_duration(m);
  bft_seek_time(m, length - 1);
  int16_t frames[2 * 882];
  uint32_t at = 1;
  for (auto _ : state) {
    at = at * 1103515245u + 12345u;
    const double to = length * ((at >> 8) % 1000) / 1000.0;
    benchmark::DoNotOptimize(bft_seek_time(m, to));
    benchmark::DoNotOptimize(bft_render(m, frames, 882));
  }
  state.counters["song_s"] = length;
  bft_free(m);
}
BENCHMARK(seekAnywhere)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
