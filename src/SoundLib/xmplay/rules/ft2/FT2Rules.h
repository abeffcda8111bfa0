#pragma once

#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/rules/Effects.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/rules/ft2/FT2Channel.h"

// The FastTracker 2 rules: every effect and volume-column command with the tracker's memory
// and tick behaviour, volume and panning envelopes, fadeout, auto-vibrato, both frequency
// tables, tempo changes, global volume, and the quirks real songs rely on. Three files:
// FT2Rules.cpp the song's flow (rows, notes, jumps, delays), FT2RulesEffects.cpp the effects and
// the volume column, FT2RulesVoice.cpp pitch, envelopes and what a channel gives the mixer.
namespace ft2 {

extern const RuleSet kRules;  // "ft2": XM and MOD

// The range slides keep a period in.
constexpr int32_t kMinPeriod = 1;
constexpr int32_t kMaxPeriod = 31999;

// The table's operations.
void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
void tickDriver(XMPlayer& player, Song& song);
uint64_t flowState(XMPlayer& player, const Song& song);
// Tick length from the tempo: 2.5 / BPM seconds.
void setTempo(XMPlayer& player, Song& song, int32_t bpm);

// Pitch (FT2RulesVoice.cpp).
int32_t notePeriod(const Song& song, int realNote, int finetune);
// The period a number of semitones above the table's note nearest the given period (arpeggio).
int32_t periodPlusSemitones(const Song& song, int32_t period, int semitones, int finetune);
// The period snapped to the nearest semitone, halfway to the one the slide comes from (glissando).
int32_t periodToSemitone(const Song& song, int32_t period, int finetune, bool slidingDown);
double frequency(const Song& song, int32_t period);
// A frequency in Hz, raised to the 100 Hz floor and not rounded, as the voice's 32.32 step per
// output frame.
void setFrequency(MixerChannel& mixer, double frequency, int32_t rate);

// Voices (FT2RulesVoice.cpp): starts the channel's sample at a frame, stops it, and once a tick
// works out envelopes, fadeout and auto-vibrato and writes volume, panning and pitch to the mixer.
void triggerVoice(XMPlayer& player, FT2Channel& channel, uint32_t offset);
void stopVoice(XMPlayer& player, FT2Channel& channel);
// What an instrument number starts again: the envelopes, the key and its fadeout, the
// auto-vibrato, the tremor's count.
void triggerInstrument(FT2Channel& channel);
void updateVoice(XMPlayer& player, const Song& song, FT2Channel& channel);
int32_t envelopeValue(const uint16_t* points, int count, int32_t tick);
// The auto-vibrato's bend on this tick, to be taken from the period (positive: higher). The wave
// moves on before it is read, so the note's first tick already bends; a sweep grows the depth by
// an equal whole step on every tick from that first one up to the full depth; the bend is cut
// toward zero.
int32_t autoVibratoBend(FT2Channel& channel, const Instrument& instrument);

// Between the song's flow and the effects.
inline bool isNote(uint8_t note) { return note >= 1 && note <= kLastNote; }
inline uint8_t high(uint8_t v) { return v >> 4; }
inline uint8_t low(uint8_t v) { return v & 15; }

// What the row's effects ask of the song: a position jump (Bxx), a pattern break (Dxx), a
// pattern loop's jump back (E6x). The row a jump or break goes to is the rules' break row.
struct Jumps {
  int32_t order = -1;
  bool patternBreak = false;
  bool loop = false;
  int32_t loopRow = 0;  // the first row of the loop that jumps back
};

// A note, an instrument number, or both, as the row (or a note delay) brings them (FT2Rules.cpp).
void takeNote(XMPlayer& player, Song& song, FT2Channel& channel, const Note& note);

// Effects (FT2RulesEffects.cpp): a row's first tick, then each further tick.
void volumeColumnRow(FT2Channel& channel, uint8_t volume);
void volumeColumnTick(const Song& song, FT2Channel& channel, uint8_t volume);
void effectRow(XMPlayer& player, Song& song, FT2Channel& channel, const Note& note, Jumps& jumps);
void effectTick(XMPlayer& player, Song& song, FT2Channel& channel, const Note& note);
// E6x: E60 marks the loop's first row, E6x goes back to it x times.
void patternLoop(XMPlayer& player, const Song& song, FT2Channel& channel, uint8_t x, Jumps& jumps);
// Key off: the fade begins, or without a volume envelope the note stops at once.
void keyOff(FT2Channel& channel);
// The last sample's volume and panning, as an instrument number sets them.
void resetVolume(FT2Channel& channel);

}  // namespace ft2
