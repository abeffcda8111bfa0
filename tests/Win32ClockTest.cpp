// The performance-counter clock: its frequency is the system's, its counter follows it.

#include <windows.h>

#include <gtest/gtest.h>

#include "Base/Clock.h"

TEST(Win32Clock, CounterAndFrequencyAreThePerformanceCounters) {
  Clock& clock = systemClock();
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  EXPECT_EQ(clock.frequency(), frequency.QuadPart);
  QueryPerformanceCounter(&before);
  const int64_t counter = clock.counter();
  QueryPerformanceCounter(&after);
  EXPECT_GE(counter, before.QuadPart);
  EXPECT_LE(counter, after.QuadPart);
}

TEST(Win32Clock, ASleepShowsAsTicks) {
  Clock& clock = systemClock();
  const int64_t start = clock.counter();
  Sleep(50);
  const double seconds = static_cast<double>(clock.counter() - start) / static_cast<double>(clock.frequency());
  EXPECT_GE(seconds, 0.045);  // a sleep never ends early by more than the timer's granularity
}
