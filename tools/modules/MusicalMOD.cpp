#include "modules/MusicalMOD.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "modules/MusicalModule.h"
#include "modules/MusicalParts.h"

namespace {
using musical::nibbles;
using musical::Random;

constexpr int kChannels = 4;
constexpr int kFirstNote = 37;  // ProTracker's C-1

// A few cycles of one waveform looped, or one that dies away; 8-bit, an even number of frames.
XMSampleSpec toneSample(Random& r) {
  XMSampleSpec s;
  const int peak = r.between(40, 120);
  const int period = r.pick(std::vector<int>{16, 24, 32, 48, 64});
  const std::vector<int16_t> one = musical::cycle(r.between(0, 4), period, peak);
  if (r.chance(80)) {
    const int attack = r.chance(30) ? r.between(2, 20) * 2 : 0;
    const int repeats = r.between(1, 4);
    for (int i = 0; i < attack + repeats; ++i) s.data.insert(s.data.end(), one.begin(), one.end());
    s.loopType = 1;
    s.loopStart = static_cast<uint32_t>(attack * period);
    s.loopLength = static_cast<uint32_t>(repeats * period);
  } else {
    const int cycles = r.between(60, 400);
    for (int i = 0; i < cycles; ++i)
      for (int16_t x : one) s.data.push_back(static_cast<int16_t>(x * (cycles - i) / cycles));
  }
  s.volume = static_cast<uint8_t>(r.between(32, 64));
  s.finetune = static_cast<int8_t>(r.chance(60) ? 0 : 16 * r.between(-8, 7));
  return s;
}

XMSampleSpec drumSample(Random& r) {
  XMSampleSpec s;
  s.data = musical::drum(r, 100);
  if (s.data.size() % 2) s.data.pop_back();
  s.volume = static_cast<uint8_t>(r.between(40, 64));
  return s;
}

// One of ProTracker's effects, drawn by how often songs use each, with a parameter as they write it.
std::pair<uint8_t, uint8_t> effectFor(Random& r, const std::vector<int>& bpms, int orders, int speed) {
  static const std::vector<std::pair<int, int>> kTable = {{8, 0x0}, {5, 0x1}, {5, 0x2}, {7, 0x3}, {7, 0x4}, {3, 0x5},
                                                          {3, 0x6}, {3, 0x7}, {3, 0x9}, {9, 0xA}, {1, 0xB}, {7, 0xC},
                                                          {1, 0xD}, {14, 0xE}, {3, 0xF}};
  int total = 0;
  for (const auto& [weight, what] : kTable) total += weight;
  int roll = r.between(1, total), what = 0;
  for (const auto& [weight, w] : kTable)
    if ((roll -= weight) <= 0) {
      what = w;
      break;
    }
  const auto memory = [&r](int value) { return static_cast<uint8_t>(r.chance(20) ? 0 : value); };
  switch (what) {
    case 0x0: return {0x0, nibbles(r.pick(std::vector<int>{0, 3, 4, 5, 7, 12}), r.pick(std::vector<int>{3, 4, 7, 9}))};
    case 0x1:
    case 0x2: return {static_cast<uint8_t>(what), memory(r.between(1, 32))};
    case 0x3: return {0x3, memory(r.between(2, 64))};
    case 0x4:
    case 0x7: return {static_cast<uint8_t>(what), memory(nibbles(r.between(1, 15), r.between(1, 15)))};
    case 0x5:
    case 0x6:
    case 0xA: return {static_cast<uint8_t>(what), r.chance(50) ? nibbles(r.between(1, 8), 0) : nibbles(0, r.between(1, 8))};
    case 0x9: return {0x9, memory(r.between(1, 24))};
    case 0xB: return {0xB, static_cast<uint8_t>(r.between(0, orders - 1))};
    case 0xC: return {0xC, static_cast<uint8_t>(r.between(0, 64))};
    case 0xD: {
      const int row = r.chance(60) ? 0 : r.between(0, 63);
      return {0xD, static_cast<uint8_t>(row / 10 << 4 | row % 10)};
    }
    case 0xE: {
      const int x = r.pick(std::vector<int>{1, 1, 2, 2, 3, 4, 5, 7, 9, 9, 0xA, 0xA, 0xB, 0xB, 0xC, 0xC, 0xD, 0xD, 0xE});
      int y = r.between(0, 15);
      if (x == 0x3) y = r.between(0, 1);
      if (x == 0x4 || x == 0x7) y = r.between(0, 7);
      if (x == 0x9 || x == 0xC || x == 0xD) y = r.between(0, speed + 1);
      if (x == 0xE) y = r.between(1, 3);
      return {0xE, nibbles(x, y)};
    }
    default:
      return r.chance(60) ? std::pair<uint8_t, uint8_t>{0xF, static_cast<uint8_t>(r.between(2, 9))}
                          : std::pair<uint8_t, uint8_t>{0xF, static_cast<uint8_t>(r.pick(bpms))};
  }
}
}  // namespace

