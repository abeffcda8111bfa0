#include "modules/MusicalModule.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "modules/MusicalParts.h"

namespace {
using musical::nibbles;
using musical::Random;

// Effects past F by their letters.
constexpr uint8_t kG = effect::kSetGlobalVolume, kH = effect::kGlobalVolumeSlide, kK = effect::kKeyOff,
                  kL = effect::kEnvelopePosition, kP = effect::kPanningSlide, kR = effect::kMultiRetrig,
                  kT = effect::kTremor, kX = effect::kExtraFine;

// A tone: a few cycles of one waveform, looped forward or ping-pong (sometimes after an attack
// that is not repeated), or a longer unlooped one that dies away.
XMSampleSpec toneSample(Random& r) {
  XMSampleSpec s;
  s.sixteenBit = r.chance(50);
  const int peak = s.sixteenBit ? r.between(8000, 30000) : r.between(40, 120);
  const int period = r.pick(std::vector<int>{16, 24, 32, 48, 64});
  const std::vector<int16_t> one = musical::cycle(r.between(0, 4), period, peak);
  const int kind = r.between(1, 100);
  if (kind <= 80) {
    const int attack = r.chance(30) ? r.between(4, 40) : 0;
    const int repeats = r.between(1, 4);
    for (int i = 0; i < attack + repeats; ++i) s.data.insert(s.data.end(), one.begin(), one.end());
    s.loopType = kind <= 55 ? 1 : 2;
    s.loopStart = static_cast<uint32_t>(attack * period);
    s.loopLength = static_cast<uint32_t>(repeats * period);
  } else {
    const int cycles = r.between(60, 400);
    for (int i = 0; i < cycles; ++i)
      for (int16_t x : one) s.data.push_back(static_cast<int16_t>(x * (cycles - i) / cycles));
  }
  s.volume = static_cast<uint8_t>(r.between(32, 64));
  s.finetune = static_cast<int8_t>(r.chance(60) ? 0 : r.between(-128, 127));
  s.panning = static_cast<uint8_t>(r.chance(50) ? 128 : r.between(0, 255));
  s.relativeNote = static_cast<int8_t>(r.chance(70) ? 0 : r.between(-12, 12));
  return s;
}

// A drum: a burst of noise, or a falling tone, that dies away; unlooped.
XMSampleSpec drumSample(Random& r) {
  XMSampleSpec s;
  s.sixteenBit = r.chance(40);
  s.data = musical::drum(r, s.sixteenBit ? 24000 : 100);
  s.volume = static_cast<uint8_t>(r.between(40, 64));
  s.panning = static_cast<uint8_t>(r.between(64, 192));
  return s;
}

// An envelope as instruments have them: a rise, a fall to a level that is held (sustain) or
// looped, and a release, at most 12 points.
XMEnvelopeSpec envelope(Random& r, bool panning) {
  XMEnvelopeSpec e;
  const int points = r.between(2, 8);
  uint16_t tick = 0;
  for (int i = 0; i < points; ++i) {
    const int value = panning ? r.between(0, 64) : i == 0 ? r.between(0, 64) : r.between(8, 64);
    e.points.push_back({tick, static_cast<uint16_t>(i == points - 1 && !panning && r.chance(50) ? 0 : value)});
    tick = static_cast<uint16_t>(tick + r.between(2, 30));
  }
  e.type = 1;
  if (r.chance(60)) {
    e.type |= 2;
    e.sustain = static_cast<uint8_t>(r.between(0, points - 1));
  }
  if (r.chance(30)) {
    e.type |= 4;
    e.loopStart = static_cast<uint8_t>(r.between(0, points - 1));
    e.loopEnd = static_cast<uint8_t>(r.between(e.loopStart, points - 1));
  }
  if (r.chance(5)) e.type &= ~1;  // points set, envelope off
  return e;
}

XMInstrumentSpec instrument(Random& r, bool drum) {
  XMInstrumentSpec ins;
  ins.samples.push_back(drum ? drumSample(r) : toneSample(r));
  if (!drum && r.chance(25)) {
    ins.samples.push_back(toneSample(r));
    const int split = r.between(30, 70);
    for (int k = split; k < 96; ++k) ins.noteToSample[k] = 1;
  }
  if (r.chance(60)) ins.volumeEnvelope = envelope(r, false);
  if (r.chance(25)) ins.panningEnvelope = envelope(r, true);
  ins.fadeout = static_cast<uint16_t>(r.chance(70) ? r.between(64, 2048) : r.chance(50) ? 0 : r.between(2048, 4095));
  if (r.chance(20)) {
    ins.vibratoType = static_cast<uint8_t>(r.between(0, 3));
    ins.vibratoSweep = static_cast<uint8_t>(r.chance(50) ? 0 : r.between(1, 64));
    ins.vibratoDepth = static_cast<uint8_t>(r.between(1, 15));
    ins.vibratoRate = static_cast<uint8_t>(r.between(1, 63));
  }
  return ins;
}

// One effect, drawn by how often songs use each, with a parameter as they would write it.
std::pair<uint8_t, uint8_t> effectFor(Random& r, const std::vector<int>& bpms, int orders, int rows, int speed) {
  struct Weighted {
    int weight;
    int what;
  };
  static const std::vector<Weighted> kTable = {
      {8, 0x0},  {5, 0x1},  {5, 0x2},  {7, 0x3},  {7, 0x4},  {3, 0x5},  {3, 0x6},  {3, 0x7},  {3, 0x8},
      {3, 0x9},  {9, 0xA},  {1, 0xB},  {6, 0xC},  {1, 0xD},  {14, 0xE}, {2, 0xF},  {1, kG},   {1, kH},
      {2, kK},   {1, kL},   {2, kP},   {2, kR},   {1, kT},   {1, kX},
  };
  int total = 0;
  for (const Weighted& w : kTable) total += w.weight;
  int roll = r.between(1, total), what = 0;
  for (const Weighted& w : kTable)
    if ((roll -= w.weight) <= 0) {
      what = w.what;
      break;
    }
  const auto memory = [&r](int value) { return static_cast<uint8_t>(r.chance(20) ? 0 : value); };
  switch (what) {
    case 0x0: return {0x0, nibbles(r.pick(std::vector<int>{0, 3, 4, 5, 7, 12}), r.pick(std::vector<int>{3, 4, 7, 9}))};
    case 0x1:
    case 0x2: return {static_cast<uint8_t>(what), memory(r.between(1, 32))};
    case 0x3: return {0x3, memory(r.between(2, 64))};
    case 0x4: return {0x4, memory(nibbles(r.between(1, 15), r.between(1, 15)))};
    case 0x5:
    case 0x6:
    case 0xA: return {static_cast<uint8_t>(what), memory(r.chance(50) ? nibbles(r.between(1, 8), 0) : nibbles(0, r.between(1, 8)))};
    case 0x7: return {0x7, memory(nibbles(r.between(1, 15), r.between(1, 15)))};
    case 0x8: return {0x8, static_cast<uint8_t>(r.between(0, 255))};
    case 0x9: return {0x9, memory(r.between(1, 24))};
    case 0xB: return {0xB, static_cast<uint8_t>(r.between(0, orders - 1))};
    case 0xC: return {0xC, static_cast<uint8_t>(r.between(0, 64))};
    case 0xD: {
      const int row = r.chance(60) ? 0 : r.between(0, rows - 1);
      return {0xD, static_cast<uint8_t>(row / 10 << 4 | row % 10)};
    }
    case 0xE: {
      const int x = r.pick(std::vector<int>{1, 1, 2, 2, 3, 4, 5, 7, 9, 9, 0xA, 0xA, 0xB, 0xB, 0xC, 0xC, 0xD, 0xD, 0xE});
      int y = r.between(0, 15);
      if (x == 0x4 || x == 0x7) y = r.between(0, 7);
      if (x == 0x9 || x == 0xC || x == 0xD) y = r.between(0, speed + 1);
      if (x == 0xE) y = r.between(1, 3);
      return {0xE, nibbles(x, y)};
    }
    case 0xF:
      return r.chance(60) ? std::pair<uint8_t, uint8_t>{0xF, static_cast<uint8_t>(r.between(2, 9))}
                          : std::pair<uint8_t, uint8_t>{0xF, static_cast<uint8_t>(r.pick(bpms))};
    case kG: return {kG, static_cast<uint8_t>(r.between(16, 64))};
    case kH: return {kH, memory(r.chance(50) ? nibbles(r.between(1, 4), 0) : nibbles(0, r.between(1, 4)))};
    case kK: return {kK, static_cast<uint8_t>(r.between(0, speed))};
    case kL: return {kL, static_cast<uint8_t>(r.between(0, 40))};
    case kP: return {kP, memory(r.chance(50) ? nibbles(r.between(1, 8), 0) : nibbles(0, r.between(1, 8)))};
    case kR: return {kR, memory(nibbles(r.between(0, 15), r.between(1, 6)))};
    case kT: return {kT, memory(nibbles(r.between(0, 4), r.between(0, 4)))};
    default: return {kX, nibbles(r.between(1, 2), r.between(0, 15))};
  }
}

uint8_t volumeColumn(Random& r) {
  const int kind = r.between(1, 100);
  if (kind <= 45) return static_cast<uint8_t>(0x10 + r.between(0, 64));
  const int command = r.pick(std::vector<int>{6, 6, 7, 7, 8, 9, 0xA, 0xB, 0xB, 0xC, 0xC, 0xD, 0xE, 0xF, 0xF});
  const int value = command == 0xF || command == 0xB ? r.between(0, 15) : r.between(1, 15);
  return static_cast<uint8_t>(command << 4 | value);
}
}  // namespace

