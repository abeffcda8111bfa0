#include "SoundLib/xmplay/Player.h"

#include <cstring>
#include <thread>

#include "SoundLib/xmplay/WaveOutput.h"

XMPlayer::XMPlayer() {
  std::memset(mixer, 0, sizeof mixer);
  std::memset(&intro, 0, sizeof intro);
  std::memset(&ft2, 0, sizeof ft2);
}

XMPlayer::~XMPlayer() {
  if (thread.joinable()) stop(*this);
}

XMPlayer& xmPlayer() {
  static XMPlayer player;
  return player;
}

void configureOutput(XMPlayer& player, int32_t rate) {
  player.rate = rate;
  player.blockLength = (rate * 20 / 1000 + 3) & ~3;
  player.ringLength = (1000 / 20) * player.blockLength * 2;
  player.rampLength = rate * 128 / 44100;
  player.rampReciprocal = 1.0f / static_cast<float>(player.rampLength);
  std::memset(player.mixer, 0, sizeof player.mixer);
  for (int i = 0; i < kMixerChannels; ++i) {
    player.mixer[i].index = i;
    player.mixer[i].direction = kForward;
  }
}

void allocateRing(XMPlayer& player) {
  const size_t frames = static_cast<size_t>(player.ringLength);
  player.output.reset(new int16_t[frames * 2]());
  player.mixStorage.reset(new uint8_t[frames * 8 + 256]());
  const auto address = reinterpret_cast<uintptr_t>(player.mixStorage.get());
  player.mixBuffer = reinterpret_cast<float*>((address + 15) & ~uintptr_t{15});
}

// Stop lives beside the player state rather than with the device code: releasing a song stops
// playback, and a tool that only renders offline then links no device layer.
bool stop(XMPlayer& player) {
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
