#include "Platform/virtual/ManualClock.h"

#include <cmath>

void ManualClock::advanceSeconds(double seconds) {
  ticks += static_cast<int64_t>(std::llround(seconds * static_cast<double>(ticksPerSecond)));
}
