#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "SoundLib/xmplay/engine/KeySet.h"
#include "SoundLib/xmplay/engine/Player.h"

// Renders a song through the block fill without a device or a thread: the same frames the
// mixing thread would write into the ring, in order. Each renderer has a player of its own, so
// any number of songs render at once, each on whatever thread renders it.
class OfflineRenderer {
 public:
  OfflineRenderer(Song& song, int32_t rate);
  ~OfflineRenderer();
  OfflineRenderer(const OfflineRenderer&) = delete;
  OfflineRenderer& operator=(const OfflineRenderer&) = delete;

  // Frames rendered in place in the player's ring, interleaved stereo, as 16-bit samples and as
  // the mix they were rounded from (full scale 32768); valid until the next render call.
  struct Chunk {
    const int16_t* frames;
    const float* mix;
    int64_t count;
  };
  // The next block, blockLength() frames. Writers stream these instead of holding the whole song.
  Chunk renderChunk();

  // The next frames, interleaved stereo.
  std::vector<int16_t> render(int64_t frames);
  // From the start up to the frame where one pass ends (at most kMaxPassSeconds).
  std::vector<int16_t> renderOnePass();

  // Where one pass of a song ends: the tick on which it comes to an order and row it has played,
  // in the same state of its pattern loops (none under way, mostly: the song goes round). Where a
  // loop under way comes back to a state it was in, the loop never ends (the tracker plays it on
  // for ever): `endlessLoop`, and the pass is everything up to its first repeat.
  struct PassEnd {
    int64_t frame = -1;  // from the start; -1 until found
    bool endlessLoop = false;
    int32_t order = 0, row = 0;  // the row played again
    // The pass's length in frames at the rate it was found at: to the end, or cut at
    // kMaxPassSeconds where none was found.
    int64_t frames(int32_t rate) const {
      const int64_t cap = int64_t{kMaxPassSeconds} * rate;
      return frame >= 0 ? std::min(frame, cap) : cap;
    }
  };
  // The frame where one pass ends, counted from the start: -1 until the render has reached it.
  int64_t loopFrame() const { return pass_.end.frame; }
  const PassEnd& passEnd() const { return pass_.end; }
  int64_t renderedFrames() const { return rendered_; }
  int32_t blockLength() const { return player_.blockLength; }  // frames; renderChunk gives one block
  const XMPlayer& player() const { return player_; }  // its voices, as of the last frame rendered
  // Chunks without 16-bit frames from here on (frames null), for a caller that rounds the mix.
  void leaveRounding() { player_.roundsOutput = false; }

  // Where the song stood at the ticks of the last chunk: the frame (counted from the start) each
  // began on, its order position and row; the first covers the chunk's first frame.
  struct TickMark {
    int64_t frame;
    int32_t order;
    int32_t row;
  };
  const std::vector<TickMark>& ticks() const { return ticks_; }

  // Goes on at row 0 of the given order from the next tick (seekOrder), and looks for the end
  // of a pass afresh from there, the orders before it counting as played: a listener who skips
  // on hears the song to its end (where it comes back round), not round again from its start.
  void seek(int32_t order);
  // Looks for the end of a pass afresh from the row playing, the orders before it and the rows
  // up to it counting as played.
  void restartPass();
  // Starts the song again from the next frame as it starts after loading (tempo, speed, global
  // volume and voices too, which a seek keeps), and its pass with it.
  void restart();

  // Mixes only the song channels whose bits are set (bit c: channel c); all of them by default.
  void setChannelMask(uint64_t mask) { player_.channelMask = mask; }
  // Mixes with that path's inner loops (MixerKernels.h) from the next frame; false where this
  // machine lacks it (every path gives the same frames).
  bool setMixerPath(MixerPath path) {
    const MixerKernels* kernels = mixerKernels(path);
    if (kernels) player_.kernels = kernels;
    return kernels != nullptr;
  }
  // Mixes the channels whose bits are set unheard (XMPlayer::unheardMask), from the next frame.
  void setUnheardMask(uint64_t mask) { player_.unheardMask = mask; }
  void setInterpolation(Interpolation mode) { player_.interpolation = mode; }
  // Where given (kChannelVoices x 2 floats), the peaks of each channel in every block rendered
  // from now (XMPlayer::channelPeaks).
  void measureChannels(float* peaks) { player_.channelPeaks = peaks; }
  // How far apart a MOD's Amiga panning puts the sides, 0 to 100 % (XMPlayer::separation).
  void setSeparation(int32_t percent) { player_.separation = percent; }

  // The length of one pass of the song in frames at rate, found as a render finds it but by
  // running the song's ticks alone: no tick's length or next row depends on what the mixer does,
  // so nothing need be mixed. The song is left at its start.
  static int64_t passFrames(Song& song, int32_t rate);
  // The same, with how the pass ends (its frame is -1 where none ends within kMaxPassSeconds);
  // where rows is given, the frame each row of the pass starts on, in the order played.
  static PassEnd onePass(Song& song, int32_t rate, std::vector<TickMark>* rows = nullptr);

  // Everything the render goes on from: the voices, the rule set's state, the song's course, the
  // pass looked for, the frames rendered. Restored, the renderer gives from there the frames it
  // gave after it was saved (what the listener set, the channel mask, separation, interpolation
  // and mixer path, stays as it is now). For seeks that land on a frame, from a state kept at
  // an order start.
  struct State;
  struct StateFree {
    void operator()(State* state) const;
  };
  using StatePtr = std::unique_ptr<State, StateFree>;
  StatePtr save() const;
  void restore(const State& state);

  // Long enough for the longest songs people wrote (Scream Tracker 3's run past 15 minutes), short
  // enough that a song which never comes round is cut in a few seconds' rendering.
  static constexpr int kMaxPassSeconds = 1200;

 private:
  // Finds where a pass ends (see PassEnd); fed every tick before it runs.
  struct PassWatch {
    KeySet played;                        // (order, row, the rules' flow state) of each row started
    // The same keys in the order they came, shared with the states saved on the way, each of which
    // holds how many were there then: a state is restored from them rather than keeping a copy.
    std::shared_ptr<std::vector<uint64_t>> log = std::make_shared<std::vector<uint64_t>>();
    size_t logged = 0;                    // the keys of the log that are this pass's
    bool playedWhole[256] = {};           // orders before a skip: every row of them counts as played
    PassEnd end;
    // Forgets what was played; the orders up to playedThrough count as played whole.
    void restart(int32_t playedThrough);
    // Notes a row's key; false where it was played before.
    bool play(uint64_t key);
    // Back to the first `count` keys of a log.
    void rewind(const std::shared_ptr<std::vector<uint64_t>>& keys, size_t count);
    void beforeTick(XMPlayer& player, const Song& song, int64_t tickFrame);
    static uint64_t key(int32_t order, int32_t row, uint64_t flow);
  };

  friend struct State;
  static void observedTick(XMPlayer& player, Song& song);
  void forgetTicksBefore(int64_t frame);

  XMPlayer player_;
  Song& song_;
  TickFunction original_;
  PassWatch pass_;
  int64_t tickFrame_ = 0;  // where the next tick starts
  int64_t rendered_ = 0;
  std::vector<TickMark> ticks_;
};
