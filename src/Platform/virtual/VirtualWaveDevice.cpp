// The tests' wave device: it records opens, loops and resets, and its play position moves only
// when a test moves it, so the mixing thread's block logic is checked without a sound card. It
// plays nothing.
#include "Platform/virtual/VirtualWaveDevice.h"

bool VirtualWaveDevice::open(int32_t rate) {
  if (failOpen) return false;
  ++opens;
  openedRate = rate;
  return true;
}

void VirtualWaveDevice::startLoop(const void* b, uint32_t n) {
  ++starts;
  buffer = b;
  bytes = n;
  position = 0;
}

void VirtualWaveDevice::reset() {
  ++resets;
  buffer = nullptr;
  pass = nullptr;
}

int VirtualWaveDevice::close() {
  ++closes;
  pass = nullptr;
  return 0;
}

PlatformThread VirtualWaveDevice::startMixingThread(std::function<void()> loop, std::function<void()> p) {
  if (!playsWithoutThread) return WaveDevice::startMixingThread(std::move(loop), std::move(p));
  pass = std::move(p);
  return {};
}
