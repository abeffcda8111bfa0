#include "modules/MusicalIT.h"

#include <algorithm>

#include "modules/MusicalParts.h"
#include "modules/MusicalS3M.h"

namespace {
using musical::Random;

ITEnvelopeSpec volumeEnvelope(Random& r) {
  ITEnvelopeSpec e;
  e.flags = 1;
  const int attack = r.between(0, 4), decay = attack + r.between(2, 20), release = decay + r.between(4, 40);
  const int8_t held = static_cast<int8_t>(r.between(16, 64));
  e.points = {{0, static_cast<int8_t>(attack ? 0 : 64)}, {static_cast<uint16_t>(attack + 1), 64},
              {static_cast<uint16_t>(decay + 1), held}, {static_cast<uint16_t>(release + 1), 0}};
  if (r.chance(60)) {
    e.flags |= 4;  // held at the decay's end until the note is let go
    e.sustainStart = e.sustainEnd = 2;
  }
  if (r.chance(20)) {
    e.flags |= 2;
    e.loopStart = 1;
    e.loopEnd = 2;
  }
  if (r.chance(10)) e.flags |= 8;
  return e;
}

ITInstrumentSpec instrument(Random& r) {
  ITInstrumentSpec ins;
  ins.newNoteAction = static_cast<uint8_t>(r.pick(std::vector<int>{0, 0, 1, 2, 3}));
  if (ins.newNoteAction && r.chance(30)) {
    ins.duplicateCheck = static_cast<uint8_t>(r.between(1, 3));
    ins.duplicateAction = static_cast<uint8_t>(r.between(0, 2));
  }
  ins.fadeout = static_cast<uint16_t>(r.chance(70) ? r.between(1, 64) * 8 : 0);
  ins.globalVolume = static_cast<uint8_t>(r.chance(80) ? 128 : r.between(64, 128));
  if (r.chance(60)) ins.volume = volumeEnvelope(r);
  if (r.chance(20)) {
    ins.panning.flags = 1;
    ins.panning.points = {{0, static_cast<int8_t>(r.between(-32, 32))}, {static_cast<uint16_t>(r.between(4, 30)), 0}};
  }
  if (r.chance(20)) {
    ins.pitch.flags = static_cast<uint8_t>(r.chance(40) ? 1 | 0x80 : 1);
    ins.pitch.points = {{0, static_cast<int8_t>(r.between(-16, 16))},
                        {static_cast<uint16_t>(r.between(4, 30)), static_cast<int8_t>(r.between(-32, 32))}};
  }
  if (r.chance(25)) {
    ins.filterCutoff = static_cast<uint8_t>(0x80 | r.between(40, 127));
    if (r.chance(60)) ins.filterResonance = static_cast<uint8_t>(0x80 | r.between(0, 100));
  }
  if (r.chance(10)) ins.pitchPanSeparation = static_cast<int8_t>(r.between(-16, 16));
  return ins;
}
}  // namespace

MusicalIT musicalIT(uint64_t seed, const MusicalITOptions& options) {
  MusicalIT music;
  music.song = musicalS3M(seed, {options.channels, options.wholeTicksAt});
  Random r(seed ^ 0x6974'6974'6974'6974u);
  music.flags = static_cast<uint16_t>(1 | (r.chance(70) ? 8 : 0) | (r.chance(15) ? 16 : 0) | (r.chance(15) ? 32 : 0));
  if (r.chance(80)) {
    const int count = r.between(1, 4);
    for (int i = 0; i < count; ++i) music.instruments.push_back(instrument(r));
  }
  return music;
}

ITModuleSpec itOf(const MusicalIT& music) {
  const S3MModuleSpec& s = music.song;
  ITModuleSpec m;
  m.title = s.title;
  m.flags = static_cast<uint16_t>(music.flags | (music.instruments.empty() ? 0 : 4));
  m.speed = s.speed;
  m.tempo = s.tempo;
  m.globalVolume = static_cast<uint8_t>(std::min(128, s.globalVolume * 2));
  for (int c = 0; c < 64; ++c) {
    const uint8_t setting = c < 32 ? s.channelSettings[c] : 255;
    m.channelPan[c] = static_cast<uint8_t>(setting < 8 ? 16 : setting < 16 ? 48 : 32 | 128);
  }
  m.orders = s.orders;
  for (const S3MPatternSpec& p : s.patterns) {
    ITPatternSpec pattern;
    for (int row = 0; row < 64; ++row)
      for (const S3MCell& x : p.rows[row]) {
        ITCell cell;
        cell.channel = x.channel;
        if (x.note == 254) cell.note = 254;
        else if (x.note >= 0 && x.note < 254) cell.note = std::min(119, (x.note >> 4) * 12 + (x.note & 15));
        cell.instrument = x.instrument ? x.instrument : -1;
        cell.volume = x.volume >= 0 ? std::min(64, x.volume) : -1;
        cell.command = x.command;
        cell.parameter = x.parameter;
        pattern.rows[static_cast<size_t>(row)].push_back(cell);
      }
    m.patterns.push_back(pattern);
  }
  for (size_t k = 0; k < s.samples.size(); ++k) {
    const S3MSampleSpec& from = s.samples[k];
    ITSampleSpec to;
    to.data = from.data;
    to.sixteenBit = from.sixteenBit;
    to.stereo = from.stereo;
    to.volume = from.volume;
    to.c5Speed = from.c2spd;
    to.loop = from.loop;
    to.loopStart = from.loopStart;
    to.loopEnd = from.loopEnd;
    m.samples.push_back(to);
    if (!music.instruments.empty()) {
      ITInstrumentSpec ins = music.instruments[k % music.instruments.size()];
      ins.mapAll(static_cast<uint8_t>(k + 1));
      m.instruments.push_back(ins);
    }
  }
  return m;
}
