#include "SoundLib/xmplay/OfflineRenderer.h"

#include <algorithm>

#include "SoundLib/xmplay/Mixer.h"
#include "SoundLib/xmplay/Sequencer.h"

namespace {
// The tick function has no context of its own; the renderer that is filling a block is it.
thread_local OfflineRenderer* filling = nullptr;
}  // namespace

void OfflineRenderer::PassWatch::restart(int32_t playedThrough) {
  const size_t whole = static_cast<size_t>(std::max(playedThrough + 1, 0)) * kRowWords;
  std::fill(played.begin(), played.end(), 0);
  std::fill(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(std::min(whole, played.size())), ~uint64_t{0});
  endFrame = -1;
}

void OfflineRenderer::PassWatch::beforeTick(const Song& song, int64_t tickFrame) {
  if (song.tick != 0 || endFrame >= 0) return;
  // The row this tick plays, if it starts one.
  const bool enters = song.nextOrderPosition >= 0;
  const int order = enters ? song.nextOrderPosition : song.orderPosition;
  const int row = std::clamp(song.nextRow >= 0 ? song.nextRow : song.row, 0, 1023);
  uint64_t& word = played[static_cast<size_t>(order) * kRowWords + row / 64];
  const uint64_t bit = uint64_t{1} << (row % 64);
  if (enters && (word & bit) && !song.loopCounting)
    endFrame = tickFrame;
  else
    word |= bit;
}

OfflineRenderer::OfflineRenderer(Song& song, int32_t rate) : song_(song), original_(song.tickFunction) {
  configureOutput(player_, rate);
  // Blocks are handed on as they are rendered: a few are enough, and far less memory to touch at
  // the start than a device's two seconds.
  player_.ringLength = kRingBlocks * player_.blockLength;
  allocateRing(player_);
  songStart(player_, song_);
  player_.song = &song_;
  song_.tickFunction = &OfflineRenderer::observedTick;
  pass_.restart(-1);
}

OfflineRenderer::~OfflineRenderer() {
  song_.tickFunction = original_;
  player_.song = nullptr;
}

void OfflineRenderer::observedTick(XMPlayer& player, Song& song) {
  OfflineRenderer& self = *filling;
  self.pass_.beforeTick(song, self.tickFrame_);
  self.original_(player, song);
  self.ticks_.push_back({self.tickFrame_, song.orderPosition, song.row});
  // Tempo changes and the FastTracker 2 rules' carried fractions make ticks differ in length:
  // each lasts what its tick function leaves in samplesPerTick, which the block fill counts down.
  self.tickFrame_ += song.samplesPerTick;
}

// The ticks of the chunks before the last are forgotten, so that long renders keep only a few.
void OfflineRenderer::forgetTicksBefore(int64_t frame) {
  // The mark at or before the frame still covers it.
  auto covering = std::upper_bound(ticks_.begin(), ticks_.end(), frame,
                                   [](int64_t f, const TickMark& t) { return f < t.frame; });
  if (covering != ticks_.begin()) ticks_.erase(ticks_.begin(), covering - 1);
}

void OfflineRenderer::seek(int32_t order) {
  seekOrder(player_, song_, order);
  pass_.restart(song_.nextOrderPosition - 1);
}

void OfflineRenderer::restartPass() { pass_.restart(song_.orderPosition); }

void OfflineRenderer::restart() {
  songStart(player_, song_);
  pass_.restart(0);
  // The song's first tick begins the next block.
  tickFrame_ = rendered_;
}

OfflineRenderer::Chunk OfflineRenderer::renderChunk(int64_t maxFrames) {
  forgetTicksBefore(rendered_);
  const int32_t first = player_.blockIndex;
  const int32_t b = player_.blockLength;
  int64_t count = 0;
  filling = this;
  do {
    fillBlock(player_);
    count += b;
  } while (player_.blockIndex != 0 && count < maxFrames);
  filling = nullptr;
  rendered_ += count;
  const size_t at = static_cast<size_t>(first) * b * 2;
  return {player_.output.get() + at, player_.mixBuffer + at, count};
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
    if (pass_.endFrame >= 0 && done >= pass_.endFrame) {
      out.resize(static_cast<size_t>(pass_.endFrame) * 2);
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

int64_t OfflineRenderer::passFrames(Song& song, int32_t rate) {
  XMPlayer player;
  configureOutput(player, rate);
  player.courseOnly = true;
  songStart(player, song);
  player.song = &song;
  PassWatch pass;
  pass.restart(-1);
  const int64_t cap = int64_t{kMaxPassSeconds} * rate;
  int64_t frames = 0;
  while (frames < cap) {
    pass.beforeTick(song, frames);
    if (pass.endFrame >= 0) break;
    song.rules->tick(player, song);
    frames += song.samplesPerTick;
  }
  player.song = nullptr;
  songStart(player, song);
  return std::min(frames, cap);
}
