#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/formats/Format.h"

// Parses an S3M module image of size bytes into a song of one-sample instruments (notes
// numbered from C-0 = 1 as Scream Tracker names them, the volume column as XM's set-volume
// bytes, commands as their letters A = 1 to Z = 26) as the options ask. None when it is not an
// S3M the player can play, with the reason in failure where one is given.
SongPtr parseS3M(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure = nullptr);

namespace s3m {
// Bits of the header's flags (Song::headerFlags) that change how a song plays.
constexpr uint16_t kAmigaLimits = 16;       // periods kept within the Amiga's three octaves
constexpr uint16_t kFastVolumeSlides = 64;  // volume slides on the first tick too

extern const Format kFormat;  // "S3M": by "SCRM" at offset 44; Scream Tracker 3's rules
}
