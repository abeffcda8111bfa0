#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"

namespace intro {

// One song channel under the intro's rules: what plays, its pitch and levels, and the memory of
// the few effects the intro's module uses.
struct IntroChannel {
  uint8_t noteIndex;
  uint8_t flags;  // what this tick changed: kFrequencyChanged, kVolumeChanged, kPanningChanged, kTrigger
  MixerChannel* mixer;
  const Sample* sample;
  int32_t period;
  int32_t volume;
  int32_t panning;
  int32_t periodDelta;
  int32_t envelopeVolume;
  int32_t fadeoutVolume;
  int32_t autoVibratoPosition;
  int32_t autoVibratoSweepPosition;
  uint8_t keyOff;
  uint8_t instrumentIndex;
  uint8_t note;
  int32_t targetPeriod;
  uint8_t portamentoDownSpeed;
  int32_t tonePortamentoTarget;
  uint8_t tonePortamentoSpeed;
  int8_t vibratoPosition;
  uint8_t vibratoSpeed;
  uint8_t vibratoDepth;
  // The level (0..127) and panning (0..255, 255 all left) last given to the mixer: a change of
  // one alone works out the two sides' targets from the other.
  int32_t mixerVolume;
  int32_t mixerPanning;
};

constexpr uint8_t kFrequencyChanged = 1;
constexpr uint8_t kVolumeChanged = 2;
constexpr uint8_t kPanningChanged = 4;
constexpr uint8_t kTrigger = 8;

// The intro's rules keep nothing but their channels.
struct State {
  IntroChannel channels[kMaxChannels];
};

// The player holds it for the rules (RuleSet::stateSize).
inline State& state(XMPlayer& player) { return *static_cast<State*>(player.ruleState()); }

}  // namespace intro
