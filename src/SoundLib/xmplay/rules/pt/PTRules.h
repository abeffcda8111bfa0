#pragma once

#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/formats/AmigaPeriods.h"
#include "SoundLib/xmplay/rules/Effects.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/rules/pt/PTChannel.h"

// The ProTracker rules: MOD files as ProTracker 2 and 3 play them. Amiga periods from the
// tracker's tables with finetune, slides kept between 113 and 856, every effect 0 to F and E1 to
// EE with the tracker's memories and quirks (a sample swapped in without a note at the end of the
// playing one's loop, offsets that add up, the arpeggio reading on past its table, a row delay
// that skips a break's target row), speed below 32 and the CIA tempo from 32, channels panned
// left, right, right, left. E0x (the LED filter, a low-pass on the whole mix) and EFx (which
// rewrites the sample's bytes as it plays) are not played. Three files: PTRules.cpp the song's
// flow (rows, notes, jumps, delays, tempo), PTRulesEffects.cpp the effects, PTRulesVoice.cpp the
// periods and what a channel gives the mixer.
//
// Periods are kept in quarters: ProTracker's arithmetic times four is exact, and the octaves
// other trackers added above ProTracker's three halve its periods.
namespace pt {

extern const RuleSet kRules;  // "pt": MOD

// The table's operations.
void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
uint64_t flowState(XMPlayer& player, const Song& song);
void tickDriver(XMPlayer& player, Song& song);
// Whether the song was written before ProTracker's CIA timing (Song::vblankTiming; PTTiming.cpp).
void chooseTiming(Song& song);

// Periods (PTRulesVoice.cpp), in quarters, of a note 0..59 from C-0 (AmigaPeriods.h).
inline int32_t notePeriod(int note, int finetune) { return amiga::quarterPeriod(note, finetune); }
// The period an arpeggio plays: the note at or above the channel's period in its finetune's
// table, semitones higher. In ProTracker's three octaves it reads on past the table's end into
// the next finetune's, as the tracker does.
int32_t arpeggioPeriod(const State& state, int32_t period, int finetune, int semitones);
// The period of the table's note at or above it (glissando).
int32_t semitonePeriod(const State& state, int32_t period, int finetune);
// ProTracker's range, or the PC trackers' five octaves where the song uses them.
void choosePeriodRange(State& state, const Song& song);

// Voices (PTRulesVoice.cpp).
// Starts the channel's sample from its start (the offsets'), at its period.
void triggerVoice(XMPlayer& player, PTChannel& channel);
// An instrument number without a note: the hardware takes the new sample where the sounding one
// ends (at once where it has ended).
void swapSample(PTChannel& channel);
// Once a tick: the heard period, volume and panning to the mixer.
void updateVoice(XMPlayer& player, const Song& song, PTChannel& channel);
// A period in quarters as the voice's 32.32 step per output frame, at the Amiga's PAL clock.
void setPeriod(MixerChannel& mixer, int32_t period, int32_t rate);

// Effects (PTRulesEffects.cpp): on the row's first tick after its note, and on the others
// (also on the first ticks of the row's repeats under a row delay).
void effectRow(XMPlayer& player, Song& song, PTChannel& channel, const Note& note);
void effectTick(XMPlayer& player, Song& song, PTChannel& channel, const Note& note);
// The sample offset, as the tracker moves the channel's start.
void sampleOffset(PTChannel& channel, uint8_t parameter);

inline uint8_t high(uint8_t v) { return v >> 4; }
inline uint8_t low(uint8_t v) { return v & 15; }
inline bool extendedIs(const Note& n, uint8_t command) { return n.effect == effect::kExtended && high(n.parameter) == command; }

}  // namespace pt
