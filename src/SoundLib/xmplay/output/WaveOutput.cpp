#include "SoundLib/xmplay/output/WaveOutput.h"

#include <thread>

#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/output/StreamCallbacks.h"

OutputPlayer::~OutputPlayer() {
  if (thread.joinable()) stop(*this);
}

OutputPlayer& xmPlayer() {
  static OutputPlayer player;
  return player;
}

bool outputOpen(OutputPlayer& player, int32_t rate, WaveDevice& device) {
  if (!streamCallbacks().complete()) return false;
  // The block and ring sizes and the mixer channels change below: a mixing thread still
  // rendering with the old ones (init called twice) would run past the new ring.
  stop(player);
  if (player.deviceOpen) outputClose(player);
  if (rate < 8000 || rate > 192000) return false;
  if (!device.open(rate)) return false;
  player.device = &device;
  player.deviceOpen = true;
  configureOutput(player, rate);
  return true;
}

int outputClose(OutputPlayer& player) {
  if (!player.deviceOpen) return 0;
  player.device->reset();
  player.deviceOpen = false;
  return player.device->close();
}

bool play(OutputPlayer& player, Song* song) {
  if (!song || !player.deviceOpen) return false;
  stop(player);
  songStart(player, *song);
  player.song = song;
  // The previous ring may still be sounding: it is replaced only once the new one plays.
  std::unique_ptr<int16_t[]> previous = std::move(player.output);
  allocateRing(player);
  player.blockIndex = 0;
  do fillBlock(player);
  while (player.blockIndex != 0);
  player.device->startLoop(player.output.get(), static_cast<uint32_t>(player.ringLength) * 4);
  previous.reset();
  player.stopFlag = 0;
  player.finished = 0;
  player.underruns = 0;
  player.blocksRendered = static_cast<uint64_t>(player.ringLength / player.blockLength);
  player.blocksMissed = 0;
  player.thread = player.device->startMixingThread([&player] { mixingThread(player); },
                                                   [&player] {
                                                     // Without a thread the stop flag ends the passes.
                                                     if (player.stopFlag) {
                                                       player.finished = 1;
                                                       return;
                                                     }
                                                     mixingPass(player);
                                                   });
  return true;
}

void mixingPass(OutputPlayer& player) {
  // Blocks rendered and blocks the device has entered, both counted from play on: the device
  // plays a block the thread has not rendered when it gets a ring ahead of the rendering.
  const uint32_t frame = player.device->positionBytes() / 4;
  const uint64_t entered = frame / static_cast<uint32_t>(player.blockLength) + 1;
  if (entered > player.blocksRendered + player.blocksMissed) {
    player.blocksMissed = entered - player.blocksRendered;
    player.underruns = static_cast<uint32_t>(player.blocksMissed);
  }
  const int32_t playing = static_cast<int32_t>(frame % static_cast<uint32_t>(player.ringLength)) / player.blockLength;
  while (player.blockIndex != playing && !player.stopFlag) {
    player.busy = 1;
    fillBlock(player);
    ++player.blocksRendered;
    player.busy = 0;
  }
}

bool stop(OutputPlayer& player) {
  player.stopFlag = 1;
  while (player.busy) std::this_thread::yield();
  if (player.thread.joinable()) {
    while (!player.finished) platformSleep(50);
    player.thread.join();
  }
  player.mixStorage.reset();
  player.mixBuffer = nullptr;
  player.song = nullptr;
  return true;
}

void mixingThread(OutputPlayer& player) {
  player.finished = 0;
  while (!player.stopFlag) {
    mixingPass(player);
    platformSleep(5);
  }
  player.finished = 1;
}
