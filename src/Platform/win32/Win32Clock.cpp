// The monotonic clock on Win32: the high-resolution performance counter.

#include <windows.h>

#include "Base/Clock.h"

namespace {
class PerformanceCounterClock : public Clock {
 public:
  int64_t frequency() override {
    LARGE_INTEGER ticksPerSecond;
    QueryPerformanceFrequency(&ticksPerSecond);
    return ticksPerSecond.QuadPart;
  }
  int64_t counter() override {
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return ticks.QuadPart;
  }
};
}  // namespace

Clock& systemClock() {
  static PerformanceCounterClock clock;
  return clock;
}
