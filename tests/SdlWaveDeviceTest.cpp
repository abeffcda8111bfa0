// The SDL wave device on SDL's dummy driver, which takes sound at a sound card's pace: the
// position moves on while the ring plays, stands still while paused and goes on after resume.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "Platform/WaveDevice.h"

namespace {
bool within5s(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}
}  // namespace

TEST(SdlWaveDevice, PauseHoldsThePositionAndResumeGoesOn) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  WaveDevice& device = platformWaveDevice();
  ASSERT_TRUE(device.open(44100));
  std::vector<int16_t> ring(4410 * 2);
  device.startLoop(ring.data(), static_cast<uint32_t>(ring.size() * 2));
  ASSERT_TRUE(within5s([&] { return device.positionBytes() > 2 * ring.size() * 2; })) << "the loop does not play";
  device.pause();
  const uint32_t held = device.positionBytes();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(device.positionBytes(), held);
  device.resume();
  EXPECT_TRUE(within5s([&] { return device.positionBytes() > held; }));
  device.reset();
  device.close();
}
