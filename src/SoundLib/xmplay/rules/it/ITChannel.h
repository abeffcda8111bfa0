#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"
#include "SoundLib/xmplay/engine/Sequencer.h"

namespace it {

// Where an envelope is: the tick it has come to and the point it is past.
struct EnvelopePosition {
  int32_t tick;
  int32_t point;
  bool on;  // the instrument's switch, as S77 to S7C left it for this note
};

enum EnvelopeKind { kVolumeEnvelope, kPanningEnvelope, kPitchEnvelope, kEnvelopes };

// What sounds on one mixer voice: a note a channel started, driven by the channel while it is the
// channel's own voice, going on by itself (its volume, panning and pitch as they were) once a new
// note sent it to the background.
struct ITVoice {
  const Instrument* instrument;  // none: the voice is not Impulse Tracker's (silent)
  const Sample* sample;
  int32_t channel;
  uint8_t note;  // 1..120 as the keyboard gave it
  bool keyOn;    // no note off yet
  bool fading;   // the fadeout runs
  int32_t fade;  // 65536 full, down by the instrument's fadeout a tick once fading
  EnvelopePosition envelopes[kEnvelopes];
  NewNoteAction action;  // what the next note of its channel does to it
  // What it plays at while in the background: the channel's last values.
  int32_t volume;         // 0..64, the note's volume with tremolo
  int32_t channelVolume;  // 0..64
  int32_t panning;        // 0..64, after the note's pitch-pan and swing
  bool surround;
  int64_t frequency;      // Hz x 65536 before the envelope and auto-vibrato
  int32_t cutoff, resonance;  // 0..127
  // Filtered: from a note that starts below full cutoff or with resonance, and from a macro that
  // sets either; only a note starting at full cutoff without resonance plays unfiltered again.
  bool filtered;
  int32_t swing;          // the random volume's swing: percent of the volume, -100..100
  int32_t panningOffset;  // the pitch-pan separation's and the random pan's, 0..64 scale
  bool quickRamp;         // this tick's change is a start or a cut: heard at once
  // The sample's auto-vibrato: its wave position and the depth its sweep has reached (x 256).
  int32_t autoVibratoPosition, autoVibratoDepth;
};

// One song channel under Impulse Tracker's rules: the note it plays (on its own voice, the mixer's
// voice of its index), its volumes, panning and pitch, and the memories of its commands, most of
// them their own, some shared (D, K and L; E, F and, unless the song asks for compatible Gxx, G;
// H and U).
struct ITChannel {
  int32_t index;
  uint8_t instrument;   // the last instrument number, 0 none
  uint8_t note;         // the last note as written, 1..120
  const Instrument* playing;  // the instrument of the channel's note
  const Sample* sample;       // the sample of the channel's note, none when nothing was started
  int32_t volume;         // 0..64
  int32_t volumeDelta;    // this tick's tremolo
  bool tremorMuted;
  int32_t channelVolume;  // 0..64 (Mxx, Nxy)
  int32_t panning;        // 0..64
  int32_t panningDelta;   // this tick's panbrello
  bool surround;
  // Pitch: Hz x 65536 under linear slides, else the tracker's period (an Amiga period times four,
  // scaled by the sample's C5 frequency); 0 none.
  int64_t frequency;
  int32_t period;
  int32_t pitchDelta;     // this tick's vibrato, in 1/768 octave (linear) or period units
  int32_t arpeggio;       // this tick's arpeggio, semitones
  int64_t targetFrequency;
  int32_t targetPeriod;
  bool glissando;

  uint8_t volumeSlide;      // D, K, L
  uint8_t pitchSlide;       // E, F (and G where shared)
  uint8_t portamentoSpeed;  // G
  uint8_t vibratoSpeed, vibratoDepth, vibratoPosition, vibratoWave;
  uint8_t tremoloSpeed, tremoloDepth, tremoloPosition, tremoloWave;
  uint8_t panbrelloSpeed, panbrelloDepth, panbrelloPosition, panbrelloWave;
  uint8_t tremor, tremorCount;
  bool tremorOn;
  uint8_t arpeggioMemory;
  uint8_t channelVolumeSlide;  // N
  uint8_t offset, highOffset;  // O, SAx
  uint8_t panningSlide;     // P
  uint8_t retrig, retrigCount;
  uint8_t special;          // S
  uint8_t tempo;            // T
  uint8_t globalVolumeSlide;  // W
  uint8_t columnSlide;      // the volume column's a to d
  uint8_t macro;            // SFx: the parameterised macro Z00 to Z7F send
  int32_t cutoff, resonance;  // 0..127: what the next note's filter starts from
  bool startedNote;           // a note started on the row (or at its delay)

  int32_t loopRow, loopCount;  // SBx: each channel its own
  Note delayed;             // the cell SDx holds back
  int32_t delayTick;        // the tick it starts on, -1 none
  int32_t cutTick;          // SCx, -1 none
};

// The song's flow as the tracker keeps it, and every voice's note.
struct State {
  ITChannel channels[kMaxChannels];
  ITVoice voices[kMixerChannels];
  int32_t patternDelay;   // repeats of the row still to come (SEx)
  int32_t fineDelay;      // ticks each repeat of the row lasts beyond the speed (S6x)
  RowPlan pending;  // where the song goes after the row (and its repeats)
  uint32_t random;        // the swings' generator, seeded the same at every start
};

inline State& state(XMPlayer& player) { return *static_cast<State*>(player.ruleState()); }

}  // namespace it
