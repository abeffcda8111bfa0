#pragma once

#include <cstring>
#include <string>

#include "SoundLib/xmplay/engine/Song.h"
#include "SoundLib/xmplay/formats/Format.h"

// What the players say of a module beyond the file's own fields: the tracker that wrote it, as
// the loader tells it apart, and which instrument and sample slots are empty.

// A MOD's tracker by its signature, which is all a MOD says of where it comes from.
inline std::string modTrackerOf(const char* signature) {
  const std::string s(signature, strnlen(signature, 4));
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string tracker;
  if (s.empty()) return "Soundtracker (15 samples, no signature)";
  if (s == "M.K.") tracker = "ProTracker or compatible";
  else if (s == "M!K!") tracker = "ProTracker, over 64 patterns";
  else if (s == "M&K!" || s == "N.T.") tracker = "NoiseTracker";
  else if (s == "FLT4" || s == "FLT8") tracker = "StarTrekker";
  else if (s == "CD81" || s == "OCTA") tracker = "Octalyser";
  else if (s == "OKTA") tracker = "Oktalyzer";
  else if (s.size() == 4 && digit(s[0]) && s.compare(1, 3, "CHN") == 0) tracker = "FastTracker";
  else if (s.size() == 4 && s.compare(0, 3, "TDZ") == 0) tracker = "TakeTracker";
  else if (s.size() == 4 && s.compare(0, 3, "FA0") == 0) tracker = "Digital Tracker";
  else if (s == "MTN") tracker = "SoundTracker 2.6";  // "MTN\0", MnemoTroN's
  else if (s == "IT10") tracker = "Ice Tracker";
  else if (s.size() == 4 && digit(s[0]) && digit(s[1]) && (s.compare(2, 2, "CH") == 0 || s.compare(2, 2, "CN") == 0))
    tracker = "FastTracker 2 or TakeTracker";
  else tracker = "not known";
  return tracker + " (" + printableName(signature, 4) + ")";
}

// The tracker as far as the loader knows it: the file's own name for it, but ModPlug Tracker for
// an XM it saved under FastTracker 2's name, and the signature's tracker for a MOD.
inline std::string trackerShown(const Song& song) {
  const std::string named = printableName(song.tracker, sizeof song.tracker);
  const char* format = song.format ? song.format->name : "";
  if (!std::strcmp(format, "XM") && song.savedBy == SavedBy::kModPlug)
    return "ModPlug Tracker" + (named.empty() ? std::string() : " (saved as \"" + named + "\")");
  if (!std::strcmp(format, "MOD") && named.empty()) return modTrackerOf(song.signature);
  return named;
}

// A slot with nothing in it: no sound and no name (a name alone may be a line of the credits).
inline bool blankSample(const Sample& s) { return s.length == 0 && !s.adlib && printableName(s.name, sizeof s.name).empty(); }

inline bool blankSlot(const Instrument& ins) {
  if (!printableName(ins.name, sizeof ins.name).empty()) return false;
  for (int k = 0; k < ins.sampleCount; ++k)
    if (!blankSample(*ins.samples[k])) return false;
  return true;
}
