// Offline rendering speed of the XM player as a realtime factor: seconds of music rendered per
// second of CPU on one core.
#include <benchmark/benchmark.h>

#include <vector>

#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/formats/XMReader.h"
#include "modules/XMWriter.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"

namespace {
// Every channel busy: a looped sample on every channel, a new note every row, vibrato running.
XMModuleSpec busyModule(int channels) {
  XMModuleSpec m;
  m.channels = channels;
  m.speed = 6;
  m.bpm = 125;
  m.orders = {0};
  m.patterns.resize(1);
  m.patterns[0].rows = 64;
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < channels; ++c)
      m.patterns[0].at(r, c, channels) = {static_cast<uint8_t>(25 + (r * 7 + c * 5) % 48), 1, 0x30, 0x4, 0x24};
  XMInstrumentSpec ins;
  XMSampleSpec s;
  s.sixteenBit = true;
  for (int i = 0; i < 8000; ++i) s.data.push_back(static_cast<int16_t>((i % 100 - 50) * 300 / channels));
  s.loopType = 2;
  s.loopStart = 1000;
  s.loopLength = 6000;
  ins.samples.push_back(s);
  m.instruments.push_back(ins);
  return m;
}

void renderModule(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  const std::vector<uint8_t> image = writeXM(busyModule(channels));
  const SongPtr song = loadModule(image.data(), image.size(), &intro::kRules, nullptr);
  if (!song) {
    state.SkipWithError("module did not load");
    return;
  }
  constexpr int kRate = 44100;
  constexpr int64_t kFrames = 10 * kRate;
  {
    OfflineRenderer renderer(*song, kRate);
    for (auto _ : state) benchmark::DoNotOptimize(renderer.render(kFrames).data());
  }
  const double musicSeconds = static_cast<double>(state.iterations()) * kFrames / kRate;
  state.counters["realtime_x"] = benchmark::Counter(musicSeconds, benchmark::Counter::kIsRate);
}
}  // namespace

BENCHMARK(renderModule)->Arg(4)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
