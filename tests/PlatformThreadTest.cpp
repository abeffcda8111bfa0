// The platform's thread: the body runs on a thread of its own, join and the handle's end wait for
// it, and a moved handle joins its thread exactly once.

#include "Platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST(PlatformThread, BodyRunsOnAThreadOfItsOwnAndJoinWaitsForIt) {
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  PlatformThread thread = PlatformThread::startTimeCritical([&] {
    ranOn = std::this_thread::get_id();
    std::this_thread::sleep_for(50ms);
    done = true;
  });
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_TRUE(done) << "join returned before the body ended";
  EXPECT_FALSE(thread.joinable());
  EXPECT_NE(ranOn, std::this_thread::get_id());
  thread.join();  // a second join has nothing to wait for
}

TEST(PlatformThread, MovedHandlesJoinTheirThreadOnce) {
  std::atomic<int> runs{0};
  PlatformThread first = PlatformThread::startTimeCritical([&] { ++runs; });
  PlatformThread second(std::move(first));
  EXPECT_FALSE(first.joinable());
  ASSERT_TRUE(second.joinable());

  // Overwriting a handle that holds a thread waits for that thread first.
  std::atomic<bool> slowDone{false};
  PlatformThread third = PlatformThread::startTimeCritical([&] {
    std::this_thread::sleep_for(50ms);
    slowDone = true;
  });
  third = std::move(second);
  EXPECT_TRUE(slowDone);
  ASSERT_TRUE(third.joinable());
  third.join();
  EXPECT_EQ(runs, 1);
}

TEST(PlatformThread, HandleGoingOutOfScopeWaitsForTheBody) {
  std::atomic<bool> done{false};
  {
    PlatformThread thread = PlatformThread::startTimeCritical([&] {
      std::this_thread::sleep_for(50ms);
      done = true;
    });
  }
  EXPECT_TRUE(done);
}
