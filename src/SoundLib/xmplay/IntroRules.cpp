#include "SoundLib/xmplay/IntroRules.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr uint8_t kEffectArpeggio = 0x0;
constexpr uint8_t kEffectPortamentoDown = 0x2;
constexpr uint8_t kEffectTonePortamento = 0x3;
constexpr uint8_t kEffectVibrato = 0x4;
constexpr uint8_t kEffectTonePortamentoVolumeSlide = 0x5;
constexpr uint8_t kEffectPositionJump = 0xB;
constexpr uint8_t kEffectKeyOff = 20;

struct Lookup {
  const Instrument* instrument;
  const Sample* sample;
};

Lookup lookUp(const Song& song, const MusicChannel& c) {
  if (c.instrumentIndex >= song.instrumentCount) return {&emptyInstrument, &emptySample};
  const Instrument& ins = song.instruments[c.instrumentIndex];
  const uint8_t number = ins.noteToSample[std::min<uint8_t>(c.noteIndex, 95)];
  return {&ins, number >= 16 ? &emptySample : ins.samples[number]};
}

void setInstrument(MusicChannel& c, const Sample& sample) {
  c.volume = sample.volume;
  c.panning = sample.panning;
  c.envelopeVolume = 64;
  c.fadeoutVolume = 65536;
  c.keyOff = 0;
  c.autoVibratoPosition = 0;
  c.autoVibratoSweepPosition = 0;
  c.vibratoPosition = 0;
  c.flags |= kVolumeChanged | kPanningChanged;
}

void fadeOut(MusicChannel& c, const Instrument& ins) {
  c.fadeoutVolume = std::max<int32_t>(0, c.fadeoutVolume - static_cast<int32_t>(ins.fadeout));
}

void tonePortamentoStep(MusicChannel& c) {
  const int32_t speed = c.tonePortamentoSpeed * 4;
  if (c.period < c.tonePortamentoTarget)
    c.period = std::min(c.period + speed, c.tonePortamentoTarget);
  else if (c.period > c.tonePortamentoTarget)
    c.period = std::max(c.period - speed, c.tonePortamentoTarget);
  c.flags |= kFrequencyChanged;
}

void advanceVibrato(MusicChannel& c) {
  int32_t position = c.vibratoPosition + c.vibratoSpeed;
  if (position > 31) position -= 64;
  c.vibratoPosition = static_cast<int8_t>(position);
}

void slideVolume(MusicChannel& c, int by) {
  c.volume = std::clamp(c.volume + by, 0, 64);
  c.flags |= kVolumeChanged;
}

void slidePanning(MusicChannel& c, int by) {
  c.panning += by;  // clamped when applied
  c.flags |= kPanningChanged;
}

void volumeColumnRow(MusicChannel& c, uint8_t b) {
  const int v = b & 15;
  if (b >= 0x10 && b <= 0x50) {
    c.volume = b - 16;
    c.flags |= kVolumeChanged;
    return;
  }
  switch (b >> 4) {
    case 0x6: case 0x8: slideVolume(c, -v); break;
    case 0x7: case 0x9: slideVolume(c, v); break;
    case 0xA: c.vibratoSpeed = static_cast<uint8_t>(v); break;
    case 0xB: c.vibratoDepth = static_cast<uint8_t>(v); break;
    case 0xC:
      c.panning = v * 16;
      c.flags |= kPanningChanged;
      break;
    case 0xD: slidePanning(c, -v); break;
    case 0xE: slidePanning(c, v); break;
    case 0xF:
      if (v != 0) c.tonePortamentoSpeed = static_cast<uint8_t>(v * 16);
      c.tonePortamentoTarget = c.targetPeriod;
      c.flags &= static_cast<uint8_t>(~kTrigger);
      break;
    default: break;
  }
}

void volumeColumnTick(MusicChannel& c, uint8_t b) {
  const int v = b & 15;
  switch (b >> 4) {
    case 0x6: slideVolume(c, -v); break;
    case 0x7: slideVolume(c, v); break;
    case 0xB:
      c.vibratoDepth = static_cast<uint8_t>(v);
      vibrato(c);
      advanceVibrato(c);
      break;
    case 0xD: slidePanning(c, -v); break;
    case 0xE: slidePanning(c, v); break;
    case 0xF: tonePortamentoStep(c); break;
    default: break;
  }
}

}  // namespace

