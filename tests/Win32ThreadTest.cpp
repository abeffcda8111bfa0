// The Win32 thread the mixing loop runs on: time-critical priority (15), as the player asks.

#include <windows.h>

#include <gtest/gtest.h>

#include "Platform/Thread.h"

TEST(Win32Thread, RunsAtTimeCriticalPriority) {
  int priority = 0;
  PlatformThread thread = PlatformThread::startTimeCritical([&] { priority = GetThreadPriority(GetCurrentThread()); });
  thread.join();
  EXPECT_EQ(priority, THREAD_PRIORITY_TIME_CRITICAL);
}
