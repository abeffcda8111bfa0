#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"

namespace ft2 {

// Where an envelope stands: its position in ticks since the note started (or since Lxx moved
// it), the value it gave on the last tick, and whether it has been held at its sustain.
struct EnvelopeState {
  int32_t tick;
  int32_t value;  // 0..64; the panning envelope's centre is 32
  bool sustained;  // it has been held at its sustain point with the key down
};

// One song channel under the FastTracker 2 rules: what plays, its pitch, volume and panning,
// the envelopes, and the memory every effect keeps between rows.
struct FT2Channel {
  MixerChannel* mixer;
  const Instrument* instrument;  // of the sounding note (the empty instrument when none)
  const Sample* sample;          // the sounding sample, none when the channel is silent
  uint8_t instrumentNumber;      // last instrument named, 1-based; 0 none yet
  uint8_t noteNumber;            // last note played, 1..96; 0 none yet
  uint8_t defaultVolume;         // what an instrument number brings back: the last sample's
  int32_t defaultPanning;
  bool hadSample;                // a note has played a sample on the channel
  // An instrument number came before any sample played: the next note's sample brings its
  // volume and panning, with or without a number of its own.
  bool defaultsPending;
  int16_t realNote;              // note + relative note, 0-based
  int8_t finetune;

  int32_t period;       // the channel's pitch; slides act on it
  int32_t periodDelta;  // this tick's arpeggio or vibrato offset on top of it
  int32_t volume;       // 0..64
  int32_t volumeDelta;  // this tick's tremolo offset
  bool tremorMuted;
  bool quickRamp;  // this tick's change is a start, a set or a cut, heard at once: no ramp across the tick
  bool silent;     // the voice's volume was 0 on the last tick
  int32_t panning;  // 0..255, 128 centre
  bool keyOff;
  bool releasedWithInstrument;  // a key off that came with an instrument number
  int32_t fadeout;  // 65536 down to 0 after key off
  EnvelopeState volumeEnvelope, panningEnvelope;
  int32_t autoVibratoPosition;  // 0..255
  int32_t autoVibratoTicks;     // since the note started, for the sweep

  int32_t tonePortamentoTarget;
  uint8_t tonePortamentoSpeed;
  bool glissando;
  bool glided;  // the pitch heard is a glissando's semitone
  uint8_t portamentoUp, portamentoDown;                // 1xx, 2xx
  uint8_t finePortamentoUp, finePortamentoDown;        // E1x, E2x
  uint8_t extraFinePortamentoUp, extraFinePortamentoDown;  // X1x, X2x
  uint8_t volumeSlide;                                 // Axy, also 5xy and 6xy
  uint8_t fineVolumeUp, fineVolumeDown;                // EAx, EBx
  uint8_t panningSlide;                                // Pxy
  uint8_t globalVolumeSlide;                           // Hxy
  uint8_t sampleOffset;                                // 9xx
  uint8_t vibratoSpeed, vibratoDepth, vibratoPosition, vibratoWave;
  uint8_t tremoloSpeed, tremoloDepth, tremoloPosition, tremoloWave;
  uint8_t retrigVolume, retrigInterval, retrigTicks;  // Rxy and its tick count
  uint8_t tremor;                                      // Txy
  bool tremorOn;                                       // the phase the tremor is in
  int8_t tremorCount;                                  // ticks left in it, less one
  uint16_t loopRow;                                    // E6x
  uint8_t loopCount;
  Note delayed;                                        // the note EDx holds back
  // The voice's step for the period it was last worked out for (exp2 of a period is dear).
  bool stepKnown;
  int32_t stepPeriod;
  uint32_t step, stepFraction;
};

// The FastTracker 2 rules' state: the channels, and the song's flow beyond its position.
struct State {
  FT2Channel channels[kMaxChannels];
  // The times the current row is still to be repeated (pattern delay), and where the song goes
  // once it has been.
  int32_t patternDelay;
  int32_t breakRow;  // where the next pattern starts (pattern break, or the last loop's start)
  int32_t pendingRow;
  int32_t pendingOrderPosition;
  // Ticks since the row's first, its repeats counted on: what note cuts and E9x's retriggers
  // count, so that a pattern delay gives them the longer row (Kxx counts each repeat anew).
  int32_t rowTick;
};

// The player holds it for the rules (RuleSet::stateSize).
inline State& state(XMPlayer& player) { return *static_cast<State*>(player.ruleState()); }

}  // namespace ft2
