#include "Base/FrameTimer.h"

#include <gtest/gtest.h>

#include "Platform/virtual/ManualClock.h"

namespace {
// A counter far from zero, as a real one is, so startTime's float rounding is exercised.
constexpr int64_t kBoot = 123'456'789;
}

TEST(FrameTimer, FirstTickSpansEverythingSinceStart) {
  ManualClock clock(1'000'000);
  clock.set(kBoot);
  FrameTimer timer(clock);
  timer.start();
  EXPECT_EQ(timer.frequency, 1'000'000);
  EXPECT_EQ(timer.frameDelta, 0.0f);
  EXPECT_EQ(timer.frameCount, 0u);
  EXPECT_EQ(timer.fps, 0.0f);
  EXPECT_FLOAT_EQ(timer.sampleInterval, 0.1f);

  clock.advanceSeconds(2.5);  // the whole set-up
  timer.tick();
  EXPECT_NEAR(timer.frameDelta, 2.5, 1e-6);
  EXPECT_NEAR(timer.fps, 1 / 2.5, 1e-6);  // one tick over 2.5 s closes the sample
}

TEST(FrameTimer, SampleClosesOnlyAfterMoreThanATenth) {
  ManualClock clock(1'000'000);
  FrameTimer timer(clock);
  timer.start();
  for (int i = 0; i < 4; ++i) {
    clock.advanceSeconds(0.025);
    timer.tick();
  }
  // Exactly 0.1 s: the sample stays open.
  EXPECT_EQ(timer.frameCount, 4u);
  EXPECT_EQ(timer.fps, 0.0f);
  EXPECT_NEAR(timer.sinceSample, 0.1, 1e-7);
}

TEST(FrameTimer, SevenTicksOver105MillisecondsGiveAbout66Point7) {
  ManualClock clock(1'000'000);
  FrameTimer timer(clock);
  timer.start();
  for (int i = 0; i < 7; ++i) {
    clock.advanceSeconds(0.015);
    timer.tick();
  }
  EXPECT_NEAR(timer.fps, 7 / 0.105, 1e-3);
  EXPECT_EQ(timer.frameCount, 0u);
  EXPECT_NEAR(timer.sampleTime, 0.105, 1e-6);
  EXPECT_NEAR(timer.frameDelta, 0.015, 1e-6);

  // The next sample counts from the closing tick.
  clock.advanceSeconds(0.05);
  timer.tick();
  EXPECT_EQ(timer.frameCount, 1u);
  EXPECT_NEAR(timer.sinceSample, 0.05, 1e-6);
}

TEST(FrameTimer, TwoTicksAtTheSameCounterGiveZero) {
  ManualClock clock(1'000'000);
  clock.set(kBoot);
  FrameTimer timer(clock);
  timer.start();
  clock.advanceSeconds(0.3);
  timer.tick();
  timer.tick();
  EXPECT_EQ(timer.frameDelta, 0.0f);
  EXPECT_NEAR(timer.time, 0.3, 1e-5);
}

TEST(FrameTimer, LongStallPassesUnchanged) {
  ManualClock clock(3'579'545);  // an odd frequency, as old performance counters had
  FrameTimer timer(clock);
  timer.start();
  clock.advanceSeconds(0.016);
  timer.tick();
  clock.advanceSeconds(7.0);
  timer.tick();
  EXPECT_NEAR(timer.frameDelta, 7.0, 1e-5);
  EXPECT_GE(timer.frameDelta, 0.0f);
}

TEST(FrameTimer, SystemClockIsMonotonicNanoseconds) {
  Clock& clock = systemClock();
  EXPECT_EQ(clock.frequency(), 1'000'000'000);
  const int64_t a = clock.counter();
  const int64_t b = clock.counter();
  EXPECT_LE(a, b);
}
