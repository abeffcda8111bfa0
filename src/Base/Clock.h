#pragma once

#include <cstdint>

// A monotonic tick counter: the performance counter on Windows, the steady clock elsewhere,
// a settable counter in tests.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t frequency() = 0;  // ticks per second
  virtual int64_t counter() = 0;    // current tick count
};

// The platform's monotonic clock; lives for the whole process.
Clock& systemClock();
