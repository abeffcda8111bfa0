#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// Whether the song's channels, volumes and pitches come from its header and sample C
// frequencies (S3M, IT) rather than XM's and MOD's fixed layouts and finetunes.
inline bool pcTrackerSong(const Song& song) {
  return song.format && (!std::strcmp(song.format->name, "S3M") || !std::strcmp(song.format->name, "IT"));
}

inline const char* loopName(uint8_t mode) {
  switch (mode) {
    case kLoopForward: return "forward";
    case kLoopPingPong: return "ping-pong";
    default: return "none";
  }
}

// The samples as a table, a line each after a heading: the number (an XM's instrument and its
// sample), name, length, loop (start + length), bits as stored, volume, and the C frequency or
// the finetune and relative note; empty slots left out, their count said.
inline std::vector<std::string> sampleTable(const Song& song) {
  const bool pc = pcTrackerSong(song);
  const bool xm = song.format && !std::strcmp(song.format->name, "XM");
  std::vector<std::string> rows;
  char line[160];
  auto add = [&](const std::string& number, const Sample& s) {
    if (s.adlib) {
      std::snprintf(line, sizeof line, "  %-5s %-22.22s AdLib, not synthesised", number.c_str(),
                    printableName(s.name, sizeof s.name).c_str());
    } else {
      char loop[40] = "none";
      if (s.loopMode != kLoopNone) std::snprintf(loop, sizeof loop, "%s %u+%u", loopName(s.loopMode), s.loopStart, s.loopLength);
      char tune[24];
      if (pc) std::snprintf(tune, sizeof tune, "%u", s.c5Speed);
      else if (xm) std::snprintf(tune, sizeof tune, "%d, %+d", s.finetune, s.relativeNote);
      else std::snprintf(tune, sizeof tune, "%d", s.finetune);
      std::snprintf(line, sizeof line, "  %-5s %-22.22s %8u %-22s %3d%s %3d  %s", number.c_str(),
                    printableName(s.name, sizeof s.name).c_str(), s.length, loop, s.storedBits, s.stereo ? "s" : " ",
                    s.volume, tune);
    }
    rows.push_back(line);
  };
  int empty = 0, slots = 0;
  if (song.format && !std::strcmp(song.format->name, "IT")) {
    for (int k = 0; k < song.sampleCount; ++k, ++slots)
      if (blankSample(*song.samples[k])) ++empty;
      else add(std::to_string(k + 1), *song.samples[k]);
  } else {
    for (int i = 0; i < song.instrumentCount; ++i)
      for (int k = 0; k < song.instruments[i].sampleCount; ++k, ++slots) {
        const Sample& s = *song.instruments[i].samples[k];
        if (blankSample(s)) ++empty;
        else add(xm ? std::to_string(i + 1) + "." + std::to_string(k) : std::to_string(i + 1), s);
      }
  }
  std::snprintf(line, sizeof line, "  %-5s %-22s %8s %-22s %-4s %3s  %s", "no.", "name", "length", "loop", "bits",
                "vol", pc ? "C frequency" : xm ? "finetune, relative note" : "finetune");
  rows.insert(rows.begin(), line);
  rows.insert(rows.begin(), "Samples (" + std::to_string(slots - empty) + " of " + std::to_string(slots) + " slots" +
                                (empty ? ", the empty left out)" : ")"));
  return rows;
}
