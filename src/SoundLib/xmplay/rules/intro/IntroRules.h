#pragma once

#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/rules/Effects.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/rules/intro/IntroChannel.h"

// The intro's rules: the few effects its own module uses (arpeggio, portamento down, tone
// portamento, vibrato, position jump, key off), the volume column, fadeout and auto-vibrato; no
// envelopes, speed and tempo fixed at their start values, pitches from the linear table. They
// play the intro's module byte for byte as the intro always has, so their arithmetic (single
// precision where it was, the constants below) stays as it is. What FastTracker 2 does
// differently lives in FT2Rules.
namespace intro {

extern const RuleSet kRules;  // "intro": XM, the intro's own module

// Values the intro's sound depends on: they differ from the exact ones on purpose and must be
// kept as they are.
// The Amiga table's clock: 8363 x 1712 would be 14317456.
constexpr int64_t kAmigaClock = 14317056;
// The vibrato's angle step, pi / 64, in single precision.
constexpr float kVibratoAngleStep = 0.049087375f;
// The auto-vibrato's angle step, 2 pi / 256, in single precision.
constexpr float kAutoVibratoAngleStep = 0.024543688f;
// An octave of the linear table, 1 / 768, in single precision (then widened).
constexpr float kLinearOctave = 0.0013020834f;
// Volume 64 x envelope 64 x fadeout 65536 x global volume 64 x 128 = 2^35: the full level of the
// product, which is scaled to 255.
constexpr double kFullLevel = 34359738368.0;

// Portamento down stops here instead of growing the period until it overflows. Any period this
// high, even with the largest period delta effects can add (arpeggio 960, vibrato 120,
// auto-vibrato 255), is below the 100 Hz floor in both frequency tables, so the clamp changes no
// pitch; only a later tone portamento back up starts from here.
constexpr int32_t kPortamentoDownStop = 3 * 65536;

// The table's operations.
void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
// A row on tick 0, the running effects on the others.
void tickDriver(XMPlayer& player, Song& song);
// Samples per tick from the tempo as the intro's player always computed them.
void setTempo(XMPlayer& player, Song& song, int32_t bpm);

// Steps of the row and tick processing, exposed for the tests.
void processRow(XMPlayer& player, Song& song);
void processTick(XMPlayer& player, Song& song);
void applyToMixer(const Song& song, IntroChannel& channel, XMPlayer& player);
void vibrato(IntroChannel& channel);
void autoVibrato(IntroChannel& channel, const Instrument& instrument);
// Frequency in Hz of a period (linear table).
int64_t linearFrequency(int32_t period, int32_t periodDelta);
// A frequency in whole Hz, raised to the 100 Hz floor, as the voice's 32.32 step per output frame.
void setStep(MixerChannel& mixer, int64_t frequency, int32_t rate);

}  // namespace intro
