#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"

namespace pt {

// One song channel under the ProTracker rules. The tracker keeps two sets of values: what the
// channel holds (its sample, period, volume, the effects' memory) and what it last wrote to the
// Amiga's sound hardware, which plays on with that until the next write; the rules write where
// the tracker writes, so what lingers lingers here too (a vibrato's last bend on a row that sets
// the volume, a tremolo's last level on the next row's first tick).
struct PTChannel {
  MixerChannel* mixer;
  const Sample* sample;  // the last instrument number's: what a note starts (none before one)
  bool started;          // a note has set the hardware going; it takes swapped samples from then on
  const Sample* voiceSample;  // what the hardware plays, or takes next where a swap waits
  int8_t note;           // the last note, 0..59 from C-0 (ProTracker's own 12..47); -1 none yet
  uint8_t finetune;      // 0..15, 8..15 the negative ones, as the tracker indexes its tables
  int32_t period;        // in quarters of an Amiga period (see PTRules.h)
  int32_t volume;        // 0..64
  int32_t heardPeriod;   // what the hardware plays
  int32_t heardVolume;
  int32_t pan;           // -128 left .. 128 right, before the separation (see PTRulesVoice.cpp)
  // Where a note starts the sample: the sample offsets since the last instrument number add up
  // here, as the tracker moves its own copy of the sample's start; one past the end leaves the
  // note only the loop.
  uint32_t start;
  bool offsetPastEnd;
  uint8_t sampleOffset;  // 9xx

  int32_t wantedPeriod;  // the tone portamento's target; 0 once reached
  uint8_t tonePortamentoSpeed;
  bool glissando;
  uint8_t vibratoSpeed, vibratoDepth, vibratoPosition, vibratoWave;
  uint8_t tremoloSpeed, tremoloDepth, tremoloPosition, tremoloWave;
  uint8_t loopRow, loopCount;  // E6x
};

// The ProTracker rules' state: the channels, and the song's flow as the tracker keeps it.
struct State {
  PTChannel channels[kMaxChannels];
  int32_t songPosition;   // the order the next row is read from
  int32_t patternRow;     // the row read next
  int32_t breakRow;       // where a jump, break or loop goes
  bool positionJump;      // Bxx or Dxx on the row: the next order from breakRow
  bool loopJump;          // E6x: breakRow in this pattern
  int32_t patternDelay;   // EEx: repeats asked for on the row
  int32_t delayLeft;      // repeats still to come
  bool enteredOrder;      // the next row read is the first of an order (for the pass watch)
  // The periods slides keep to: ProTracker's three octaves, or the five of the trackers that
  // wrote notes beyond them, where a song does.
  int32_t lowestPeriod, highestPeriod;
  bool fiveOctaves;
};

// The player holds it for the rules (RuleSet::stateSize).
inline State& state(XMPlayer& player) { return *static_cast<State*>(player.ruleState()); }

}  // namespace pt
