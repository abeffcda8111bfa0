#pragma once

#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/rules/Letters.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/rules/st3/ST3Channel.h"

// Scream Tracker 3's rules: S3M as Scream Tracker 3.2 plays it. Periods are the tracker's (an
// Amiga period times four, a note's from the sample's C-4 frequency), every command A to Z as the
// tracker has it or ignores it, with its one shared memory, fine and extra-fine slides, volume
// slides on the first tick where the song asks for them, the Amiga limits, the period's floor,
// tremor, retrigger with volume change, the S commands with one pattern loop for the whole song,
// note cut, note delay and row delay; the trackers that wrote S3M besides it are told apart by the
// header (Song::savedBy). Three files: ST3Rules.cpp the song's flow, ST3RulesEffects.cpp the
// commands, ST3RulesVoice.cpp periods and what a channel gives the mixer.
namespace st3 {

extern const RuleSet kRules;  // "st3": S3M

// The table's operations.
void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
void tickDriver(XMPlayer& player, Song& song);
uint64_t flowState(XMPlayer& player, const Song& song);

// Periods (ST3RulesVoice.cpp): a note 1..120 from C-0 of a sample playing middle C at c2spd Hz.
int32_t notePeriod(int note, uint32_t c2spd);
// The note nearest a period at c2spd (glissando), as its period.
int32_t semitonePeriod(int32_t period, uint32_t c2spd);
// Slides keep a period inside the Amiga limits where the song asks for them; a period slid to 0
// or below stops the channel.
void limitPeriod(const Song& song, ST3Channel& channel);
// Whether the header asks for first-tick volume slides: its flag, or Scream Tracker 3.00's file.
bool fastSlides(const Song& song);
// Whether the file comes from a tracker that has Impulse Tracker's commands where Scream Tracker 3
// has none (Impulse Tracker, ModPlug Tracker and OpenMPT, Schism Tracker), as openmpt123 plays
// them: S6x.
bool impulseCommands(const Song& song);

// Voices (ST3RulesVoice.cpp).
void triggerVoice(XMPlayer& player, ST3Channel& channel, uint32_t offset);
// An instrument number without a note: the sounding voice goes on from where it is with the new
// sample (at its pitch; past the new one's end, in its loop or silent); one that has played to
// its end starts the new sample from its beginning.
void swapSample(ST3Channel& channel, const Sample* sample);
// ^^ and SCx: the voice stops, the channel keeps its sample for an instrument number alone.
void cutVoice(XMPlayer& player, ST3Channel& channel);
// A period slid to nothing: the voice stops and the channel has nothing to play until a note.
void stopVoice(XMPlayer& player, ST3Channel& channel);
void updateVoice(XMPlayer& player, const Song& song, ST3Channel& channel);

// What the row's commands ask of the song.
struct Jumps {
  int32_t order = -1;   // Bxx
  int32_t row = -1;     // Cxx
  bool loop = false;    // SBx going back
  // SEx: the first that asks for any on a left channel and on a right one (S3M's channel
  // settings); the left one counts.
  int32_t delayLeft = -1, delayRight = -1;
  int32_t fineDelay = 0;  // S6x: the ticks of them all
};

// A note, an instrument number, or both, as the row (or a note delay) brings them, and the volume
// column (ST3Rules.cpp).
void takeNote(XMPlayer& player, const Song& song, ST3Channel& channel, const Note& note);

// Commands (ST3RulesEffects.cpp): on a row's first tick, then on each further tick.
void effectRow(XMPlayer& player, Song& song, ST3Channel& channel, const Note& note, Jumps& jumps);
void effectTick(XMPlayer& player, Song& song, ST3Channel& channel, const Note& note);

inline uint8_t high(uint8_t v) { return v >> 4; }
inline uint8_t low(uint8_t v) { return v & 15; }
inline bool isSpecial(const Note& n, uint8_t command) { return n.effect == letter::kSpecial && high(n.parameter) == command; }

}  // namespace st3
