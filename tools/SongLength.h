#pragma once

#include <cstdint>

#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/Sequencer.h"

// The length of one pass of the song in frames at rate, found as the offline renderer finds it
// (up to the tick where the orders first come back to one played, at most its ten minutes), by
// running the song's ticks alone: no tick's length or next row depends on what the mixer does,
// so nothing need be mixed. The song is left at its start for whoever plays it next.
inline int64_t onePassFrames(Song& song, int32_t rate) {
  XMPlayer player;
  configureOutput(player, rate);
  songStart(player, song);
  player.song = &song;
  bool visited[256] = {true};
  const int64_t cap = int64_t{OfflineRenderer::kMaxPassSeconds} * rate;
  int64_t frames = 0;
  while (frames < cap) {
    if (song.tick == 0 && song.nextOrderPosition >= 0) {
      if (visited[song.nextOrderPosition]) break;
      visited[song.nextOrderPosition] = true;
    }
    song.tickFunction(player, song);
    frames += song.samplesPerTick;
  }
  player.song = nullptr;
  songStart(player, song);
  return frames < cap ? frames : cap;
}
