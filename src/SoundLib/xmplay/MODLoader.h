#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/XMLoader.h"

// What a MOD image is, as far as its header tells: 31 samples and a signature at offset 1080
// ("M.K." and the other 4-channel ones, "6CHN", "8CHN", "CD81", "OKTA", "FLT8", "xxCH" up to 32
// channels), or a 15-sample SoundTracker module, which has no signature and is recognised by a
// header whose names, volumes, finetunes, lengths and orders are all in range and whose
// patterns fit in the image.
struct MODLayout {
  int channels = 0;  // 0: not a MOD
  int samples = 31;  // or 15
  bool flt8 = false;  // StarTrekker's 8 channels: each pattern stored as two of 4 channels
  char signature[5] = {};  // empty for 15 samples
};
MODLayout recogniseMOD(const uint8_t* data, size_t size);

// Parses a MOD module image of size bytes into a song of one-sample instruments (notes in the
// song's numbering, see AmigaPeriods.h), to be played by the given rules. None when it is not a
// MOD or the rules cannot play one, with the reason in failure where one is given.
SongPtr parseMOD(const uint8_t* data, size_t size, const RuleSet& rules, LoadFailure* failure = nullptr);
