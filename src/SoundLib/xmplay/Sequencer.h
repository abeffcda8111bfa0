#pragma once

#include "SoundLib/xmplay/Player.h"

void setBPM(XMPlayer& player, Song& song, int32_t bpm);
// The song's tick function: a row on tick 0, the running effects on the others.
void tickDriver(XMPlayer& player, Song& song);
void songStart(XMPlayer& player, Song& song);

// Steps of the row and tick processing, exposed for the tests.
void processRow(XMPlayer& player, Song& song);
void processTick(XMPlayer& player, Song& song);
void applyToMixer(const Song& song, MusicChannel& channel, XMPlayer& player);
void vibrato(MusicChannel& channel);
void autoVibrato(MusicChannel& channel, const Instrument& instrument);
// Frequency in Hz of a period (linear table) and its 32.32 step at the output rate.
int64_t linearFrequency(int32_t period, int32_t periodDelta);
