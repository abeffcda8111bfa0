#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SoundLib/xmplay/Player.h"

// Loads a module image held in memory through the memory stream set, to be played by the given
// rules; none if it cannot be played.
Song* loadModuleImage(const uint8_t* data, size_t size, const RuleSet& rules = ft2::kRules);

// Renders a song through the block fill without a device or a thread: the same frames the
// mixing thread would write into the ring, in order.
class OfflineRenderer {
 public:
  OfflineRenderer(Song& song, int32_t rate);
  ~OfflineRenderer();

  // Frames rendered in place in the player's ring, interleaved stereo; valid until the next
  // render call.
  struct Chunk {
    const int16_t* frames;
    int64_t count;
  };
  // The next blocks, from the current one to the end of the ring or until at least maxFrames
  // (above 0) are covered: whole blocks, so possibly more than maxFrames. Writers stream these
  // instead of holding the whole song.
  Chunk renderChunk(int64_t maxFrames);

  // The next frames, interleaved stereo.
  std::vector<int16_t> render(int64_t frames);
  // From the start up to the frame where the order sequence first returns to a position it
  // has played (at most kMaxPassSeconds).
  std::vector<int16_t> renderOnePass();

  int64_t loopFrame() const { return loopFrame_; }  // -1 until found
  int32_t blockLength() const { return player_.blockLength; }  // frames; renderChunk gives whole ones
  const XMPlayer& player() const { return player_; }  // its voices, as of the last frame rendered

  // Goes on at row 0 of the given order from the next tick (seekOrder), and looks for the end
  // of a pass afresh from there, the orders before it counting as played: a listener who skips
  // on hears the song to its end (where it comes back round), not round again from its start.
  void seek(int32_t order);

  // Mixes only the song channels whose bits are set (bit c: channel c); all of them by default.
  void setChannelMask(uint32_t mask) { player_.channelMask = mask; }

  static constexpr int kMaxPassSeconds = 600;

 private:
  static void observedTick(XMPlayer& player, Song& song);

  XMPlayer player_;
  Song& song_;
  TickFunction original_;
  bool visited_[256] = {};
  int64_t tickFrame_ = 0;  // where the next tick starts
  int64_t loopFrame_ = -1;
};
