#pragma once

#include <cstdint>

#include "Base/Clock.h"

// Gives every animation its per-frame step, frameDelta, and keeps a frame-rate figure that is
// refreshed about ten times a second. Arithmetic is double precision, the fields single.
struct FrameTimer {
  explicit FrameTimer(Clock& clock = systemClock()) : clock(&clock) {}

  void start();
  double now();
  void tick();

  Clock* clock;
  int64_t frequency = 0;
  float startTime = 0;
  float sampleTime = 0;
  float time = 0;
  float lastTime = 0;
  float sinceSample = 0;
  float frameDelta = 0;
  float sampleInterval = 0;
  uint32_t frameCount = 0;
  float fps = 0;
};