void tickDriver(XMPlayer& player, Song& song) {
  if (song.tick == 0) {
    if (song.nextOrderPosition >= 0) song.orderPosition = song.nextOrderPosition;
    if (song.nextRow >= 0) song.row = song.nextRow;
    processRow(player, song);
    if (song.nextRow == -1) {
      song.nextRow = song.row + 1;
      if (song.nextRow >= song.patterns[song.orders[song.orderPosition]].rows) {
        song.nextOrderPosition = song.orderPosition + 1;
        if (song.nextOrderPosition >= song.songLength) song.nextOrderPosition = song.restartPosition;
        song.nextRow = 0;
      }
    }
  } else {
    processTick(player, song);
  }
  if (++song.tick >= song.speed) song.tick = 0;
}

void processRow(XMPlayer& player, Song& song) {
  song.nextOrderPosition = song.nextRow = -1;
  const Note* notes = rowNotes(song);
  const bool linear = song.flags & 1;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    MusicChannel& c = player.music[i];
    const uint8_t x = n.parameter >> 4, y = n.parameter & 15;
    const bool portamentoRow = n.effect == kEffectTonePortamento || n.effect == kEffectTonePortamentoVolumeSlide;
    const bool hasNote = n.note != 0 && n.note != kKeyOff;
    if (n.instrument != 0 && !portamentoRow) c.instrumentIndex = static_cast<uint8_t>(n.instrument - 1);
    if (hasNote && !portamentoRow) c.noteIndex = static_cast<uint8_t>(n.note - 1);
    const Lookup found = lookUp(song, c);
    if (!portamentoRow) c.sample = found.sample;
    c.flags = 0;
    if (hasNote) {
      c.note = static_cast<uint8_t>(n.note + found.sample->relativeNote - 1);
      if (linear) c.targetPeriod = 7680 - c.note * 64 - found.sample->finetune / 2;
      if (!portamentoRow) c.period = c.targetPeriod;
      c.flags = kTrigger;
    }
    c.periodDelta = 0;
    c.flags |= kFrequencyChanged | kVolumeChanged;
    if (n.instrument != 0) setInstrument(c, *found.sample);
    if (n.volume != 0) volumeColumnRow(c, n.volume);
    if (n.note == kKeyOff || n.effect == kEffectKeyOff) c.keyOff = 1;
    if (c.keyOff) {
      c.envelopeVolume = 0;
      fadeOut(c, *found.instrument);
      c.flags |= kVolumeChanged;
    }
    switch (n.effect) {
      case kEffectPortamentoDown:
        if (n.parameter) c.portamentoDownSpeed = n.parameter;
        break;
      case kEffectTonePortamento:
        if (n.parameter) c.tonePortamentoSpeed = n.parameter;
        c.tonePortamentoTarget = c.targetPeriod;
        c.flags &= static_cast<uint8_t>(~(kTrigger | kFrequencyChanged));
        break;
      case kEffectVibrato:
        if (x) c.vibratoSpeed = x;
        if (y) c.vibratoDepth = y;
        vibrato(c);
        break;
      case kEffectPositionJump:
        song.nextRow = 0;
        song.nextOrderPosition = n.parameter >= song.songLength ? 0 : n.parameter;
        break;
      default: break;
    }
    autoVibrato(c, *found.instrument);
    applyToMixer(song, c, player);
  }
}

