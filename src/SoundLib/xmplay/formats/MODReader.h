#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/formats/Format.h"

// What a MOD image is, as far as its header tells: 31 samples and a signature at offset 1080
// ("M.K." and the other 4-channel ones, "6CHN", "8CHN", "CD81", "OKTA", "FLT8", "xxCH" up to 32
// channels, Digital Tracker's "FA04" to "FA08"), SoundTracker 2.6's and Ice Tracker's layout of
// tracks with "MTN\0" or "IT10" at offset 1464, or a 15-sample SoundTracker module, which has no
// signature and is recognised by its header (SoundTrackerHeader.h). A module a packer rewrote is
// none of these but is named, to be refused by name.
struct MODLayout {
  int channels = 0;  // 0: not a MOD
  int samples = 31;  // or 15
  bool flt8 = false;  // StarTrekker's 8 channels: each pattern stored as two of 4 channels
  // SoundTracker 2.6, Ice Tracker: each of the song's positions names four tracks of 64 rows of
  // one channel, stored apart, rather than a pattern.
  bool tracks = false;
  size_t patternsAt = 1084;  // where the patterns (or the tracks) begin
  char signature[5] = {};  // empty for 15 samples
  const char* packer = nullptr;  // the packer's name, for a packed module (channels 0)
};
MODLayout recogniseMOD(const uint8_t* data, size_t size);

// Parses a MOD module image of size bytes into a song of one-sample instruments (notes in the
// song's numbering, see AmigaPeriods.h), as the options ask. None when it is not a MOD, with the
// reason in failure where one is given.
SongPtr parseMOD(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure = nullptr);

namespace mod {
extern const Format kFormat;  // "MOD": by its signature or its 15-sample header; ProTracker's rules
}
