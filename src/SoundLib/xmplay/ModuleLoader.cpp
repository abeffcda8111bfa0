#include "SoundLib/xmplay/ModuleLoader.h"

#include <cstdio>
#include <cstring>

#include "SoundLib/xmplay/MODLoader.h"
#include "SoundLib/xmplay/OfflineRenderer.h"

namespace {
// Whether Fxx sets both a tempo and a speed somewhere: a song that only ever sets tempos plays
// longer with them as speeds (32 ticks a row and more, against 6 ticks of at most 78 ms).
bool setsTempoAndSpeed(const Song& song) {
  bool tempo = false, speed = false;
  for (int p = 0; p < song.usedPatternCount; ++p)
    for (int i = 0; i < song.patterns[p].rows * song.channelCount; ++i) {
      const Note& n = song.patterns[p].notes[i];
      if (n.effect != effect::kSetSpeed || n.parameter == 0) continue;
      (n.parameter >= 32 ? tempo : speed) = true;
    }
  return tempo && speed;
}

// Trackers before ProTracker's CIA timing took every Fxx for a speed. A song whose pass would
// last ten minutes or more with Fxx from 32 as tempos, and less with them as speeds, was written
// in one of those (as openmpt123 judges it: a long song stays a long song).
void chooseTiming(Song& song) {
  if (song.rules != &pt::kRules || !setsTempoAndSpeed(song)) return;
  constexpr int32_t kRate = 8000;  // the pass's length needs no mixing, so any rate counts ticks
  const int64_t tenMinutes = int64_t{OfflineRenderer::kMaxPassSeconds} * kRate;
  if (OfflineRenderer::passFrames(song, kRate) < tenMinutes) return;
  song.vblankTiming = true;
  if (OfflineRenderer::passFrames(song, kRate) >= tenMinutes) song.vblankTiming = false;
}
}  // namespace

SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure) {
  static const char kXMId[] = "Extended Module: ";
  const bool xm = data && size >= 17 && std::memcmp(data, kXMId, 17) == 0;
  if (!xm) {
    if (recogniseMOD(data, size).channels > 0) {
      SongPtr song = parseMOD(data, size, rules ? *rules : pt::kRules, failure);
      if (song) chooseTiming(*song);
      return song;
    }
    if (failure) std::snprintf(failure->text, sizeof failure->text, "neither XM (no \"Extended Module: \" at its start) nor MOD");
    return nullptr;
  }
  return parseXM(data, size, rules ? *rules : ft2::kRules, failure);
}

std::string formatName(const Song& song) {
  char text[32];
  if (song.format == ModuleFormat::kXM)
    std::snprintf(text, sizeof text, "XM %d.%02x", song.version >> 8, song.version & 0xFF);
  else if (song.signature[0])
    std::snprintf(text, sizeof text, "MOD %s", printableName(song.signature, sizeof song.signature).c_str());
  else
    std::snprintf(text, sizeof text, "MOD 15 samples");
  return text;
}
