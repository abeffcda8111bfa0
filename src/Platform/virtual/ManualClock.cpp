// The tests' clock: the counter moves only when a test moves it. Nothing here reads the system's time.
#include "Platform/virtual/ManualClock.h"

#include <cmath>

void ManualClock::advanceSeconds(double seconds) {
  ticks += static_cast<int64_t>(std::llround(seconds * static_cast<double>(ticksPerSecond)));
}
