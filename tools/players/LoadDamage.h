#pragma once

#include <string>

#include "SoundLib/xmplay/engine/Song.h"

// Whether the song lacks anything it plays: a pattern cut short, or an instrument its notes name
// that was not in the file whole. Some trackers leave the empty instruments at the end of the list
// out of the file; that loses nothing.
inline bool lacksWhatItPlays(const Song& song) {
  if (song.wholePatterns < song.filePatternCount) return true;
  if (song.wholeInstruments >= song.instrumentCount) return false;
  for (int p = 0; p < song.filePatternCount; ++p) {
    const Pattern& pattern = song.patterns[p];
    for (int n = 0; n < pattern.rows * song.channelCount; ++n) {
      const int i = pattern.notes[n].instrument;
      if (i > 0 && i <= song.instrumentCount && !song.instruments[i - 1].whole) return true;
    }
  }
  return false;
}

// What a module cut short lacked, as the players warn of it: "ends early: 9 of 17 patterns and 0
// of 7 instruments read whole"; "" for a module that lacks nothing it plays.
inline std::string damageNote(const Song& song) {
  if (!lacksWhatItPlays(song)) return "";
  return "ends early: " + std::to_string(song.wholePatterns) + " of " + std::to_string(song.filePatternCount) +
         " patterns and " + std::to_string(song.wholeInstruments) + " of " + std::to_string(song.instrumentCount) +
         " instruments read whole";
}

// Whether any sample has frames to sound: a module cut before its first sample's data plays
// nothing but silence.
inline bool hasSound(const Song& song) {
  for (int i = 0; i < song.instrumentCount; ++i)
    for (int k = 0; k < song.instruments[i].sampleCount; ++k)
      if (song.instruments[i].samples[k]->length > 0) return true;
  return false;
}

// The players' word on a loaded module: "" when it is whole; a warning that ends "; playing
// what is there" when it is cut short; one that ends "; nothing left to play" (refuse it) when
// none of its samples was read.
inline std::string damageMessage(const Song& song, bool& refuse) {
  const std::string note = damageNote(song);
  refuse = !note.empty() && !hasSound(song);
  if (note.empty()) return note;
  return note + (refuse ? "; nothing left to play" : "; playing what is there");
}
