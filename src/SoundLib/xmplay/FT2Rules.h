#pragma once

#include "SoundLib/xmplay/Sequencer.h"

// The FastTracker 2 rules: every effect and volume-column command with the tracker's memory
// and tick behaviour, volume and panning envelopes, fadeout, auto-vibrato, both frequency
// tables, tempo changes, global volume, and the quirks real songs rely on.
namespace ft2 {

// The range slides keep a period in.
constexpr int32_t kMinPeriod = 1;
constexpr int32_t kMaxPeriod = 31999;

// The song's tick function.
void tickDriver(XMPlayer& player, Song& song);
// Called by the shared song start and seek.
void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
// Tick length from the tempo: 2.5 / BPM seconds.
void setTempo(XMPlayer& player, Song& song, int32_t bpm);

// Pitch (FT2Voice.cpp).
int32_t notePeriod(const Song& song, int realNote, int finetune);
// The period a number of semitones above the table's note nearest the given period (arpeggio).
int32_t periodPlusSemitones(const Song& song, int32_t period, int semitones, int finetune);
// The period snapped to the nearest semitone, halfway to the one the slide comes from (glissando).
int32_t periodToSemitone(const Song& song, int32_t period, int finetune, bool slidingDown);
double frequency(const Song& song, int32_t period);

// Voices (FT2Voice.cpp): starts the channel's sample at a frame, stops it, and once a tick
// works out envelopes, fadeout and auto-vibrato and writes volume, panning and pitch to the mixer.
void triggerVoice(XMPlayer& player, FT2Channel& channel, uint32_t offset);
void stopVoice(XMPlayer& player, FT2Channel& channel);
void restartEnvelopes(FT2Channel& channel);
void updateVoice(XMPlayer& player, const Song& song, FT2Channel& channel);
int32_t envelopeValue(const uint16_t* points, int count, int32_t tick);

}  // namespace ft2
