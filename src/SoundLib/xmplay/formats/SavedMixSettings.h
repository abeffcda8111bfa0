#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

// What ModPlug Tracker and OpenMPT keep of their own after an XM module's last sample: chunks
// with a four-letter tag and a 32-bit length ("text", "MIDI", "PNAM", "CNAM", "CHFX", "FX00"...),
// then "XTPM" (instrument properties: a four-letter code, a 16-bit size, that many bytes for each
// instrument) and "STPM" (song properties: a code, a 16-bit size, the value). Three of the song's
// say how loud it plays: its mix mode (".MMP"), the sample pre-amp (".APS", 48 by default) and
// the global volume (".VGD", 0 to 256, 256 by default), and the channels it counts ("...C").
// -1 for each one not there.
struct SavedMixSettings {
  int32_t mixMode = -1;
  int32_t preamp = -1;
  int32_t globalVolume = -1;
  int32_t channels = -1;  // "...C": the channels the tracker had the song on
};

// Reads the bytes after the last sample of a module with the given number of instruments; what
// does not read as those blocks is left alone.
SavedMixSettings readSavedMixSettings(const uint8_t* tail, size_t size, int instruments);

// The levels a saved mix mode asks for: modes 0 to 2 ModPlug Tracker's original levels, 3 the
// centre at full level, 4 linear, 5 constant power; `otherwise` where none is saved.
MixLevels levelsOfMixMode(const SavedMixSettings& saved, MixLevels otherwise);
