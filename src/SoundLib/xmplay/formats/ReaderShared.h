#pragma once

#include <cstdint>

#include "SoundLib/xmplay/formats/Format.h"

// What the format readers share: the reason for a refusal, the song's samples, a sample's loop
// made playable, its buffer with the mixer's repeated short loop and interpolation guard, and the
// empty patterns an order list names beyond the file's.

// Says why the image is refused, printf-style, where the caller asked; false.
bool refuseLoad(LoadFailure* failure, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// A new zeroed sample at the end of the song's list, which owns it; none when memory runs out.
Sample* appendSample(Song& song);

// The loop must lie inside the sample for the guard write and the mixer; a loop of no length
// is no loop.
void settleLoop(Sample& sample);

// The same for the sample's sustain loop; none where it has no length.
void settleSustainLoop(Sample& sample);

// Every wrap costs the mixer a division and a new run of frames; a loop of a few dozen frames
// wraps thousands of times a second. Repeated to at least `shortest` frames it plays the same
// values at every position (the data is periodic) and wraps far less. Sets the sample's
// mixLoopLength (after settleLoop) and returns the frames its buffer needs, guard not counted.
uint32_t planMixLoop(Sample& sample, uint32_t shortest);

// Room for frames frames of channels values and the guard and spare frames after them, these
// zeroed (the reader fills the frames), in the song's store; none when memory runs out.
int16_t* newSampleBuffer(Song& song, uint32_t frames, int channels = 1);

// Once the sample's frames are in the buffer: the loop's copies and the guard, the frame the
// interpolation reads after the last one played.
void finishSampleData(Sample& sample, int16_t* data);

// The patterns the order list names beyond those the file holds: 64 empty rows each.
bool allocateEmptyPatterns(Song& song);

// The tracker that saved a file, as a reader tells it from the header: for the playing, and its
// name for people (Song::tracker).
struct Tracker {
  SavedBy by;
  char name[33];
};

// The checks every reader of a format with an id makes first: the image's size, the id, memory for
// the song. The new song, its format set; none with the reason ("not an IT module (no \"IMPM\" at
// its start)") in failure.
SongPtr startReading(const Format& format, const uint8_t* data, size_t size, LoadFailure* failure);
