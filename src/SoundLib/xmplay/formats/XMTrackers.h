#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

// Which tracker saved an XM file and how loud openmpt123 plays what it saved, by the header's
// tracker name (20 bytes), its title (20 bytes) and whether the whole 276-byte header is there;
// and the mix settings ModPlug Tracker and OpenMPT keep after the samples.

// FastTracker 2 names itself "FastTracker v2.00", pads the title with spaces and writes the whole
// header. ModPlug Tracker wrote that name too: as "FastTracker v 2.00", or with the title ended
// by zero bytes and the whole header. Under that name with a shorter header, another.
SavedBy xmSavedBy(const char* tracker, const uint8_t* title, bool wholeHeader);

// ModPlug Tracker's files at its original levels; FastTracker 2's with constant power, and other
// files under its name with a shortened header linearly. MilkyTracker (but its versionless name
// padded with spaces), OpenMPT from 1.22.07.19 on and the FastTracker 2 clone mix with constant
// power; the others linearly.
MixLevels xmMixLevels(const char* tracker, SavedBy by);

// The bytes after the last sample of a song with its instruments read: the mix mode, sample
// pre-amp and global volume saved there decide over the tracker's name.
void applySavedMixSettings(Song& song, const uint8_t* tail, size_t size);
