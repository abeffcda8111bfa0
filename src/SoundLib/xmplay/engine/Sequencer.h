#pragma once

#include "SoundLib/xmplay/engine/Player.h"
#include "SoundLib/xmplay/engine/Voices.h"

// What the rule sets share of the song's course: its start and seek (each then calls its set's
// own), the row advance, the current row's notes, the tone portamento step; the voices they play
// on are Voices.h's. Each set's own row and effect processing, and how it turns pitch into the
// mixer's step, live in its own folder under rules/.

// Resets the position, tempo and every mixer channel, takes the rule set's levels and ramp,
// zeroes the rule set's state, then the rule set sets up its own.
void songStart(XMPlayer& player, Song& song);
// Continues at row 0 of the given order position (clamped into the song) at the next tick.
void seekOrder(XMPlayer& player, Song& song, int32_t order);

const Note* rowNotes(const Song& song);
int32_t patternRows(const Song& song, int32_t order);
// The order after the song's last goes back to the restart position.
int32_t wrapOrder(const Song& song, int32_t order);
// The first order from `order` on that names a pattern (S3M, IT): markers stepped over, and at
// an end (the list's, or a 255 in it) the song starts again from its first order. -1 where none
// does.
int32_t playableOrder(const Song& song, int32_t order);
// Where a song of order lists with markers (S3M, IT) goes after its current row: back to a
// pattern loop's row (loopRow >= 0; beside a jump or a break the loop goes first, the jump waits
// for its last time; a row past the pattern's end: the next pattern's first), to a jump's order
// (Bxx) and a break's row (Cxx, -1 none; a row past the pattern's end as 0), or to the next row.
// order -1: the same order.
struct RowPlan {
  int32_t order, row;
};
RowPlan nextRowAfter(const Song& song, int32_t jumpOrder, int32_t breakRow, int32_t loopRow);
// The plan taken: the song goes there at its next row.
inline void followPlan(Song& song, const RowPlan& plan) {
  song.nextOrderPosition = plan.order;
  song.nextRow = plan.row;
}
// Where the song starts, or lands after a seek, in an order list with markers: its first order
// that names a pattern from there on.
void startAtPlayableOrder(Song& song);
void seekToPlayableOrder(Song& song);
// The tick of the PC trackers: 2.5 / BPM seconds, in whole frames.
void setTrackerTickLength(const XMPlayer& player, Song& song);
// A tone portamento's step: speed closer to the target, never past it.
int32_t slideTowards(int32_t period, int32_t target, int32_t speed);
