#include "modules/MusicalS3M.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "modules/MusicalParts.h"

namespace {
using musical::nibbles;
using musical::Random;

// A tone: a few cycles of one waveform, looped (sometimes after an attack that is not repeated),
// or a longer unlooped one that dies away; at 8363 Hz mostly, as samples are tuned in songs.
S3MSampleSpec toneSample(Random& r) {
  S3MSampleSpec s;
  s.sixteenBit = r.chance(50);
  const int peak = r.between(8000, 30000);
  const int period = r.pick(std::vector<int>{16, 24, 32, 48, 64});
  const std::vector<int16_t> one = musical::cycle(r.between(0, 4), period, peak);
  if (r.chance(80)) {
    const int attack = r.chance(30) ? r.between(4, 40) : 0;
    const int repeats = r.between(1, 4);
    for (int i = 0; i < attack + repeats; ++i) s.data.insert(s.data.end(), one.begin(), one.end());
    s.loop = true;
    s.loopStart = static_cast<uint32_t>(attack * period);
    s.loopEnd = static_cast<uint32_t>((attack + repeats) * period);
  } else {
    const int cycles = r.between(60, 400);
    for (int i = 0; i < cycles; ++i)
      for (int16_t x : one) s.data.push_back(static_cast<int16_t>(x * (cycles - i) / cycles));
  }
  s.volume = static_cast<uint8_t>(r.between(32, 64));
  s.c2spd = static_cast<uint32_t>(r.chance(60) ? 8363 : r.pick(std::vector<int>{8287, 8448, 16726, 22050, 4181, 11025}));
  return s;
}

S3MSampleSpec drumSample(Random& r) {
  S3MSampleSpec s;
  s.sixteenBit = r.chance(40);
  s.data = musical::drum(r, 24000);
  s.volume = static_cast<uint8_t>(r.between(40, 64));
  return s;
}

// A slide's parameter as songs write them: up or down, by a little or a lot; fine ones (xF, Fx)
// now and then; 0 (the shared memory) one time in five.
uint8_t volumeSlide(Random& r) {
  if (r.chance(20)) return 0;
  switch (r.between(0, 3)) {
    case 0: return nibbles(r.between(1, 8), 0);
    case 1: return nibbles(0, r.between(1, 8));
    case 2: return nibbles(r.between(1, 14), 15);
    default: return nibbles(15, r.between(1, 14));
  }
}

uint8_t portamento(Random& r) {
  if (r.chance(20)) return 0;
  const int kind = r.between(1, 10);
  if (kind <= 6) return static_cast<uint8_t>(r.between(1, 32));
  return nibbles(kind <= 8 ? 15 : 14, r.between(1, 15));
}

// One command, drawn by how often songs use each, with a parameter as they would write it.
std::pair<uint8_t, uint8_t> commandFor(Random& r, const std::vector<int>& bpms, int orders, int speed) {
  struct Weighted {
    int weight;
    char letter;
  };
  static const std::vector<Weighted> kTable = {
      {1, 'A'}, {1, 'B'}, {1, 'C'}, {14, 'D'}, {6, 'E'}, {6, 'F'}, {7, 'G'}, {6, 'H'}, {1, 'I'}, {7, 'J'},
      {3, 'K'}, {2, 'L'}, {3, 'O'}, {2, 'Q'}, {2, 'R'}, {12, 'S'}, {1, 'T'}, {1, 'U'}, {1, 'V'}, {3, 'X'},
  };
  int total = 0;
  for (const Weighted& w : kTable) total += w.weight;
  int roll = r.between(1, total);
  char what = 'D';
  for (const Weighted& w : kTable)
    if ((roll -= w.weight) <= 0) {
      what = w.letter;
      break;
    }
  const uint8_t command = static_cast<uint8_t>(what - 'A' + 1);
  const auto memory = [&r](int value) { return static_cast<uint8_t>(r.chance(20) ? 0 : value); };
  switch (what) {
    case 'A': return {command, static_cast<uint8_t>(r.between(2, 9))};
    case 'B': return {command, static_cast<uint8_t>(r.between(0, orders - 1))};
    case 'C': {
      const int row = r.chance(60) ? 0 : r.between(0, 63);
      return {command, static_cast<uint8_t>(row / 10 << 4 | row % 10)};
    }
    case 'D':
    case 'K':
    case 'L': return {command, volumeSlide(r)};
    case 'E':
    case 'F': return {command, portamento(r)};
    case 'G': return {command, memory(r.between(2, 64))};
    case 'H':
    case 'U':
    case 'R': return {command, memory(nibbles(r.between(1, 15), r.between(1, 15)))};
    case 'I': return {command, memory(nibbles(r.between(0, 4), r.between(0, 4)))};
    case 'J': return {command, memory(nibbles(r.pick(std::vector<int>{0, 3, 4, 5, 7, 12}), r.pick(std::vector<int>{3, 4, 7, 9})))};
    case 'O': return {command, static_cast<uint8_t>(r.between(0, 8))};
    case 'Q': return {command, memory(nibbles(r.between(0, 15), r.between(1, 6)))};
    case 'T': return {command, static_cast<uint8_t>(r.pick(bpms))};
    case 'V': return {command, static_cast<uint8_t>(r.between(16, 64))};
    case 'X': return {command, static_cast<uint8_t>(r.between(0, 128))};
    default: {
      const int x = r.pick(std::vector<int>{1, 2, 3, 4, 8, 8, 0xC, 0xC, 0xD, 0xD, 0xE});
      int y = r.between(0, 15);
      if (x == 3 || x == 4) y = r.between(0, 3);
      if (x == 0xC || x == 0xD) y = r.between(0, speed + 1);
      if (x == 0xE) y = r.between(1, 3);
      return {command, nibbles(x, y)};
    }
  }
}
}  // namespace

