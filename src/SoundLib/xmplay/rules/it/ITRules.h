#pragma once

#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/formats/ITReader.h"
#include "SoundLib/xmplay/rules/Letters.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/rules/it/ITChannel.h"

// Impulse Tracker's rules: IT as Impulse Tracker 2.14 plays it. Instruments map each key to a
// note and a sample; a new note leaves the one before it to its new-note action (cut, go on, note
// off, fade) on a voice of its own, after the duplicate check; volume, panning and pitch (or
// filter) envelopes with loops, sustain loops and carry; fadeout; the resonant filter from the
// instrument, the filter envelope and the MIDI macros; every command A to Z with the memories the
// tracker keeps, the volume column with its own, pattern loops a channel each. Pitch follows the
// song's linear or Amiga slides. Four files: ITRules.cpp the song's flow and the notes,
// ITRulesEffects.cpp the commands and the volume column, ITRulesVoice.cpp pitch, envelopes and
// what each voice gives the mixer, ITMacros.cpp the MIDI macros.
namespace it {

extern const RuleSet kRules;  // "it": IT

void songStart(XMPlayer& player, Song& song);
void seekOrder(XMPlayer& player, Song& song);
void tickDriver(XMPlayer& player, Song& song);
uint64_t flowState(XMPlayer& player, const Song& song);

// The header's flags that change how a song plays are the reader's (ITReader.h).
inline bool linearSlides(const Song& song) { return song.headerFlags & kLinearSlides; }
inline bool oldEffects(const Song& song) { return song.headerFlags & kOldEffects; }
inline bool compatibleGxx(const Song& song) { return song.headerFlags & kCompatibleGxx; }

// Pitch (ITRulesVoice.cpp). A note 1..120 (C-5 is 61) of a sample playing C-5 at c5 Hz: its
// frequency in Hz x 65536, or its period under Amiga slides.
int64_t noteFrequency(int note, uint32_t c5);
int32_t notePeriod(int note, uint32_t c5);
// Slides the channel's pitch up (units > 0) or down, in 1/768 octave under linear slides, in
// period units otherwise.
void slidePitch(const Song& song, ITChannel& channel, int32_t units);
// A frequency (Hz x 65536) moved by units of 1/768 octave.
int64_t shiftFrequency(int64_t frequency, int32_t units);

// Voices (ITRulesVoice.cpp).
// A note starts on the channel: the note before it goes to its new-note action, the duplicates of
// the new one to their duplicate action, then the sample starts from `offset` frames.
void startNote(XMPlayer& player, const Song& song, ITChannel& channel, uint8_t note, const Sample* sample,
               const Instrument* instrument, uint32_t offset);
// A note off, a cut and a fade on the channel's note; S70 to S72 on the background notes it left.
void noteOff(XMPlayer& player, ITVoice& voice);
void cutNote(XMPlayer& player, int32_t voice);
void fadeNote(ITVoice& voice);
void pastNotes(XMPlayer& player, const ITChannel& channel, NewNoteAction action);
// What every voice gives the mixer this tick.
void updateVoices(XMPlayer& player, const Song& song);
// The level a voice plays at, 0 to 1 before the song's mix volume: the note's volume, channel
// volume, the sample's and instrument's global volumes, the volume envelope, the fade and the
// song's global volume.
float voiceGain(const Song& song, const ITVoice& voice, int32_t envelopeVolume);
// An envelope's value at a position, times `scale`: the points' line, held after the last point
// (a scale above 1 keeps the line's steps between whole values).
int32_t envelopeValue(const Envelope& envelope, int32_t tick, int32_t scale = 1);
// Moves an envelope one tick on: its sustain loop while the key is held, its loop, its end.
void advanceEnvelope(const Envelope& envelope, EnvelopePosition& at, bool keyOn);
// The next value of the swings' generator, -1..1 in 1/32768.
int32_t nextRandom(State& state);

// A note, an instrument number, or both (ITRules.cpp); false where the cell is as good as empty
// (its key maps to no sample), its volume column not taken either.
bool takeNote(XMPlayer& player, const Song& song, ITChannel& channel, const Note& note);

// What the row's commands ask of the song.
struct Jumps {
  int32_t order = -1;  // Bxx
  int32_t row = -1;    // Cxx
  int32_t loopRow = -1;  // SBx going back
  int32_t rowDelay = -1;   // SEx: the first on the row
  int32_t fineDelay = 0;   // S6x: the ticks of them all
};

// Commands (ITRulesEffects.cpp): on a row's first tick (again on each repeat of a delayed row,
// without the notes), then on each further tick; the volume column likewise.
void effectRow(XMPlayer& player, Song& song, ITChannel& channel, const Note& note, Jumps& jumps);
void effectTick(XMPlayer& player, Song& song, ITChannel& channel, const Note& note);
void columnRow(const Song& song, ITChannel& channel, const Note& note);
void columnTick(XMPlayer& player, const Song& song, ITChannel& channel, const Note& note);
// The waves of vibrato, tremolo, panbrello and the samples' auto-vibrato, 256 steps a cycle,
// -64..64: sine, ramp down, square, random (from the swings' generator).
int32_t wave(State& state, uint8_t type, uint8_t position);
// Whether the cell slides to its note (G, L, the volume column's g) rather than starting it.
bool slidesToNote(const Note& note);

// The MIDI macros (ITMacros.cpp): Zxx sets the channel's filter as the song's macros (or the
// tracker's defaults, where the file has none) say.
void runMacro(XMPlayer& player, const Song& song, ITChannel& channel, uint8_t parameter);

inline uint8_t high(uint8_t v) { return v >> 4; }
inline uint8_t low(uint8_t v) { return v & 15; }
inline bool isNote(uint8_t note) { return note >= 1 && note <= kKeyboardNotes; }
inline bool isSpecial(const Note& n, uint8_t command) { return n.effect == letter::kSpecial && high(n.parameter) == command; }
// The volume column as the reader keeps it: the tracker's byte + 1, 0 none.
inline int column(const Note& n) { return n.volume ? n.volume - 1 : -1; }

}  // namespace it
