#pragma once

#include "SoundLib/xmplay/Sequencer.h"

// The intro's rules: the few effects its own module uses (arpeggio, portamento down, tone
// portamento, vibrato, position jump, key off), the volume column, fadeout and auto-vibrato; no
// envelopes, speed and tempo fixed at their start values, pitches from the linear table.

// Portamento down stops here instead of growing the period until it overflows. Any period this
// high, even with the largest period delta effects can add (arpeggio 960, vibrato 120,
// auto-vibrato 255), is below the 100 Hz floor in both frequency tables, so the clamp changes no
// pitch; only a later tone portamento back up starts from here.
constexpr int32_t kMaxPeriod = 3 * 65536;

// The song's tick function: a row on tick 0, the running effects on the others.
void tickDriver(XMPlayer& player, Song& song);

// Steps of the row and tick processing, exposed for the tests.
void processRow(XMPlayer& player, Song& song);
void processTick(XMPlayer& player, Song& song);
void applyToMixer(const Song& song, MusicChannel& channel, XMPlayer& player);
void vibrato(MusicChannel& channel);
void autoVibrato(MusicChannel& channel, const Instrument& instrument);
// Frequency in Hz of a period (linear table).
int64_t linearFrequency(int32_t period, int32_t periodDelta);
