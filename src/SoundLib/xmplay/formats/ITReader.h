#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/formats/Format.h"

// Parses an IT module image of size bytes into a song as the options ask: notes numbered from
// C-0 = 1, the volume column as its byte plus one (Song.h's Note), commands as their letters A = 1
// to Z = 26 with their parameters as stored. A module in sample mode reads as one instrument a
// sample, each key playing itself on that sample with no envelopes. None when it is not an IT the
// player can play, with the reason in failure where one is given.
SongPtr parseIT(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure = nullptr);

namespace it {
// Bits of the header's flags (Song::headerFlags).
constexpr uint16_t kStereo = 1;
constexpr uint16_t kVolumeZeroOptimisation = 2;
constexpr uint16_t kInstruments = 4;
constexpr uint16_t kLinearSlides = 8;
constexpr uint16_t kOldEffects = 16;
constexpr uint16_t kCompatibleGxx = 32;
constexpr uint16_t kMidiPitchController = 64;
constexpr uint16_t kEmbeddedMidi = 128;
// Bits of its special word (Song::headerSpecial).
constexpr uint16_t kMessage = 1;
constexpr uint16_t kEditHistory = 2;
constexpr uint16_t kHighlight = 4;
constexpr uint16_t kMidiConfiguration = 8;

extern const Format kFormat;  // "IT": by "IMPM" at its start; the "it" rules
}  // namespace it
