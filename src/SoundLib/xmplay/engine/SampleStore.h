#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

// Where a song's sample frames live: large blocks the song owns, handed out sample by sample,
// which come from the system as zeroed pages (huge ones where it has them). A module of a few
// megabytes then costs a few page faults instead of a thousand, and its frames lie together.
// Songs with little sample data take each sample's room from the heap.

// Tells the song how many bytes of frames to expect: the next block's size. Better too few than too
// many (a block is backed by huge pages as far as whole ones fit in it, and its unused end costs
// nothing); samples past it take blocks of their own.
void expectSampleBytes(Song& song, size_t bytes);
// Room for `values` 16-bit values, not cleared; none when memory runs out. Freed with the song.
int16_t* allocateSampleValues(Song& song, size_t values);
// Frees every block of the song's store.
void freeSampleStore(Song& song);