XMModuleSpec musicalMOD(uint64_t seed, const MusicalMODOptions& options) {
  Random r(seed);
  XMModuleSpec m;
  m.name = "music " + std::to_string(seed);
  m.channels = kChannels;
  // A MOD starts at speed 6 and 125 BPM; Fxx changes them.
  m.speed = 6;
  m.bpm = 125;
  std::vector<int> bpms;
  for (int bpm : musical::tempos(options.wholeTicksAt))
    if (bpm >= 32) bpms.push_back(bpm);

  const int tones = r.between(1, 5), drums = r.between(0, 3);
  for (int i = 0; i < tones + drums; ++i) {
    XMInstrumentSpec ins;
    ins.samples.push_back(i < tones ? toneSample(r) : drumSample(r));
    m.instruments.push_back(std::move(ins));
  }
  const int instruments = tones + drums;
  const int patterns = r.between(1, 3);
  const int orders = r.between(2, 4);
  static const std::vector<int> kScale = {0, 2, 4, 5, 7, 9, 11};
  const int root = r.between(0, 11);
  for (int p = 0; p < patterns; ++p) {
    XMPatternSpec pattern;
    pattern.rows = 64;
    for (int c = 0; c < kChannels; ++c) {
      const int ins = r.between(1, instruments);
      const int centre = ins > tones ? kFirstNote + 12 : kFirstNote + 12 * r.between(0, 1);
      const int density = r.between(15, 50);
      for (int row = 0; row < pattern.rows; ++row) {
        XMNote& n = pattern.at(row, c, kChannels);
        if (r.chance(density)) {
          const int degree = r.between(-7, 7);
          const int note = centre + root + 12 * (degree < 0 ? -1 : 0) + kScale[static_cast<size_t>((degree + 7) % 7)];
          n.note = static_cast<uint8_t>(std::clamp(note, kFirstNote, kFirstNote + 35));
          n.instrument = static_cast<uint8_t>(r.chance(90) ? ins : r.chance(50) ? 0 : r.between(1, instruments));
        } else if (r.chance(3)) {
          n.instrument = static_cast<uint8_t>(ins);
        }
        if (r.chance(30)) {
          const auto [e, x] = effectFor(r, bpms, orders, m.speed);
          n.effect = e;
          n.parameter = x;
          if ((e == 0xB || e == 0xD) && r.chance(60)) n.effect = n.parameter = 0;
          if (e == 0xE && (x >> 4 == 0x6 || x >> 4 == 0xE) && r.chance(60)) n.effect = n.parameter = 0;
        }
      }
    }
    addFlowRows(r, pattern, kChannels, options.patternDelays);
    m.patterns.push_back(std::move(pattern));
  }
  m.orders.clear();
  for (int i = 0; i < orders; ++i) m.orders.push_back(static_cast<uint8_t>(r.between(0, patterns - 1)));
  return m;
}

MODModuleSpec modOf(const XMModuleSpec& design) {
  static const uint16_t kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                        428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                        214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
  MODModuleSpec mod;
  mod.title = design.name.substr(0, 20);
  mod.orders.assign(design.orders.begin(), design.orders.end());
  for (const XMPatternSpec& p : design.patterns) {
    MODPatternSpec out;
    for (int row = 0; row < std::min(p.rows, 64); ++row)
      for (int c = 0; c < std::min(design.channels, kChannels); ++c) {
        const size_t at = static_cast<size_t>(row * design.channels + c);
        if (at >= p.notes.size()) continue;
        const XMNote& x = p.notes[at];
        MODNote& n = out.at(row, c, kChannels);
        if (x.note >= 1 && x.note <= 96) n.period = kPeriods[std::clamp(x.note - kFirstNote, 0, 35)];
        n.sample = x.instrument <= 31 ? x.instrument : 0;
        n.effect = x.effect <= 0xF ? x.effect : 0;
        n.parameter = x.effect <= 0xF ? x.parameter : 0;
      }
    out.at(63, kChannels - 1, kChannels);  // every pattern 64 rows
    mod.patterns.push_back(std::move(out));
  }
  for (const XMInstrumentSpec& ins : design.instruments) {
    MODSampleSpec s;
    if (!ins.samples.empty()) {
      const XMSampleSpec& x = ins.samples[0];
      for (int16_t v : x.data) s.data.push_back(static_cast<int8_t>(std::clamp<int>(v, -128, 127)));
      if (s.data.size() % 2) s.data.push_back(0);
      s.volume = std::min<uint8_t>(x.volume, 64);
      s.finetune = static_cast<int8_t>(x.finetune / 16);
      if (x.loopType & 3 && x.loopLength >= 2) {
        s.loopStart = static_cast<uint16_t>(x.loopStart / 2);
        s.loopLength = static_cast<uint16_t>(x.loopLength / 2);
      }
    }
    mod.samples.push_back(std::move(s));
    if (mod.samples.size() == 31) break;
  }
  return mod;
}
