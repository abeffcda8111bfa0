#include "Base/FrameTimer.h"

void FrameTimer::start() {
  frequency = clock->frequency();
  startTime = static_cast<float>(static_cast<double>(clock->counter()) / static_cast<double>(frequency));
  sampleInterval = 0.1f;
  const float t = static_cast<float>(now());
  sampleTime = t;
  lastTime = t;
  frameDelta = 0;
  frameCount = 0;
  fps = 0;
}

double FrameTimer::now() {
  return static_cast<double>(clock->counter()) / static_cast<double>(frequency) - startTime;
}

void FrameTimer::tick() {
  ++frameCount;
  // The reading is kept as the single-precision time it is stored as, so that two ticks at
  // the same counter differ by exactly 0.
  const float t = static_cast<float>(now());
  time = t;
  frameDelta = static_cast<float>(static_cast<double>(t) - lastTime);
  lastTime = t;
  sinceSample = static_cast<float>(static_cast<double>(t) - sampleTime);
  if (sinceSample > sampleInterval) {
    fps = static_cast<float>(frameCount / static_cast<double>(sinceSample));
    frameCount = 0;
    sampleTime = t;
  }
}