void processTick(XMPlayer& player, Song& song) {
  const Note* notes = rowNotes(song);
  const bool linear = song.flags & 1;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    MusicChannel& c = player.music[i];
    const uint8_t x = n.parameter >> 4, y = n.parameter & 15;
    const Lookup found = lookUp(song, c);
    c.flags = 0;
    c.periodDelta = 0;
    if (c.keyOff) {
      fadeOut(c, *found.instrument);
      c.flags = kVolumeChanged;
    }
    volumeColumnTick(c, n.volume);
    switch (n.effect) {
      case kEffectArpeggio:
        if (n.parameter) {
          if (linear) {
            const int phase = song.tick % 3;
            if (phase == 1) c.periodDelta = x * 64;
            if (phase == 2) c.periodDelta = y * 64;
          }
          c.flags |= kFrequencyChanged;
        }
        break;
      case kEffectPortamentoDown:
        c.period = std::min(c.period + c.portamentoDownSpeed * 4, kMaxPeriod);
        c.periodDelta = 0;
        c.flags |= kFrequencyChanged;
        break;
      case kEffectTonePortamento:
        c.periodDelta = 0;
        tonePortamentoStep(c);
        break;
      case kEffectVibrato:
        vibrato(c);
        advanceVibrato(c);
        break;
      default: break;
    }
    autoVibrato(c, *found.instrument);
    applyToMixer(song, c, player);
  }
}

void vibrato(MusicChannel& c) {
  // Single precision, as the intro's player always had it: a quarter wave is then exactly 1,
  // so the amplitude reaches 256 and depth 15 swings +-120.
  const float angle = static_cast<float>(c.vibratoPosition) * 2 * 0.049087375f;
  const int32_t amplitude = static_cast<int32_t>(std::fabs(std::sin(angle)) * 256);
  const int32_t delta = ((amplitude * c.vibratoDepth) >> 5) & ~3;
  c.periodDelta = c.vibratoPosition < 0 ? delta : -delta;
  c.flags |= kFrequencyChanged;
}

void autoVibrato(MusicChannel& c, const Instrument& ins) {
  const int32_t p = c.autoVibratoPosition;
  int32_t wave = 0;
  switch (ins.vibratoType) {
    case 0: wave = static_cast<int32_t>(std::sin(static_cast<float>(p) * 0.024543688f) * 64); break;
    case 1: wave = p < 128 ? 64 : -64; break;
    case 2: wave = (128 - ((p + 128) % 256)) >> 1; break;
    case 3: wave = (128 - ((384 - p) % 256)) >> 1; break;
    default: wave = 0; break;  // no such wave in a valid module
  }
  int32_t v = wave * ins.vibratoDepth;
  if (ins.vibratoSweep != 0) v = v * c.autoVibratoSweepPosition / ins.vibratoSweep;
  c.periodDelta += v >> 6;
  c.autoVibratoSweepPosition = std::min<int32_t>(c.autoVibratoSweepPosition + 1, ins.vibratoSweep);
  c.autoVibratoPosition += ins.vibratoRate;
  if (c.autoVibratoPosition > 255) c.autoVibratoPosition -= 256;
  c.flags |= kFrequencyChanged;
}

int64_t linearFrequency(int32_t period, int32_t periodDelta) {
  const double exponent = static_cast<double>(4608 - period + periodDelta) * static_cast<double>(0.0013020834f);
  // Far outside the audible range a module could ask for more than 32 bits of Hz; cap it.
  return static_cast<int64_t>(std::min(8363.0 * std::pow(2.0, exponent), 4e9));
}

void applyToMixer(const Song& song, MusicChannel& c, XMPlayer& player) {
  if (c.period + c.periodDelta == 0) c.flags &= static_cast<uint8_t>(~kFrequencyChanged);
  MixerChannel* m = c.mixer;
  if (c.flags & kTrigger) {
    c.mixer = m = takeVoice(player, m);
    startVoice(*m, c.sample);
  }
  if (c.flags & kVolumeChanged) {
    const double v = static_cast<double>(c.volume) * c.envelopeVolume * c.fadeoutVolume * song.globalVolume * 255 /
                     34359738368.0;
    m->volume = static_cast<int32_t>(v);
    m->leftTarget = m->volume * m->panning / 255;
    m->rightTarget = (255 - m->panning) * m->volume / 255;
  }
  if (c.flags & kPanningChanged) {
    const int32_t p = std::clamp(c.panning, 0, 255);
    m->panning = p;
    m->leftTarget = m->volume * p / 255;
    m->rightTarget = (255 - p) * m->volume / 255;
  }
  if (c.flags & kFrequencyChanged) {
    const int64_t f = (song.flags & 1) ? linearFrequency(c.period, c.periodDelta)
                                       : 14317056 / static_cast<int64_t>(c.period + c.periodDelta);
    setStep(*m, f, player.rate);
  }
}
