#pragma once

#include "Base/Clock.h"

// A clock whose counter the test sets.
class ManualClock : public Clock {
 public:
  explicit ManualClock(int64_t ticksPerSecond = 1'000'000) : ticksPerSecond(ticksPerSecond) {}
  int64_t frequency() override { return ticksPerSecond; }
  int64_t counter() override { return ticks; }
  void set(int64_t value) { ticks = value; }
  void advanceSeconds(double seconds);

  int64_t ticksPerSecond;
  int64_t ticks = 0;
};