S3MModuleSpec musicalS3M(uint64_t seed, const MusicalS3MOptions& options) {
  Random r(seed);
  S3MModuleSpec m;
  m.title = "music " + std::to_string(seed);
  m.flags = static_cast<uint16_t>((r.chance(25) ? 16 : 0) | (r.chance(15) ? 64 : 0));
  const int channels = options.channels > 0 ? options.channels : r.between(2, 8);
  std::fill(std::begin(m.channelSettings), std::end(m.channelSettings), 255);
  for (int c = 0; c < channels; ++c) m.channelSettings[c] = static_cast<uint8_t>(c % 2 ? 8 + c / 2 : c / 2);
  m.storePans = r.chance(30);
  for (int c = 0; c < 32; ++c) m.pans[c] = static_cast<uint8_t>(r.chance(50) ? 0x20 | r.between(0, 15) : 0);
  m.masterVolume = static_cast<uint8_t>((r.chance(90) ? 0x80 : 0) | r.pick(std::vector<int>{48, 48, 64, 32, 96, 127}));
  const std::vector<int> bpms = musical::tempos(options.wholeTicksAt);
  std::vector<int> usual;
  for (int bpm : bpms)
    if (bpm >= 90 && bpm <= 200) usual.push_back(bpm);
  m.tempo = static_cast<uint8_t>(r.pick(usual.empty() ? bpms : usual));
  m.speed = static_cast<uint8_t>(r.between(3, 8));
  m.globalVolume = static_cast<uint8_t>(r.chance(80) ? 64 : r.between(32, 64));

  const int tones = r.between(1, 4), drums = r.between(0, 2);
  for (int i = 0; i < tones; ++i) m.samples.push_back(toneSample(r));
  for (int i = 0; i < drums; ++i) m.samples.push_back(drumSample(r));
  const int samples = tones + drums;

  const int patterns = r.between(1, 3);
  const int orders = r.between(2, 4);
  static const std::vector<int> kScale = {0, 2, 4, 5, 7, 9, 11};
  const int root = r.between(0, 11);
  for (int p = 0; p < patterns; ++p) {
    S3MPatternSpec pattern;
    const int rows = r.pick(std::vector<int>{16, 32, 64, 64});
    for (int c = 0; c < channels; ++c) {
      const int sample = r.between(1, samples);
      const bool drum = sample > tones;
      const int centre = drum ? 48 : 12 * r.between(2, 5);
      const int density = r.between(15, 50);
      for (int row = 0; row < rows; ++row) {
        S3MCell cell;
        cell.channel = static_cast<uint8_t>(c);
        if (r.chance(density)) {
          const int degree = r.between(-7, 7);
          const int key = std::clamp(centre + root + 12 * (degree < 0 ? -1 : 0) + kScale[static_cast<size_t>((degree + 7) % 7)], 0, 95);
          cell.note = (key / 12) << 4 | key % 12;
          cell.instrument = static_cast<uint8_t>(r.chance(90) ? sample : r.chance(50) ? 0 : r.between(1, samples));
        } else if (r.chance(4)) {
          cell.note = 254;
        } else if (r.chance(3)) {
          cell.instrument = static_cast<uint8_t>(sample);
        }
        if (r.chance(20)) cell.volume = r.between(0, 64);
        if (r.chance(30)) {
          const auto [command, parameter] = commandFor(r, bpms, orders, m.speed);
          cell.command = command;
          cell.parameter = parameter;
          // Flow commands now and then: most rows play in order.
          const bool flow = command <= 3 || command == 20 || (command == 19 && (parameter >> 4 == 0xB || parameter >> 4 == 0xE));
          if (flow && r.chance(60)) cell.command = cell.parameter = 0;
        }
        if (cell.note >= 0 || cell.instrument || cell.volume >= 0 || cell.command || cell.parameter)
          pattern.rows[row].push_back(cell);
      }
    }
    // Patterns shorter than 64 rows end with a break, as songs write them.
    if (rows < 64) {
      auto& cells = pattern.rows[rows - 1];
      const auto first = std::find_if(cells.begin(), cells.end(), [](const S3MCell& x) { return x.channel == 0; });
      if (first == cells.end()) cells.push_back({0, -1, 0, -1, 3, 0});
      else first->command = 3, first->parameter = 0;
    }
    // Now and then a pattern loop as songs write one: a start, then a count a few rows on.
    if (r.chance(15)) {
      const uint8_t c = static_cast<uint8_t>(r.between(0, channels - 1));
      const int from = r.between(0, rows - 4);
      const int to = r.between(from + 1, std::min(rows - 2, from + 8));
      for (auto [row, parameter] : {std::pair<int, int>{from, 0xB0}, {to, nibbles(0xB, r.between(1, 3))}}) {
        auto& cells = pattern.rows[row];
        cells.erase(std::remove_if(cells.begin(), cells.end(), [c](const S3MCell& x) { return x.channel == c; }), cells.end());
        cells.push_back({c, -1, 0, -1, 19, static_cast<uint8_t>(parameter)});
      }
    }
    m.patterns.push_back(std::move(pattern));
  }
  m.orders.clear();
  for (int i = 0; i < orders; ++i) m.orders.push_back(static_cast<uint8_t>(r.between(0, patterns - 1)));
  return m;
}
