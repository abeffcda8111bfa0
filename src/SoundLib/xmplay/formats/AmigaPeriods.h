#pragma once

#include <cstdint>

// The notes of the MOD format: Amiga periods, as ProTracker's tables give them. A file stores a
// note as its period; the loader keeps it as a note number, which the rule sets turn back into
// their own periods. Notes are 0..59 from C-0: ProTracker writes C-1 to B-3 (12..47), PC
// trackers an octave more on each side.
namespace amiga {

constexpr int kNotes = 60;
constexpr int kFirstTrackerNote = 12;  // C-1, period 856
constexpr int kTrackerNotes = 36;
// A song's note 1..96 (XM's numbering, 49 = C-4, period 1712 / 4 = 428) of a MOD note: C-0 is 25.
constexpr int kSongNoteOfC0 = 25;

// ProTracker's period of one of its 36 notes (0 = C-1) at a finetune of 0..15 (8..15 standing
// for -8..-1), as its table has it.
int32_t trackerPeriod(int finetune, int note);
// The same table read on past its row's end into the next finetune's, as ProTracker's arpeggio
// reads it: index 0..575 over all 16 rows; beyond the last row, 0.
int32_t trackerTable(int index);
// The period of a note 0..59 in quarter periods: ProTracker's own for its octaves, twice and half
// its lowest and highest octave's for the others.
int32_t quarterPeriod(int note, int finetune);
// The note nearest a period (whole periods, as a file stores them), at finetune 0.
int noteOfPeriod(int period);

}  // namespace amiga
