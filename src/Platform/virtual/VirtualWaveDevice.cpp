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
}

int VirtualWaveDevice::close() {
  ++closes;
  return 0;
}
