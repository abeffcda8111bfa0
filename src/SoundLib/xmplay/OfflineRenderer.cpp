#include "SoundLib/xmplay/OfflineRenderer.h"

#include <algorithm>
#include <iterator>

#include "SoundLib/xmplay/Mixer.h"
#include "SoundLib/xmplay/Sequencer.h"
#include "SoundLib/xmplay/StreamCallbacks.h"
#include "SoundLib/xmplay/XMLoader.h"

namespace {
// The tick function has no context of its own; the renderer that is filling a block is it.
thread_local OfflineRenderer* filling = nullptr;
}  // namespace

Song* loadModuleImage(const uint8_t* data, size_t size, const RuleSet& rules) {
  if (size > UINT32_MAX / 2) return nullptr;
  installStreamCallbacks(kMemoryStreamCallbacks);
  setMemoryStreamLength(static_cast<uint32_t>(size));
  return createSong(data, nullptr, rules);
}

OfflineRenderer::OfflineRenderer(Song& song, int32_t rate) : song_(song), original_(song.tickFunction) {
  configureOutput(player_, rate);
  allocateRing(player_);
  songStart(player_, song_);
  player_.song = &song_;
  song_.tickFunction = &OfflineRenderer::observedTick;
  visited_[0] = true;
}

OfflineRenderer::~OfflineRenderer() {
  song_.tickFunction = original_;
  player_.song = nullptr;
}

void OfflineRenderer::observedTick(XMPlayer& player, Song& song) {
  OfflineRenderer& self = *filling;
  if (song.tick == 0 && song.nextOrderPosition >= 0 && self.loopFrame_ < 0) {
    const int order = song.nextOrderPosition;
    if (self.visited_[order])
      self.loopFrame_ = self.tickFrame_;
    else
      self.visited_[order] = true;
  }
  self.original_(player, song);
  // Tempo changes and the FastTracker 2 rules' carried fractions make ticks differ in length:
  // each lasts what its tick function leaves in samplesPerTick, which the block fill counts down.
  self.tickFrame_ += song.samplesPerTick;
}

void OfflineRenderer::seek(int32_t order) {
  seekOrder(player_, song_, order);
  for (int k = 0; k < 256; ++k) visited_[k] = k < song_.nextOrderPosition;
  loopFrame_ = -1;
}

OfflineRenderer::Chunk OfflineRenderer::renderChunk(int64_t maxFrames) {
  const int32_t first = player_.blockIndex;
  const int32_t b = player_.blockLength;
  int64_t count = 0;
  filling = this;
  do {
    fillBlock(player_);
    count += b;
  } while (player_.blockIndex != 0 && count < maxFrames);
  filling = nullptr;
  return {player_.output.get() + static_cast<size_t>(first) * b * 2, count};
}

std::vector<int16_t> OfflineRenderer::render(int64_t frames) {
  std::vector<int16_t> out;
  out.reserve(static_cast<size_t>(frames) * 2 + player_.ringLength * 2);
  while (static_cast<int64_t>(out.size() / 2) < frames) {
    const Chunk chunk = renderChunk(frames - static_cast<int64_t>(out.size() / 2));
    out.insert(out.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  out.resize(static_cast<size_t>(frames) * 2);
  return out;
}

std::vector<int16_t> OfflineRenderer::renderOnePass() {
  const int64_t cap = static_cast<int64_t>(kMaxPassSeconds) * player_.rate;
  std::vector<int16_t> out;
  while (true) {
    const int64_t done = static_cast<int64_t>(out.size() / 2);
    if (loopFrame_ >= 0 && done >= loopFrame_) {
      out.resize(static_cast<size_t>(loopFrame_) * 2);
      break;
    }
    if (done >= cap) {
      out.resize(static_cast<size_t>(cap) * 2);
      break;
    }
    // A block at a time: the pass may end in any of them, and the song must not run further.
    const Chunk chunk = renderChunk(1);
    out.insert(out.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  return out;
}
