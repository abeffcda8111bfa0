#include "modules/RandomModule.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/SplitMix64.h"

namespace {
class Random {
 public:
  explicit Random(uint64_t seed) : bits_(seed) {}
  uint64_t next() { return bits_.next(); }
  // Uniform in low..high, both included.
  int64_t between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
  }
  bool chance(int percent) { return between(1, 100) <= percent; }

 private:
  SplitMix64 bits_;
};

// Lengths spread evenly over the orders of magnitude, so one-frame and two-frame loops turn up
// as often as long ones.
uint32_t logUniform(Random& r, uint32_t high) {
  const double x = std::exp(std::log(static_cast<double>(high)) * static_cast<double>(r.between(0, 1 << 20)) / (1 << 20));
  return std::clamp<uint32_t>(static_cast<uint32_t>(x), 1, high);
}

XMSampleSpec randomSample(Random& r, uint32_t maxFrames) {
  XMSampleSpec s;
  s.sixteenBit = r.chance(50);
  const uint32_t length = logUniform(r, maxFrames);
  const int shape = static_cast<int>(r.between(0, 2));
  const int32_t top = s.sixteenBit ? 32767 : 127;
  const int32_t period = static_cast<int32_t>(r.between(2, 64));
  for (uint32_t i = 0; i < length; ++i) {
    int32_t v;
    if (shape == 0)
      v = static_cast<int32_t>(r.between(-top - 1, top));  // noise
    else if (shape == 1)
      v = static_cast<int32_t>(i % period) * 2 * top / period - top;  // saw
    else
      v = static_cast<int32_t>(i % period) < period / 2 ? top : -top - 1;  // square
    s.data.push_back(static_cast<int16_t>(v));
  }
  // Mostly looped; the loop anywhere inside the sample, down to one frame.
  const int64_t kind = r.between(0, 9);
  s.loopType = kind < 5 ? 1 : kind < 8 ? 2 : kind < 9 ? 3 : 0;
  if (s.loopType) {
    s.loopStart = r.chance(30) ? 0 : static_cast<uint32_t>(r.between(0, length - 1));
    const uint32_t room = length - s.loopStart;
    s.loopLength = r.chance(30) ? room : std::min(room, logUniform(r, room));
  }
  s.volume = static_cast<uint8_t>(r.between(16, 64));
  s.finetune = static_cast<int8_t>(r.between(-128, 127));
  s.panning = static_cast<uint8_t>(r.between(0, 255));
  s.relativeNote = static_cast<int8_t>(r.between(-24, 24));
  return s;
}

XMEnvelopeSpec randomEnvelope(Random& r) {
  XMEnvelopeSpec e;
  if (r.chance(40)) return e;
  const int points = static_cast<int>(r.between(2, 12));
  uint16_t tick = 0;
  for (int i = 0; i < points; ++i) {
    e.points.push_back({tick, static_cast<uint16_t>(r.between(0, 64))});
    tick = static_cast<uint16_t>(tick + r.between(1, 40));
  }
  // Now and then a point index past the last point, as damaged files have them.
  e.sustain = static_cast<uint8_t>(r.between(0, points - (r.chance(10) ? -2 : 1)));
  e.loopStart = static_cast<uint8_t>(r.between(0, points - 1));
  e.loopEnd = static_cast<uint8_t>(r.between(e.loopStart, points - (r.chance(10) ? -2 : 1)));
  e.type = static_cast<uint8_t>(r.between(0, 7));
  return e;
}

XMNote randomNote(Random& r, int instruments, int orders) {
  XMNote n;
  if (r.chance(55)) {
    n.note = r.chance(6) ? kFileKeyOff : static_cast<uint8_t>(r.between(1, 96));
    n.instrument = r.chance(85) ? static_cast<uint8_t>(r.between(1, instruments + (r.chance(3) ? 1 : 0))) : 0;
  } else if (r.chance(5)) {
    n.instrument = static_cast<uint8_t>(r.between(1, instruments));
  }
  if (r.chance(25)) {
    const int64_t v = r.between(0, 4);
    n.volume = v == 0 ? static_cast<uint8_t>(r.between(0x10, 0x50))
                      : static_cast<uint8_t>(r.between(0x6, 0xF) << 4 | r.between(0, 15));
  }
  if (r.chance(35)) {
    // Every command 0 to F and G to X (some letters do nothing); parameters anywhere.
    n.effect = static_cast<uint8_t>(r.between(0, 33));
    n.parameter = static_cast<uint8_t>(r.between(0, 255));
    // Jumps, breaks, loops and tempo go somewhere inside the song and keep it moving; most rows
    // play in order.
    if (n.effect == 0xB || n.effect == 0xD || (n.effect == 0xE && n.parameter >> 4 == 0x6)) {
      if (r.chance(70)) n.effect = 0;
      if (n.effect == 0xB) n.parameter = static_cast<uint8_t>(r.between(0, orders - 1));
    }
    if (n.effect == 0xF && n.parameter == 0) n.parameter = 6;
  }
  return n;
}
}  // namespace

XMModuleSpec randomModule(uint64_t seed, const RandomModuleOptions& options) {
  Random r(seed);
  XMModuleSpec m;
  m.name = "random " + std::to_string(seed);
  m.channels = options.channels > 0 ? options.channels : static_cast<int>(r.between(2, 32));
  m.speed = static_cast<uint16_t>(r.between(1, 8));
  m.bpm = static_cast<uint16_t>(r.between(60, 255));
  m.flags = r.chance(25) ? 0 : 1;

  const int instruments = static_cast<int>(r.between(1, 8));
  for (int i = 0; i < instruments; ++i) {
    XMInstrumentSpec ins;
    const int samples = static_cast<int>(r.between(1, 3));
    for (int k = 0; k < samples; ++k) ins.samples.push_back(randomSample(r, options.maxSampleFrames));
    for (uint8_t& s : ins.noteToSample) s = static_cast<uint8_t>(r.between(0, samples - 1));
    ins.volumeEnvelope = randomEnvelope(r);
    ins.panningEnvelope = randomEnvelope(r);
    if (r.chance(30)) {
      ins.vibratoType = static_cast<uint8_t>(r.between(0, 3));
      ins.vibratoSweep = static_cast<uint8_t>(r.between(0, 64));
      ins.vibratoDepth = static_cast<uint8_t>(r.between(0, 15));
      ins.vibratoRate = static_cast<uint8_t>(r.between(0, 63));
    }
    ins.fadeout = static_cast<uint16_t>(r.between(0, 4095));
    m.instruments.push_back(ins);
  }

  const int patterns = static_cast<int>(r.between(1, 4));
  const int orders = static_cast<int>(r.between(1, 8));
  for (int p = 0; p < patterns; ++p) {
    XMPatternSpec pattern;
    pattern.rows = static_cast<int>(r.between(8, 64));
    for (int row = 0; row < pattern.rows; ++row)
      for (int c = 0; c < m.channels; ++c) pattern.at(row, c, m.channels) = randomNote(r, instruments, orders);
    m.patterns.push_back(pattern);
  }
  m.orders.clear();
  for (int i = 0; i < orders; ++i) m.orders.push_back(static_cast<uint8_t>(r.between(0, patterns - 1)));
  m.restartPosition = static_cast<uint16_t>(r.between(0, orders - 1));
  return m;
}
