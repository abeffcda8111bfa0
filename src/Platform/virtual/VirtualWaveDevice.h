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
  // Recorded only: the position is the test's to move, and a paused device's stands still.
  void pause() override {
    ++pauses;
    paused = true;
  }
  void resume() override {
    ++resumes;
    paused = false;
  }
  int close() override;
  // With playsWithoutThread the device keeps `pass` as a browser's does and runs it only when
  // the test calls runPass, on the test's own thread.
  PlatformThread startMixingThread(std::function<void()> loop, std::function<void()> pass) override;
  void runPass() {
    if (pass) pass();
  }

  bool playsWithoutThread = false;
  std::function<void()> pass;
  bool failOpen = false;
  std::atomic<uint32_t> position{0};
  int32_t openedRate = 0;
  int opens = 0, starts = 0, resets = 0, closes = 0, pauses = 0, resumes = 0;
  bool paused = false;
  const void* buffer = nullptr;
  uint32_t bytes = 0;
};
