#include "SoundLib/xmplay/rules/intro/IntroRules.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace intro {

const RuleSet kRules = {
    .name = "intro",
    .title = "intro's",
    .formats = "XM",
    .stateSize = sizeof(State),
    .songStart = songStart,
    .seekOrder = seekOrder,
    .tick = tickDriver,
    // Every header at its usual size, FastTracker 2's 16 samples an instrument and 256 rows a
    // pattern; loops as they are (a ramp's level is rounded where a run ends, so the mixer's
    // wraps are part of the sound).
    .read = {.headersAsStored = false, .maxRows = 256, .maxSamplesPerInstrument = 16, .maxBPM = 999,
             .shortestMixedLoop = 0},
    .targetScale = 255,  // targets in 0..255
    .rampFrames = 128,
};

namespace {

struct Lookup {
  const Instrument* instrument;
  const Sample* sample;
};

Lookup lookUp(const Song& song, const IntroChannel& c) {
  if (c.instrumentIndex >= song.instrumentCount) return {&emptyInstrument, &emptySample};
  const Instrument& ins = song.instruments[c.instrumentIndex];
  const uint8_t number = ins.noteToSample[std::min<uint8_t>(c.noteIndex, 95)];
  return {&ins, number >= 16 ? &emptySample : ins.samples[number]};
}

void setInstrument(IntroChannel& c, const Sample& sample) {
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

void fadeOut(IntroChannel& c, const Instrument& ins) {
  c.fadeoutVolume = std::max<int32_t>(0, c.fadeoutVolume - static_cast<int32_t>(ins.fadeout));
}

void tonePortamentoStep(IntroChannel& c) {
  c.period = slideTowards(c.period, c.tonePortamentoTarget, c.tonePortamentoSpeed * 4);
  c.flags |= kFrequencyChanged;
}

void advanceVibrato(IntroChannel& c) {
  int32_t position = c.vibratoPosition + c.vibratoSpeed;
  if (position > 31) position -= 64;
  c.vibratoPosition = static_cast<int8_t>(position);
}

void slideVolume(IntroChannel& c, int by) {
  c.volume = std::clamp(c.volume + by, 0, 64);
  c.flags |= kVolumeChanged;
}

void slidePanning(IntroChannel& c, int by) {
  c.panning += by;  // clamped when applied
  c.flags |= kPanningChanged;
}

// On a row the slides, fine or not, all act once; the panning slides too.
void volumeColumnRow(IntroChannel& c, uint8_t b) {
  const auto [command, v] = decodeVolumeColumn(b);
  switch (command) {
    case VolumeCommand::kSetVolume:
      c.volume = v;
      c.flags |= kVolumeChanged;
      break;
    case VolumeCommand::kSlideDown: case VolumeCommand::kFineSlideDown: slideVolume(c, -v); break;
    case VolumeCommand::kSlideUp: case VolumeCommand::kFineSlideUp: slideVolume(c, v); break;
    case VolumeCommand::kVibratoSpeed: c.vibratoSpeed = v; break;
    case VolumeCommand::kVibrato: c.vibratoDepth = v; break;
    case VolumeCommand::kSetPanning:
      c.panning = v * 16;
      c.flags |= kPanningChanged;
      break;
    case VolumeCommand::kPanningLeft: slidePanning(c, -v); break;
    case VolumeCommand::kPanningRight: slidePanning(c, v); break;
    case VolumeCommand::kTonePortamento:
      if (v != 0) c.tonePortamentoSpeed = static_cast<uint8_t>(v * 16);
      c.tonePortamentoTarget = c.targetPeriod;
      c.flags &= static_cast<uint8_t>(~kTrigger);
      break;
    case VolumeCommand::kNone: break;
  }
}

void volumeColumnTick(IntroChannel& c, uint8_t b) {
  const auto [command, v] = decodeVolumeColumn(b);
  switch (command) {
    case VolumeCommand::kSlideDown: slideVolume(c, -v); break;
    case VolumeCommand::kSlideUp: slideVolume(c, v); break;
    case VolumeCommand::kVibrato:
      c.vibratoDepth = v;
      vibrato(c);
      advanceVibrato(c);
      break;
    case VolumeCommand::kPanningLeft: slidePanning(c, -v); break;
    case VolumeCommand::kPanningRight: slidePanning(c, v); break;
    case VolumeCommand::kTonePortamento: tonePortamentoStep(c); break;
    default: break;
  }
}

}  // namespace

void setTempo(XMPlayer& player, Song& song, int32_t bpm) {
  song.bpm = bpm;
  const float perTick = 1000.0f / (static_cast<float>(bpm) * 0.4f) * static_cast<float>(player.rate) * 0.001f;
  // A tick always lasts at least one frame, or the block fill could not advance.
  song.samplesPerTick = std::max(1, static_cast<int32_t>(perTick));
}

void songStart(XMPlayer& player, Song& song) {
  setTempo(player, song, song.defaultBPM);
  for (int i = 0; i < song.channelCount; ++i) state(player).channels[i].mixer = &player.mixer[i];
}

// The intro's rules keep nothing about the position.
void seekOrder(XMPlayer&, Song&) {}

void tickDriver(XMPlayer& player, Song& song) {
  if (song.tick == 0) {
    if (song.nextOrderPosition >= 0) song.orderPosition = song.nextOrderPosition;
    if (song.nextRow >= 0) song.row = song.nextRow;
    processRow(player, song);
    if (song.nextRow == -1) {
      song.nextRow = song.row + 1;
      if (song.nextRow >= patternRows(song, song.orderPosition)) {
        song.nextOrderPosition = wrapOrder(song, song.orderPosition + 1);
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
  const bool linear = linearTable(song);
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    IntroChannel& c = state(player).channels[i];
    const uint8_t x = n.parameter >> 4, y = n.parameter & 15;
    const bool portamentoRow = n.effect == effect::kTonePortamento || n.effect == effect::kTonePortamentoVolumeSlide;
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
    if (n.note == kKeyOff || n.effect == effect::kKeyOff) c.keyOff = 1;
    if (c.keyOff) {
      c.envelopeVolume = 0;
      fadeOut(c, *found.instrument);
      c.flags |= kVolumeChanged;
    }
    switch (n.effect) {
      case effect::kPortamentoDown:
        if (n.parameter) c.portamentoDownSpeed = n.parameter;
        break;
      case effect::kTonePortamento:
        if (n.parameter) c.tonePortamentoSpeed = n.parameter;
        c.tonePortamentoTarget = c.targetPeriod;
        c.flags &= static_cast<uint8_t>(~(kTrigger | kFrequencyChanged));
        break;
      case effect::kVibrato:
        if (x) c.vibratoSpeed = x;
        if (y) c.vibratoDepth = y;
        vibrato(c);
        break;
      case effect::kPositionJump:
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
  const bool linear = linearTable(song);
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    IntroChannel& c = state(player).channels[i];
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
      case effect::kArpeggio:
        if (n.parameter) {
          if (linear) {
            const int phase = song.tick % 3;
            if (phase == 1) c.periodDelta = x * 64;
            if (phase == 2) c.periodDelta = y * 64;
          }
          c.flags |= kFrequencyChanged;
        }
        break;
      case effect::kPortamentoDown:
        c.period = std::min(c.period + c.portamentoDownSpeed * 4, kPortamentoDownStop);
        c.periodDelta = 0;
        c.flags |= kFrequencyChanged;
        break;
      case effect::kTonePortamento:
        c.periodDelta = 0;
        tonePortamentoStep(c);
        break;
      case effect::kVibrato:
        vibrato(c);
        advanceVibrato(c);
        break;
      default: break;
    }
    autoVibrato(c, *found.instrument);
    applyToMixer(song, c, player);
  }
}

void vibrato(IntroChannel& c) {
  // Single precision, as the intro's player always had it: a quarter wave is then exactly 1,
  // so the amplitude reaches 256 and depth 15 swings +-120.
  const float angle = static_cast<float>(c.vibratoPosition) * 2 * kVibratoAngleStep;
  const int32_t amplitude = static_cast<int32_t>(std::fabs(std::sin(angle)) * 256);
  const int32_t delta = ((amplitude * c.vibratoDepth) >> 5) & ~3;
  c.periodDelta = c.vibratoPosition < 0 ? delta : -delta;
  c.flags |= kFrequencyChanged;
}

void autoVibrato(IntroChannel& c, const Instrument& ins) {
  const int32_t p = c.autoVibratoPosition;
  int32_t wave = 0;
  switch (ins.vibratoType) {
    case 0: wave = static_cast<int32_t>(std::sin(static_cast<float>(p) * kAutoVibratoAngleStep) * 64); break;
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
  const double exponent = static_cast<double>(4608 - period + periodDelta) * static_cast<double>(kLinearOctave);
  // Far outside the audible range a module could ask for more than 32 bits of Hz; cap it.
  return static_cast<int64_t>(std::min(8363.0 * std::pow(2.0, exponent), 4e9));
}

void applyToMixer(const Song& song, IntroChannel& c, XMPlayer& player) {
  if (c.period + c.periodDelta == 0) c.flags &= static_cast<uint8_t>(~kFrequencyChanged);
  MixerChannel* m = c.mixer;
  if (c.flags & kTrigger) {
    c.mixer = m = takeVoice(player, m);
    startVoice(*m, c.sample);
  }
  if (c.flags & kVolumeChanged) {
    const double v =
        static_cast<double>(c.volume) * c.envelopeVolume * c.fadeoutVolume * song.globalVolume * 255 / kFullLevel;
    c.mixerVolume = static_cast<int32_t>(v);
    m->leftTarget = c.mixerVolume * c.mixerPanning / 255;
    m->rightTarget = (255 - c.mixerPanning) * c.mixerVolume / 255;
  }
  if (c.flags & kPanningChanged) {
    const int32_t p = std::clamp(c.panning, 0, 255);
    c.mixerPanning = p;
    m->leftTarget = c.mixerVolume * p / 255;
    m->rightTarget = (255 - p) * c.mixerVolume / 255;
  }
  if (c.flags & kFrequencyChanged) {
    const int64_t f = linearTable(song) ? linearFrequency(c.period, c.periodDelta)
                                        : kAmigaClock / static_cast<int64_t>(c.period + c.periodDelta);
    setStep(*m, f, player.rate);
  }
}

void setStep(MixerChannel& m, int64_t frequency, int32_t rate) {
  const uint64_t f = static_cast<uint64_t>(std::max<int64_t>(frequency, 100));
  const uint64_t r = static_cast<uint64_t>(rate);
  m.step = static_cast<uint32_t>(f / r);
  m.stepFraction = static_cast<uint32_t>(((f % r) << 32) / r);
}

}  // namespace intro
