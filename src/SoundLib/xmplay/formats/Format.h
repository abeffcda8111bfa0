#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "SoundLib/xmplay/engine/Song.h"
#include "SoundLib/xmplay/formats/ReadOptions.h"

// A module format as the player's list holds it (Formats.cpp): its name, how its first bytes are
// recognised, its reader, how it names a song's variant for people, and the rule set its songs
// play by unless another is asked for. Each reader defines its record beside its code.

// Why an image did not load, in a few words for a one-line message.
struct LoadFailure {
  char text[192];
};

// The largest image the readers take: far beyond any module, small enough that a lying length
// cannot ask for absurd memory.
constexpr size_t kMaxImageBytes = size_t{1} << 30;

struct Format {
  const char* name;  // "XM", "MOD": as people and the rule sets name it
  // Whether the image is one of this format, by what its header holds.
  bool (*recognise)(const uint8_t* data, size_t size);
  // The song the image holds, read as the options ask; none with the reason in failure (where
  // given) when it cannot be played.
  SongPtr (*read)(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure);
  // The format and its variant for people: "XM 1.04", "MOD M.K.".
  std::string (*describe)(const Song& song);
  const char* defaultRules;  // the rule set's name: "ft2", "pt"
  // What it says when an image is not of it, for the reason a module is refused: "no \"Extended
  // Module: \" at its start".
  const char* notRecognised;
};
