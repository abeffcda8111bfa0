#pragma once

#include <memory>
#include <string>
#include <vector>

#include "brackenfold/tracker.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/engine/Song.h"

// A module of the C interface: a song with a renderer of its own, what is left of the last block
// the renderer handed out, and what the calls for displays keep. Shared by the files of api/, one
// group of calls each; not installed.
struct bft_module {
  SongPtr song;
  OfflineRenderer* renderer = nullptr;  // made after the song, freed before it
  std::string title, tracker, format, message;
  std::vector<std::string> instrumentNames, sampleNames;
  mutable OfflineRenderer::PassEnd pass;  // worked out when first asked for
  mutable std::vector<OfflineRenderer::TickMark> passRows;  // where each row of that pass starts
  mutable bool passKnown = false;
  int64_t passStart = 0;  // frame where the pass that ends the song began: the start, a seek's, a repeat's
  int repeats = 0;        // passes still to play after this one; -1 for ever
  float gain = 1;
  uint64_t clipped = 0;
  // The block being handed out: its frames, and how many of them have been.
  OfflineRenderer::Chunk chunk{};
  int64_t chunkStart = 0;  // frame of the song at chunk.frames[0]
  int64_t taken = 0;
  int64_t given = 0;       // frames handed out since the load
  int32_t seekOrder = -1;  // where a seek goes, until a frame from there has been rendered
  bool ended = false;

  // Seeks to a frame: the renderer's states at order starts of the first pass, by frame. The
  // renderer is on that pass's course (its frames are those of a render from the load) until a
  // seek to an order, or the turn to another pass, takes it off.
  struct KeptState {
    int64_t frame;
    OfflineRenderer::StatePtr state;
  };
  std::vector<KeptState> kept;
  bool onFirstPass = true;
  int32_t keptOrder = -1;  // the order of the last state kept

  // Channel states: the peaks of each of the last blocks (8 x kChannelVoices x 2), and the last
  // note and instrument each channel's column gave as of each block's end.
  std::vector<float> peaks;
  bool measuring = false;  // the mixer measures the peaks from the first call that asks for them
  struct Column {
    uint8_t note, instrument;
  };
  std::vector<Column> columns;            // as of each block
  Column playing[kChannelVoices] = {};    // as of the last tick
  uint64_t muted = 0, soloed = 0, mask = ~uint64_t{0};

  ~bft_module() { delete renderer; }
};

// For the program's own tools, which link the library statically: the song a module plays,
// for what the C interface does not say (structure, instruments, samples).
const Song& songOf(const bft_module* module);
// How one pass of it ends, at the module's rate (bft_pass_frames's length, and whether a
// pattern loop that never ends follows it).
const OfflineRenderer::PassEnd& passOf(const bft_module* module);
// Where the module's next frame lies in the song.
inline int64_t nextFrame(const bft_module& m) { return m.chunkStart + m.taken; }
// The index of the ring block holding the last frame handed out; -1 before any.
int lastBlock(const bft_module& m);
// The channel mask the mixer gets from the caller's mask, mutes and solos.
void applyChannels(bft_module& m);
