// Pitch and the voices under Impulse Tracker's rules: a note's frequency or period, slides, the
// new-note and duplicate actions, envelopes, fadeout, the sample's auto-vibrato, the filter, and
// what every voice gives the mixer once a tick.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "SoundLib/xmplay/engine/Filter.h"
#include "SoundLib/xmplay/rules/it/ITRules.h"

namespace it {
namespace {
// The periods of C-5 to B-5 at 8363 Hz: ProTracker's of its middle octave times four; an octave
// up halves them.
constexpr int32_t kMiddleOctave[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
// Hz x period: C-5 (period 1712) plays at 8363 Hz.
constexpr int64_t kClock = int64_t{8363} * 1712;
constexpr int64_t kUnity = 65536;
// Slides stop at 4 MHz (x 65536), far above anything heard and far from the step's limits.
constexpr int64_t kHighestFrequency = int64_t{4000000} * kUnity;

int64_t periodFrequency(int32_t period) { return period > 0 ? (kClock * kUnity) / period : 0; }

MixerChannel& mixerOf(XMPlayer& player, int32_t voice) { return player.mixer[voice]; }

// How loud a voice at full volume plays, both sides together, as openmpt123 plays IT: the
// header's mix volume over 128; at ModPlug Tracker's original levels, the mix volume as its
// pre-amp (48 its default) on those.
float mixGain(const Song& song) {
  if (song.levels == MixLevels::kModPlug)
    return modPlugGain(song.levelChannels ? song.levelChannels : song.channelCount) * static_cast<float>(song.mixVolume) / 48;
  return static_cast<float>(song.mixVolume) / 128;
}

// The voice goes quiet over the player's short ramp and is done.
void rampOut(XMPlayer& player, MixerChannel& m) {
  m.leftTarget = m.rightTarget = 0;
  m.rampLength = player.rampLength;
  m.leftBehind = true;
}

// The channel's voice goes on in the background, with what it plays.
int32_t toBackground(XMPlayer& player, int32_t channel) {
  State& s = state(player);
  if (player.courseOnly) {
    // Followed for its course alone (no voice moves on), the song leaves nothing behind: the
    // background would only fill up with notes that never end.
    mixerOf(player, channel).sample = nullptr;
    s.voices[channel].instrument = nullptr;
    return -1;
  }
  MixerChannel* to = sendToBackground(player, mixerOf(player, channel));
  if (!to) return -1;
  s.voices[to->index] = s.voices[channel];
  s.voices[channel].instrument = nullptr;
  return to->index;
}

// What a note's action does to a voice.
void act(XMPlayer& player, int32_t voice, NewNoteAction action) {
  switch (action) {
    case NewNoteAction::kCut: cutNote(player, voice); break;
    case NewNoteAction::kNoteOff: noteOff(player, state(player).voices[voice]); break;
    case NewNoteAction::kFade: fadeNote(state(player).voices[voice]); break;
    case NewNoteAction::kContinue: break;
  }
}

NewNoteAction duplicateAction(DuplicateAction a) {
  switch (a) {
    case DuplicateAction::kNoteOff: return NewNoteAction::kNoteOff;
    case DuplicateAction::kFade: return NewNoteAction::kFade;
    case DuplicateAction::kCut: break;
  }
  return NewNoteAction::kCut;
}

// Whether a voice of the channel is a duplicate of the new note by the instrument's check.
bool duplicates(const ITVoice& v, const Instrument& instrument, uint8_t note, const Sample* sample) {
  if (v.instrument != &instrument) return false;
  switch (instrument.duplicateCheck) {
    case DuplicateCheck::kNote: return v.note == note;
    case DuplicateCheck::kSample: return v.sample == sample;
    case DuplicateCheck::kInstrument: return true;
    case DuplicateCheck::kOff: break;
  }
  return false;
}
}  // namespace

int64_t noteFrequency(int note, uint32_t c5) {
  if (c5 == 0) c5 = 8363;
  const double frequency = static_cast<double>(c5) * kUnity * std::exp2((std::clamp(note, 1, int{kKeyboardNotes}) - 61) / 12.0);
  return std::llround(std::min(frequency, static_cast<double>(kHighestFrequency)));
}

int32_t notePeriod(int note, uint32_t c5) {
  if (c5 == 0) c5 = 8363;
  const int n = std::clamp(note, 1, int{kKeyboardNotes}) - 1;
  const int octave = n / 12 - 5;
  const int64_t base = int64_t{kMiddleOctave[n % 12]} * 8363 * 64;
  const int64_t scaled = octave >= 0 ? base >> octave : base << -octave;
  return static_cast<int32_t>(std::max<int64_t>(1, scaled / 64 / c5));
}

int64_t shiftFrequency(int64_t frequency, int32_t units) {
  if (units == 0) return frequency;
  const double shifted = static_cast<double>(frequency) * std::exp2(units / 768.0);
  return std::llround(std::clamp(shifted, 1.0, static_cast<double>(kHighestFrequency)));
}

void slidePitch(const Song& song, ITChannel& c, int32_t units) {
  if (!c.sample) return;
  if (linearSlides(song)) {
    if (c.frequency > 0) c.frequency = std::max<int64_t>(1, shiftFrequency(c.frequency, units));
  } else if (c.period > 0) {
    c.period = std::clamp(c.period - units, 1, 1 << 24);
  }
}

int32_t nextRandom(State& s) {
  s.random = s.random * 1103515245u + 12345u;
  return static_cast<int32_t>((s.random >> 16) & 0xFFFF) - 32768;
}

void startNote(XMPlayer& player, const Song& song, ITChannel& c, uint8_t note, const Sample* sample,
               const Instrument* instrument, uint32_t offset) {
  State& s = state(player);
  const bool instruments = song.headerFlags & kInstruments;
  // The duplicates of the new note among the channel's notes first, then the note before it.
  if (instruments && instrument->duplicateCheck != DuplicateCheck::kOff)
    for (int i = 0; i < player.voiceCount; ++i) {
      const ITVoice& v = s.voices[i];
      if (v.instrument && v.channel == c.index && mixerOf(player, i).sample && duplicates(v, *instrument, note, sample))
        act(player, i, duplicateAction(instrument->duplicateAction));
    }
  const ITVoice before = s.voices[c.index];
  if (before.instrument && mixerOf(player, c.index).sample) {
    const NewNoteAction action = instruments ? before.action : NewNoteAction::kCut;
    const int32_t moved = toBackground(player, c.index);
    if (moved >= 0) act(player, moved, action);
  }

  ITVoice& v = s.voices[c.index];
  v = ITVoice{};
  v.instrument = instrument;
  v.sample = sample;
  v.channel = c.index;
  v.note = note;
  v.keyOn = true;
  v.fade = 65536;
  v.action = instrument->newNoteAction;
  v.quickRamp = true;
  const Envelope* envelopes[kEnvelopes] = {&instrument->volume, &instrument->panning, &instrument->pitch};
  for (int k = 0; k < kEnvelopes; ++k) {
    v.envelopes[k].on = envelopes[k]->flags & kEnvelopeOn;
    // A carried envelope goes on from where the instrument's last note had it.
    if ((envelopes[k]->flags & kEnvelopeCarry) && before.instrument == instrument) {
      v.envelopes[k].tick = before.envelopes[k].tick;
      v.envelopes[k].point = before.envelopes[k].point;
    }
  }
  // The pitch-pan separation, and the swings.
  if (instrument->pitchPanSeparation)
    v.panningOffset = (note - instrument->pitchPanCentre) * instrument->pitchPanSeparation / 8;
  if (instrument->randomVolume) v.swing = nextRandom(s) * instrument->randomVolume / 32768;
  if (instrument->randomPanning) v.panningOffset += nextRandom(s) * instrument->randomPanning / 32768;
  if (instrument->filterCutoff >= 0) c.cutoff = instrument->filterCutoff;
  if (instrument->filterResonance >= 0) c.resonance = instrument->filterResonance;

  c.sample = sample;
  c.playing = instrument;
  c.frequency = noteFrequency(note, sample->c5Speed);
  c.period = notePeriod(note, sample->c5Speed);
  c.targetFrequency = c.frequency;
  c.targetPeriod = c.period;
  c.retrigCount = 0;
  v.frequency = c.frequency;

  MixerChannel& m = mixerOf(player, c.index);
  startVoice(m, sample);
  m.channel = c.index;
  m.leftBehind = false;
  clearVoiceFilter(m);
  if (m.sample && offset) {
    // Past the end the offset is not taken (old effects: it plays from the end, silent).
    if (offset < sample->length)
      m.position = offset;
    else if (oldEffects(song))
      m.sample = nullptr;
  }
}

void noteOff(XMPlayer& player, ITVoice& v) {
  if (!v.instrument) return;
  v.keyOn = false;
  const int32_t index = static_cast<int32_t>(&v - state(player).voices);
  releaseSustain(mixerOf(player, index));
  // Without a volume envelope, or with one that loops, the note fades from here.
  const Envelope& volume = v.instrument->volume;
  if (!v.envelopes[kVolumeEnvelope].on || (volume.flags & kEnvelopeLoop)) v.fading = true;
}

void cutNote(XMPlayer& player, int32_t voice) {
  State& s = state(player);
  MixerChannel& m = mixerOf(player, voice);
  if (!m.sample) return;
  if (voice < kChannelVoices) {
    // The channel's voice is free for its next note at once, the cut sound ramping out apart.
    const int32_t moved = toBackground(player, voice);
    if (moved < 0) return;
    voice = moved;
  }
  rampOut(player, mixerOf(player, voice));
  s.voices[voice].instrument = nullptr;
}

void fadeNote(ITVoice& v) {
  if (v.instrument) v.fading = true;
}

void pastNotes(XMPlayer& player, const ITChannel& c, NewNoteAction action) {
  State& s = state(player);
  for (int i = kChannelVoices; i < player.voiceCount; ++i)
    if (s.voices[i].instrument && s.voices[i].channel == c.index && mixerOf(player, i).sample) act(player, i, action);
}

int32_t envelopeValue(const Envelope& e, int32_t tick, int32_t scale) {
  if (e.count == 0) return 0;
  if (tick <= e.points[0].tick) return e.points[0].value * scale;
  for (int i = 1; i < e.count; ++i) {
    const EnvelopePoint& a = e.points[i - 1];
    const EnvelopePoint& b = e.points[i];
    if (tick <= b.tick) {
      const int32_t span = b.tick - a.tick;
      if (span <= 0) return b.value * scale;
      return a.value * scale + (b.value - a.value) * scale * (tick - a.tick) / span;
    }
  }
  return e.points[e.count - 1].value * scale;
}

void advanceEnvelope(const Envelope& e, EnvelopePosition& at, bool keyOn) {
  if (e.count == 0) return;
  ++at.tick;
  const int last = e.count - 1;
  if (keyOn && (e.flags & kEnvelopeSustain) && e.sustainEnd <= last) {
    if (at.tick > e.points[e.sustainEnd].tick) at.tick = e.points[std::min<int>(e.sustainStart, e.sustainEnd)].tick;
  } else if ((e.flags & kEnvelopeLoop) && e.loopEnd <= last) {
    if (at.tick > e.points[e.loopEnd].tick) at.tick = e.points[std::min<int>(e.loopStart, e.loopEnd)].tick;
  } else if (at.tick > e.points[last].tick) {
    at.tick = e.points[last].tick + 1;
  }
  while (at.point < last && at.tick > e.points[at.point + 1].tick) ++at.point;
  while (at.point > 0 && at.tick < e.points[at.point].tick) --at.point;
}

float voiceGain(const Song& song, const ITVoice& v, int32_t envelopeVolume) {
  const float swing = 1 + static_cast<float>(v.swing) / 100;
  const float note = static_cast<float>(std::clamp(static_cast<int32_t>(std::lround(v.volume * swing)), 0, 64)) / 64;
  const float instrument = static_cast<float>(v.instrument->globalVolume) / 128;
  const float sample = static_cast<float>(v.sample ? v.sample->globalVolume : 64) / 64;
  return note * static_cast<float>(v.channelVolume) / 64 * sample * instrument * static_cast<float>(envelopeVolume) / 64 *
         static_cast<float>(v.fade) / 65536 * static_cast<float>(song.globalVolume) / 128;
}

void updateVoices(XMPlayer& player, const Song& song) {
  State& s = state(player);
  const bool linear = linearSlides(song);
  for (int i = 0; i < player.voiceCount; ++i) {
    ITVoice& v = s.voices[i];
    MixerChannel& m = player.mixer[i];
    if (!v.instrument) continue;
    if (!m.sample) {
      if (i >= kChannelVoices) v.instrument = nullptr;
      continue;
    }
    int64_t frequency = v.frequency;
    if (i < song.channelCount) {
      // The channel's own note plays what the channel has now.
      const ITChannel& c = s.channels[i];
      v.volume = c.tremorMuted ? 0 : std::clamp(c.volume + c.volumeDelta, 0, 64);
      v.channelVolume = c.channelVolume;
      v.panning = std::clamp(c.panning + c.panningDelta, 0, 64);
      v.surround = c.surround;
      v.cutoff = c.cutoff;
      v.resonance = c.resonance;
      const bool asks = c.cutoff < 127 || c.resonance > 0;
      v.filtered = (v.filtered && !c.startedNote) || asks;
      v.frequency = linear ? c.frequency : periodFrequency(c.period);
      frequency = linear ? shiftFrequency(c.frequency, c.pitchDelta) : periodFrequency(std::max(1, c.period - c.pitchDelta));
      if (c.arpeggio) frequency = shiftFrequency(frequency, c.arpeggio * 64);
    }
    const Instrument& ins = *v.instrument;

    int32_t envelopeVolume = 64;
    if (v.envelopes[kVolumeEnvelope].on && ins.volume.count) {
      EnvelopePosition& at = v.envelopes[kVolumeEnvelope];
      envelopeVolume = std::clamp(envelopeValue(ins.volume, at.tick), 0, 64);
      advanceEnvelope(ins.volume, at, v.keyOn);
      // Past its last point the note fades; at nothing there, it is over.
      if (at.tick > ins.volume.points[ins.volume.count - 1].tick) {
        if (envelopeVolume == 0) {
          rampOut(player, m);
          v.instrument = nullptr;
          continue;
        }
        v.fading = true;
      }
    }
    int32_t panning = std::clamp(v.panning + v.panningOffset, 0, 64);
    if (v.envelopes[kPanningEnvelope].on && ins.panning.count) {
      EnvelopePosition& at = v.envelopes[kPanningEnvelope];
      const int32_t value = std::clamp(envelopeValue(ins.panning, at.tick), -32, 32);
      advanceEnvelope(ins.panning, at, v.keyOn);
      panning += value * (32 - std::abs(panning - 32)) / 32;
    }
    int32_t filterEnvelope = -1;
    if (v.envelopes[kPitchEnvelope].on && ins.pitch.count) {
      EnvelopePosition& at = v.envelopes[kPitchEnvelope];
      // As pitch, in 1/32 of its steps (half a semitone each, 32 units of 768 an octave).
      const int32_t value = std::clamp(envelopeValue(ins.pitch, at.tick, 32), -32 * 32, 32 * 32);
      advanceEnvelope(ins.pitch, at, v.keyOn);
      if (ins.pitch.flags & kEnvelopeFilter)
        filterEnvelope = value / 32 + 32;
      else
        frequency = shiftFrequency(frequency, value);
    }
    if (v.fading) {
      v.fade -= static_cast<int32_t>(std::min<uint32_t>(ins.fadeout, 65536));
      if (v.fade <= 0) {
        // Faded out, the note is over as a cut one is: the channel forgets it (a note its
        // envelope ends at nothing is still there for a number alone to play again).
        v.fade = 0;
        rampOut(player, m);
        v.instrument = nullptr;
        if (i < song.channelCount) s.channels[i].note = 0;
        continue;
      }
    }
    // The sample's auto-vibrato: its depth grows by the sweep each tick up to the sample's depth.
    if (v.sample && v.sample->vibratoDepth) {
      const Sample& smp = *v.sample;
      const int32_t full = smp.vibratoDepth * 256;
      v.autoVibratoDepth = smp.vibratoSweep ? std::min(full, v.autoVibratoDepth + smp.vibratoSweep) : full;
      const int32_t delta = wave(s, smp.vibratoType, static_cast<uint8_t>(v.autoVibratoPosition)) *
                            (v.autoVibratoDepth >> 8) / 64;
      v.autoVibratoPosition = (v.autoVibratoPosition + smp.vibratoRate) & 255;
      frequency = shiftFrequency(frequency, delta);
    }

    const float level = voiceGain(song, v, envelopeVolume) * mixGain(song) * player.targetScale;
    // The header's separation draws the sides towards the centre.
    panning = 32 + (std::clamp(panning, 0, 64) - 32) * song.panSeparation / 128;
    if (v.surround || !(song.headerFlags & kStereo)) panning = 32;
    const float pan = static_cast<float>(std::clamp(panning, 0, 64)) / 64;
    m.rampLength = v.quickRamp ? player.rampLength : song.samplesPerTick;
    v.quickRamp = false;
    m.leftTarget = static_cast<int32_t>(level * (1 - pan) + 0.5f);
    m.rightTarget = static_cast<int32_t>(level * pan + 0.5f);
    if (frequency > 0) {
      const uint64_t step = (static_cast<uint64_t>(frequency) << 16) / static_cast<uint64_t>(player.rate);
      m.step = static_cast<uint32_t>(step >> 32);
      m.stepFraction = static_cast<uint32_t>(step);
    }
    // The filter: the note's cutoff (moved by the filter envelope) and resonance.
    int32_t cutoff = v.cutoff * 2;
    if (filterEnvelope >= 0) cutoff = cutoff * filterEnvelope / 64;
    if (v.filtered)
      setVoiceFilter(m, cutoff, v.resonance, player.rate);
    else if (m.filter.on)
      clearVoiceFilter(m);
  }
}

}  // namespace it
