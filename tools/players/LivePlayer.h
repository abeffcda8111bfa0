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
  int64_t place = 0;      // frames into the song at the start of the block, as one pass counts them
};

// One pass of a song: its length in frames and the frame each of its rows starts on.
struct PassMap {
  OfflineRenderer::PassEnd end;
  int64_t frames = 0;
  std::vector<OfflineRenderer::TickMark> rows;
  // Found by running the song's ticks; before any renderer is made on the song.
  static PassMap of(Song& song, int32_t rate) {
    PassMap map;
    map.end = OfflineRenderer::onePass(song, rate, &map.rows);
    map.frames = map.end.frames(rate);
    return map;
  }
};

// Plays a song on a wave device for a listener at the keys. The intro's player renders two
// seconds ahead, far too late for a key or a status line; this one renders the song a block
// (20 ms) at a time through the offline renderer into a ring of its own of kRingBlocks blocks
// on the device, and notes the song's position with every block. What is shown is then the
// position of the block the device plays, and a skip is heard a few blocks later: the blocks
// after the one playing, which the device may have taken in already (SDL takes 1024 frames at a
// time), are left as they are, and the ones after them rendered again from the new order.
// Pausing pauses the device, which keeps its place.
// The place in the song is counted as one pass counts it (the frames of the pass's rows, given by
// OfflineRenderer::onePass): a skip to an order goes to that order's place in the pass, a seek
// lands on the frame asked, played unheard from the renderer's state kept at the place nearest
// before it, and a song that comes back round goes on from the place of the row it comes to.
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
  // pass: one pass of the song (PassMap::of, before the player is made); without it the place is
  // the time heard, and seeks go as far as the renderer's twenty minutes.
  LivePlayer(Song& song, WaveDevice& device, int32_t rate, bool loop, uint64_t channels = ~uint64_t{0},
             PassMap pass = {});
  ~LivePlayer();  // resets the device
  LivePlayer(const LivePlayer&) = delete;
  LivePlayer& operator=(const LivePlayer&) = delete;

  // How far apart a MOD's Amiga panning puts the sides, 0 to 100 %; the channels heard, bit c for
  // channel c (the others play on unheard, in step for when they are heard again). Both, like the
  // gain, for the blocks rendered from now on (a ring later).
  void setSeparation(int32_t percent) { renderer_.setSeparation(percent); }
  void setChannels(uint64_t mask) { renderer_.setUnheardMask(~mask); }
  // Looping from now on; turned on after the pass's end was rendered, the song goes on from there.
  void setLoop(bool loop);
  bool looping() const { return loop_; }

  // Before start: plays the song unheard up to that place, so that it starts there sounding as it
  // does there; false (nothing changed) where one pass ends before it.
  bool skipTo(int64_t place);
  // Before start: starts at row 0 of that order, at its place in the pass (the start's where the
  // pass never comes to it: the song goes there from its start, as a skip does).
  void startAtOrder(int32_t order);
  // Renders the first ring and starts the device playing it.
  void start();
  // Refills the blocks the device has left; false once the pass has been played to its end (and
  // a ring of silence after it).
  bool update();

  SongPosition heard() const;
  // The place in the song of the frame the device plays; at the end, the pass's last.
  int64_t heardFrames() const;

  void pause();
  void resume();
  bool paused() const { return paused_; }
  // Goes the given number of orders on (back when negative) from the one heard, or from the one
  // a skip not yet heard goes to, so that quick presses add up; back from the first order
  // starts it again. A skip to the first order starts the song over, at its own tempo.
  void skip(int orders);
  // Seeks that many frames on (back when negative) from the place heard, or from where a seek not
  // yet heard goes, so that quick presses add up: from the blocks after those the device may hold
  // the song plays from the frame asked. Before the start it starts again; past the pass's end
  // the song ends there, or with loop goes round to the start.
  void seek(int64_t frames);

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
  // The renderer's next frames, from its last chunk on, into mix_.
  void pullFrames();
  SongPosition current() const;
  // The blocks after the playing one and those the device may hold are dropped, to be rendered
  // again after a change of course; the place of the first of them.
  int64_t dropUnheard();
  // Renders them again: from the given order on, a place (-1: order 0's), or none (order -1:
  // silence, the song over).
  void changeCourse(int32_t order);
  void changePlace(int64_t place);
  void refillRing();
  // Plays the renderer unheard up to the place; false where the pass ends first.
  bool renderUnheardTo(int64_t place);
  int64_t placeOfOrder(int32_t order) const;  // -1 where the pass never comes to it
  int64_t passLength() const;
  // Keeps the renderer's state for seeks where the song has come a few seconds further on its
  // first pass than the last state kept; next: the place of the renderer's next frame.
  void keepState(int64_t next);

  OfflineRenderer renderer_;
  Song& song_;
  WaveDevice& device_;
  const int32_t rate_;
  const int32_t blockLength_;
  bool loop_;
  std::vector<int16_t> ring_;
  SongPosition positions_[kRingBlocks];  // of the block in each slot, noted when it was rendered
  int64_t rendered_ = 0;        // blocks written since start; block n lies in slot n % kRingBlocks
  int64_t endFrame_ = -1;       // device frame where the pass ends, once found
  int64_t played_ = 0;          // device frames
  uint32_t lastBytes_ = 0;
  bool paused_ = false;
  float gain_ = 1;
  uint64_t clipped_ = 0;
  int32_t skipOrder_ = 0;     // where the last skip went
  int64_t skipBlock_ = -1;    // the first block rendered from there
  int64_t seekPlace_ = 0;     // where the last seek went
  int64_t seekBlock_ = -1;    // the first block rendered from there

  // The renderer's last chunk, of which the frames from chunkTaken_ on are still to go into a
  // block: a seek lands inside one.
  OfflineRenderer::Chunk chunk_{};
  int64_t chunkTaken_ = 0;
  std::vector<float> mix_;  // the block being made, before the gain and rounding
  // The place of the renderer's next frame, and whether the renderer is on the course of the
  // first pass (from the start, or a state kept on it), where the states kept are good.
  PassMap pass_;
  int64_t place_ = 0;
  int32_t pendingOrder_ = -1;  // an order skipped to: its first tick sets the place
  bool onCourse_ = true;
  int64_t endPlace_ = 0;  // the place where the song ended, once it has
  struct KeptState {
    int64_t place;
    OfflineRenderer::StatePtr state;
  };
  std::vector<KeptState> kept_;
};
