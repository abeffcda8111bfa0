#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"
#include "SoundLib/xmplay/engine/Sequencer.h"

namespace st3 {

// One song channel under Scream Tracker 3's rules: what plays, its period (the tracker's: an
// Amiga period times four), volume and panning, and the memories of its commands: one shared by
// most of them (the last parameter that was not zero), the tone portamento's and the vibrato's
// of their own.
struct ST3Channel {
  MixerChannel* mixer;
  const Sample* sample;  // what the channel plays, none when silent
  const Sample* next;    // the last instrument number's sample: what the next note starts
  uint8_t instrument;    // the last instrument number, 0 none
  uint8_t note;          // the last note, 1..120 from C-0
  uint32_t c2spd;        // Hz at C-4 of the sample playing

  int32_t period;        // 0 once slid to nothing: the channel is silent until the next note
  int32_t periodDelta;   // this tick's vibrato
  int32_t arpeggioPeriod;  // this tick's arpeggio note, 0 none
  int32_t afterArpeggio;   // the last arpeggio note of the row before, 0 none
  int32_t volume;        // 0..64
  int32_t volumeDelta;   // this tick's tremolo
  bool tremorMuted;
  int32_t panning;       // 0..256
  bool cut;              // cut by ^^ or SCx: a retrigger does not bring it back

  uint8_t memory;        // the last parameter that was not zero, of any command
  uint8_t tonePortamentoSpeed;
  int32_t tonePortamentoTarget;
  bool glissando;
  uint8_t vibratoSpeed, vibratoDepth, vibratoPosition, vibratoWave;
  uint8_t tremoloSpeed, tremoloDepth, tremoloPosition, tremoloWave;
  uint8_t tremorCount;
  bool tremorOn;
  uint8_t retrigCount;   // ticks since the last retrigger
  uint32_t offset;       // where the last sample offset started a note, frames, until a number

  Note delayed;          // the note SDx holds back
  bool quickRamp;        // this tick's change is a start or a cut: heard at once
  bool silent;           // the voice's level was 0 on the last tick
  // The voice's step for the period it was last worked out for.
  int32_t stepPeriod;
  uint32_t step, stepFraction;
};

// The song's flow as the tracker keeps it: one pattern loop for the whole song, the row delay.
struct State {
  ST3Channel channels[kMaxChannels];
  int32_t loopRow;     // where SBx goes back to
  int32_t loopCount;   // times still to go back; 0 none under way
  int32_t patternDelay;  // repeats of the row still to come
  int32_t fineDelay;     // ticks the row (and each repeat) lasts beyond the speed (S6x)
  RowPlan pending;  // where the song goes after the row (and its repeats)
};

// The player holds it for the rules (RuleSet::stateSize).
inline State& state(XMPlayer& player) { return *static_cast<State*>(player.ruleState()); }

}  // namespace st3
