// Which timing a MOD was written for: ProTracker's CIA tempo, or every Fxx a speed at 50 ticks a
// second as the trackers before it had it.
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/pt/PTRules.h"

namespace pt {
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
}  // namespace

// A song whose pass would last ten minutes or more with Fxx from 32 as tempos, and less with them
// as speeds, was written in a tracker before the CIA timing (as openmpt123 judges it: a long song
// stays a long song).
void chooseTiming(Song& song) {
  if (!setsTempoAndSpeed(song)) return;
  constexpr int32_t kRate = 8000;  // the pass's length needs no mixing, so any rate counts ticks
  const int64_t tenMinutes = int64_t{10 * 60} * kRate;
  if (OfflineRenderer::passFrames(song, kRate) < tenMinutes) return;
  song.vblankTiming = true;
  if (OfflineRenderer::passFrames(song, kRate) >= tenMinutes) song.vblankTiming = false;
}
}  // namespace pt
