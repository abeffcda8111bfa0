// The waveOut device: the wave mapper at 44100 Hz playing one ring in a loop, its byte position
// moving past the end of the ring and on, restarting with a new ring, holding still while paused,
// stopping on reset. Needs an audio output (under Wine: an ALSA default device).

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "Platform/WaveDevice.h"

namespace {
constexpr uint32_t kRingFrames = 4410;  // 0.1 s
constexpr uint32_t kRingBytes = kRingFrames * 4;

class Win32WaveDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!device.open(44100)) GTEST_SKIP() << "no audio output to open (waveOutOpen on the wave mapper failed)";
  }
  void TearDown() override { device.close(); }
  // Polls the position until it passes `bytes`, for at most `ms`; the positions seen in order.
  std::vector<uint32_t> positionsUntil(uint32_t bytes, int ms) {
    std::vector<uint32_t> seen;
    for (int t = 0; t < ms; t += 5) {
      seen.push_back(device.positionBytes());
      if (seen.back() > bytes) break;
      Sleep(5);
    }
    return seen;
  }

  WaveDevice& device = platformWaveDevice();
  std::vector<int16_t> ring = std::vector<int16_t>(kRingFrames * 2, 0);
};
}  // namespace

TEST_F(Win32WaveDeviceTest, PositionMovesOnPastTheEndOfTheRing) {
  device.startLoop(ring.data(), kRingBytes);
  const std::vector<uint32_t> seen = positionsUntil(3 * kRingBytes, 5000);
  ASSERT_GT(seen.back(), 3 * kRingBytes) << "the loop stopped after " << seen.back() << " bytes";
  bool inFirstHalf = false, inSecondHalf = false;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (i) {
      EXPECT_GE(seen[i], seen[i - 1]);
    }
    EXPECT_EQ(seen[i] % 4, 0u);
    // The frame within the ring, as the mixing thread computes it, goes round.
    const uint32_t frame = (seen[i] / 4) % kRingFrames;
    (frame < kRingFrames / 2 ? inFirstHalf : inSecondHalf) = true;
  }
  EXPECT_TRUE(inFirstHalf);
  EXPECT_TRUE(inSecondHalf);
}

TEST_F(Win32WaveDeviceTest, NewRingRestartsThePositionAndResetStopsIt) {
  device.startLoop(ring.data(), kRingBytes);
  const uint32_t before = positionsUntil(2 * kRingBytes, 5000).back();
  ASSERT_GT(before, 2 * kRingBytes);
  std::vector<int16_t> next(kRingFrames * 2, 0);
  device.startLoop(next.data(), kRingBytes);
  // Counted again from the new ring's start (a device may have taken in one buffer's worth).
  EXPECT_LE(device.positionBytes(), kRingBytes);
  ASSERT_GT(positionsUntil(kRingBytes / 2, 5000).back(), kRingBytes / 2);
  device.reset();
  const uint32_t stopped = device.positionBytes();
  Sleep(100);
  EXPECT_EQ(device.positionBytes(), stopped);
  EXPECT_EQ(device.close(), 0);
}

TEST_F(Win32WaveDeviceTest, PauseHoldsThePositionAndResumeGoesOn) {
  device.startLoop(ring.data(), kRingBytes);
  ASSERT_GT(positionsUntil(kRingBytes / 2, 5000).back(), kRingBytes / 2);
  device.pause();
  // Wine's mixer plays out what it has taken in (up to a ring here) before it stands still.
  Sleep(300);
  const uint32_t held = device.positionBytes();
  Sleep(150);
  EXPECT_EQ(device.positionBytes(), held);
  device.resume();
  EXPECT_GT(positionsUntil(held + kRingBytes, 5000).back(), held + kRingBytes);
}
