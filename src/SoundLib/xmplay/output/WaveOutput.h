#pragma once

#include <atomic>
#include <cstdint>

#include "Platform/Thread.h"
#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/engine/Player.h"

// The program's player: the engine's state with a wave device and the mixing thread that keeps
// its ring filled, and the flags the main thread and the mixing thread share. The program has
// one (xmPlayer()).
struct OutputPlayer : XMPlayer {
  OutputPlayer() = default;
  ~OutputPlayer();

  std::atomic<uint8_t> stopFlag{0};
  std::atomic<uint8_t> busy{0};
  std::atomic<uint8_t> finished{0};
  // Blocks the device reached before the mixing thread had rendered them, since play.
  std::atomic<uint32_t> underruns{0};
  // The mixing thread's own counts since play: blocks rendered and blocks the device played unrendered.
  uint64_t blocksRendered = 0;
  uint64_t blocksMissed = 0;
  PlatformThread thread;  // none where the device runs the passes itself

  WaveDevice* device = nullptr;
  bool deviceOpen = false;
};

OutputPlayer& xmPlayer();

// Opens the device at rate; false while the stream callback set is incomplete or when the
// device refuses. Sets the block, ring and ramp lengths and clears the mixer channels.
bool outputOpen(OutputPlayer& player, int32_t rate, WaveDevice& device = platformWaveDevice());
int outputClose(OutputPlayer& player);
// Renders the first ring, starts the device looping it and the mixing thread refilling it.
bool play(OutputPlayer& player, Song* song);
// Ends the mixing thread (waiting for a block in progress) and releases the mix buffer.
bool stop(OutputPlayer& player);

// The mixing thread's body: a pass every 5 ms until the stop flag is set.
void mixingThread(OutputPlayer& player);
// One poll of the mixing thread: refill every block the device has left. Devices on platforms
// without threads call it from their own callback instead of running the thread.
void mixingPass(OutputPlayer& player);
