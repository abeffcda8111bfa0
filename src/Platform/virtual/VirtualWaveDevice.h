#pragma once

#include <atomic>

#include "Platform/WaveDevice.h"

// A wave device whose play position the test moves by hand.
class VirtualWaveDevice : public WaveDevice {
 public:
  bool open(int32_t rate) override;
  void startLoop(const void* buffer, uint32_t bytes) override;
  uint32_t positionBytes() override { return position.load(); }
  void reset() override;
  int close() override;

  bool failOpen = false;
  std::atomic<uint32_t> position{0};
  int32_t openedRate = 0;
  int opens = 0, starts = 0, resets = 0, closes = 0;
  const void* buffer = nullptr;
  uint32_t bytes = 0;
};
