#pragma once

#include <cstdint>
#include <vector>

#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"

// Where a song is: what a player's status line shows.
struct SongPosition {
  int32_t order = 0;  // 0-based position in the order list
  int32_t songLength = 0;
  int32_t pattern = 0;
  int32_t row = 0;
  int32_t rows = 0;  // of the pattern
  int32_t speed = 0;
  int32_t bpm = 0;
  uint64_t sounding = 0;  // channels with a voice sounding, bit c for channel c
};

// Plays a song on a wave device for a listener at the keys. The intro's player renders two
// seconds ahead, far too late for a key or a status line; this one renders the song a block
// (20 ms) at a time through the offline renderer into a ring of its own of kRingBlocks blocks
// on the device, and notes the song's position with every block. What is shown is then the
// position of the block the device plays, and a skip is heard a few blocks later: the blocks
// after the one playing, which the device may have taken in already (SDL takes 1024 frames at a
// time), are left as they are, and the ones after them rendered again from the new order.
// Pausing pauses the device, which keeps its place.
// Without `loop` the song plays once: up to where its orders come back to one played (at most
// the offline renderer's twenty minutes), then silence, and update() says it is over once the
// device has played that far and a ring of silence more. A skip past the last order ends it
// there; with `loop` it goes round to the first.
class LivePlayer {
 public:
  static constexpr int kRingBlocks = 8;
  static constexpr int kKeptBlocks = 2;

  // The device must be open at rate.
  // channels: the song channels heard, bit c for channel c.
  LivePlayer(Song& song, WaveDevice& device, int32_t rate, bool loop, uint64_t channels = ~uint64_t{0});
  ~LivePlayer();  // resets the device
  LivePlayer(const LivePlayer&) = delete;
  LivePlayer& operator=(const LivePlayer&) = delete;

  // How far apart a MOD's Amiga panning puts the sides, 0 to 100 %; the channels heard, bit c for
  // channel c. Both, like the gain, for the blocks rendered from now on (a ring later).
  void setSeparation(int32_t percent) { renderer_.setSeparation(percent); }
  void setChannels(uint64_t mask) { renderer_.setChannelMask(mask); }
  // Looping from now on; turned on after the pass's end was rendered, the song goes on from there.
  void setLoop(bool loop);
  bool looping() const { return loop_; }

  // Before start: plays the song unheard up to the block nearest that frame, so that it starts
  // there sounding as it does there; the time heard counts from there.
  void skipTo(int64_t songFrame);
  // Renders the first ring and starts the device playing it.
  void start();
  // Refills the blocks the device has left; false once the pass has been played to its end (and
  // a ring of silence after it).
  bool update();

  SongPosition heard() const;
  int64_t heardFrames() const;  // played by the device since start, pauses not counted, after skipTo's

  void pause();
  void resume();
  bool paused() const { return paused_; }
  // Goes the given number of orders on (back when negative) from the one heard, or from the one
  // a skip not yet heard goes to, so that quick presses add up; back from the first order
  // starts it again. A skip to the first order starts the song over, at its own tempo.
  void skip(int orders);

  // The level of what is rendered from now on, as a factor (1: the mix as it is).
  void setGain(float gain) { gain_ = gain; }
  // Samples rendered so far that lay beyond 16-bit full scale and were clipped.
  uint64_t clipped() const { return clipped_; }

  int32_t blockLength() const { return blockLength_; }
  int32_t rate() const { return rate_; }
  const int16_t* ring() const { return ring_.data(); }

 private:
  void readPosition();
  void renderBlock();
  SongPosition current() const;
  // Renders again, from the given order on (none: silence, the song over), the blocks after the
  // playing one and those the device may hold.
  void changeCourse(int32_t order);

  OfflineRenderer renderer_;
  Song& song_;
  WaveDevice& device_;
  const int32_t rate_;
  const int32_t blockLength_;
  bool loop_;
  std::vector<int16_t> ring_;
  SongPosition positions_[kRingBlocks];  // of the block in each slot, noted when it was rendered
  int64_t rendered_ = 0;        // blocks written since start; block n lies in slot n % kRingBlocks
  int64_t rendererFrames_ = 0;  // the renderer's own count, blocks rendered again included
  int64_t endFrame_ = -1;       // device frame where the pass ends, once found
  int64_t played_ = 0;          // device frames
  int64_t skipped_ = 0;         // song frames before the first block (skipTo)
  uint32_t lastBytes_ = 0;
  bool paused_ = false;
  float gain_ = 1;
  uint64_t clipped_ = 0;
  int32_t skipOrder_ = 0;     // where the last skip went
  int64_t skipBlock_ = -1;    // the first block rendered from there
};