void addFlowRows(musical::Random& r, XMPatternSpec& pattern, int channels, int delayPercent) {
  if (delayPercent > 0)
    for (int row = 0; row < pattern.rows; ++row)
      if (r.chance(delayPercent)) {
        XMNote& n = pattern.at(row, r.between(0, channels - 1), channels);
        n.effect = 0xE;
        n.parameter = nibbles(0xE, r.between(1, 3));
      }
  // Now and then a pattern loop as songs write one: a start, then a count a few rows on.
  if (r.chance(15) && pattern.rows >= 8) {
    const int c = r.between(0, channels - 1);
    const int from = r.between(0, pattern.rows - 4);
    const int to = r.between(from + 1, std::min(pattern.rows - 1, from + 8));
    pattern.at(from, c, channels).effect = 0xE;
    pattern.at(from, c, channels).parameter = 0x60;
    pattern.at(to, c, channels).effect = 0xE;
    pattern.at(to, c, channels).parameter = nibbles(6, r.between(1, 3));
  }
}

XMModuleSpec musicalModule(uint64_t seed, const MusicalModuleOptions& options) {
  Random r(seed);
  XMModuleSpec m;
  // FastTracker 2's own header as openmpt123 tells it: its name, the title padded with spaces and
  // the whole 276-byte header (with the title ended by zero bytes it would be ModPlug Tracker's,
  // which openmpt123 plays by that tracker's rules; a shorter header, some other tracker's).
  m.name = "music " + std::to_string(seed);
  m.name.resize(20, ' ');
  m.tracker = "FastTracker v2.00   ";
  m.channels = options.channels > 0 ? options.channels : r.between(2, 8);
  const std::vector<int> bpms = musical::tempos(options.wholeTicksAt);
  std::vector<int> usual;
  for (int bpm : bpms)
    if (bpm >= 90 && bpm <= 200) usual.push_back(bpm);
  m.bpm = static_cast<uint16_t>(r.pick(usual.empty() ? bpms : usual));
  m.speed = static_cast<uint16_t>(r.between(3, 8));
  m.flags = r.chance(80) ? 1 : 0;

  const int tones = r.between(1, 4), drums = r.between(0, 2);
  for (int i = 0; i < tones; ++i) m.instruments.push_back(instrument(r, false));
  for (int i = 0; i < drums; ++i) m.instruments.push_back(instrument(r, true));
  const int instruments = tones + drums;

  const int patterns = r.between(1, 3);
  const int orders = r.between(2, 4);
  // A key, as semitones from its root; each channel plays around a pitch of its own.
  static const std::vector<int> kScale = {0, 2, 4, 5, 7, 9, 11};
  const int root = r.between(0, 11);
  for (int p = 0; p < patterns; ++p) {
    XMPatternSpec pattern;
    pattern.rows = r.pick(std::vector<int>{16, 24, 32, 32, 48});
    for (int c = 0; c < m.channels; ++c) {
      const int ins = r.between(1, instruments);
      const bool drum = ins > tones;
      const int centre = drum ? 49 : 25 + 12 * r.between(1, 3);
      const int density = r.between(15, 50);
      bool sounding = false;
      for (int row = 0; row < pattern.rows; ++row) {
        XMNote& n = pattern.at(row, c, m.channels);
        if (r.chance(density)) {
          const int degree = r.between(-7, 7);
          const int octave = degree < 0 ? -1 : 0;
          n.note = static_cast<uint8_t>(std::clamp(centre + root + 12 * octave + kScale[static_cast<size_t>((degree + 7) % 7)], 1, 96));
          n.instrument = static_cast<uint8_t>(r.chance(90) ? ins : r.chance(50) ? 0 : r.between(1, instruments));
          sounding = true;
        } else if (sounding && r.chance(6)) {
          n.note = kFileKeyOff;
          if (r.chance(20)) n.instrument = static_cast<uint8_t>(ins);
        } else if (r.chance(3)) {
          n.instrument = static_cast<uint8_t>(ins);
        }
        if (r.chance(22)) n.volume = volumeColumn(r);
        if (r.chance(30)) {
          const auto [e, p] = effectFor(r, bpms, orders, pattern.rows, m.speed);
          n.effect = e;
          n.parameter = p;
          // Flow effects now and then: most rows play in order.
          if ((e == 0xB || e == 0xD) && r.chance(60)) n.effect = n.parameter = 0;
          if (e == 0xE && (p >> 4 == 0x6 || p >> 4 == 0xE) && r.chance(60)) n.effect = n.parameter = 0;
        }
      }
    }
    addFlowRows(r, pattern, m.channels, options.patternDelays);
    m.patterns.push_back(std::move(pattern));
  }
  m.orders.clear();
  for (int i = 0; i < orders; ++i) m.orders.push_back(static_cast<uint8_t>(r.between(0, patterns - 1)));
  m.restartPosition = 0;
  m.headerOrders = 256;
  return m;
}
