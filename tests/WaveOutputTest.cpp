#include "SoundLib/xmplay/output/WaveOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>

#include "Platform/virtual/VirtualWaveDevice.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/output/StreamCallbacks.h"
#include "XMTestModules.h"

using namespace std::chrono_literals;

namespace {
XMModuleSpec melody() {
  XMModuleSpec m = constantModule(2, 32, 3000, 5000);
  m.speed = 3;
  for (int r = 0; r < 32; r += 4) m.patterns[0].at(r, r % 8 == 0 ? 0 : 1, 2) = {static_cast<uint8_t>(40 + r), 1, 0, 0, 0};
  return m;
}

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 400; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return done();
}

class WaveOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installStreamCallbacks(kMemoryStreamCallbacks);
    ASSERT_NE(loaded.song, nullptr);
    ASSERT_TRUE(outputOpen(player, 44100, device));
  }
  void TearDown() override {
    stop(player);
    outputClose(player);
  }
  // The frames the offline renderer gives for the same song, from its start.
  std::vector<int16_t> reference(int64_t frames) {
    LoadedSong copy(melody(), intro::kRules);
    OfflineRenderer renderer(*copy.song, 44100);
    return renderer.render(frames);
  }

  LoadedSong loaded{melody(), intro::kRules};
  VirtualWaveDevice device;
  OutputPlayer player;
};
}  // namespace

TEST(WaveOutputSizes, BlockAndRingAt44100And22050) {
  OutputPlayer player;
  configureOutput(player, 44100);
  EXPECT_EQ(player.blockLength, 884);
  EXPECT_EQ(player.ringLength, 88400);
  EXPECT_EQ(player.ringLength / player.blockLength, 100);
  EXPECT_EQ(player.ringLength * 4, 353600);
  EXPECT_NEAR(player.ringLength / 44100.0, 2.0045, 1e-4);
  configureOutput(player, 22050);
  EXPECT_EQ(player.blockLength, 444);
  EXPECT_EQ(player.ringLength, 44400);
  EXPECT_EQ(player.rampLength, 64);
}

TEST_F(WaveOutputTest, PlayRendersTheWholeFirstRingAndStartsTheLoop) {
  EXPECT_EQ(device.openedRate, 44100);
  ASSERT_TRUE(play(player, loaded.song));
  EXPECT_EQ(device.starts, 1);
  EXPECT_EQ(device.bytes, 353600u);
  EXPECT_EQ(device.buffer, player.output.get());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(player.mixBuffer) % 16, 0u);
  const std::vector<int16_t> expected = reference(88400);
  EXPECT_EQ(std::memcmp(player.output.get(), expected.data(), expected.size() * 2), 0);
}

TEST_F(WaveOutputTest, MixingThreadRefillsTheBlocksThePositionHasLeft) {
  ASSERT_TRUE(play(player, loaded.song));
  EXPECT_EQ(player.blockIndex, 0);
  device.position = 10 * 884 * 4 + 100;  // playing block 10
  ASSERT_TRUE(waitFor([&] { return player.blockIndex == 10; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(player.blockIndex, 10) << "the block being played is left alone";
  const std::vector<int16_t> expected = reference(88400 + 10 * 884);
  EXPECT_EQ(std::memcmp(player.output.get(), expected.data() + 88400 * 2, 10 * 884 * 4), 0)
      << "blocks 0-9 hold the song's next frames";
}

TEST_F(WaveOutputTest, StopWithoutPlayChangesNothing) {
  EXPECT_TRUE(stop(player));
  EXPECT_EQ(device.resets, 0);
  EXPECT_EQ(player.song, nullptr);
}

namespace {
std::vector<std::pair<int, int>> firstRows;
void recordingTick(XMPlayer& player, Song& song) {
  intro::tickDriver(player, song);
  if (song.tick == 1 && firstRows.size() < 4) firstRows.emplace_back(song.orderPosition, song.row);
}
}  // namespace

TEST_F(WaveOutputTest, StopThenPlayRestartsAtOrderZeroRowZero) {
  ASSERT_TRUE(play(player, loaded.song));
  device.position = 50 * 884 * 4;
  ASSERT_TRUE(waitFor([&] { return player.blockIndex == 50; }));
  EXPECT_TRUE(stop(player));
  EXPECT_EQ(player.mixBuffer, nullptr);
  EXPECT_EQ(player.song, nullptr);
  EXPECT_TRUE(player.finished);
  EXPECT_NE(loaded.song->orderPosition * 100 + loaded.song->row, 0) << "the song had moved on";
  firstRows.clear();
  loaded.song->tickFunction = recordingTick;
  ASSERT_TRUE(play(player, loaded.song));
  ASSERT_FALSE(firstRows.empty());
  EXPECT_EQ(firstRows[0], std::make_pair(0, 0));
}

namespace {
std::atomic<bool> armed{false}, entered{false}, released{false};
void blockingTick(XMPlayer& player, Song& song) {
  if (armed) {
    entered = true;
    while (!released) std::this_thread::sleep_for(1ms);
  }
  intro::tickDriver(player, song);
}
}  // namespace

TEST_F(WaveOutputTest, StopWaitsForTheBlockInProgress) {
  loaded.song->tickFunction = blockingTick;
  armed = entered = released = false;
  ASSERT_TRUE(play(player, loaded.song));
  armed = true;
  device.position = 5 * 884 * 4;
  ASSERT_TRUE(waitFor([&] { return entered.load(); }));
  EXPECT_TRUE(player.busy);
  auto stopped = std::async(std::launch::async, [&] { return stop(player); });
  EXPECT_EQ(stopped.wait_for(100ms), std::future_status::timeout);
  EXPECT_NE(player.mixBuffer, nullptr) << "the mix buffer stays while the block renders";
  released = true;
  EXPECT_TRUE(stopped.get());
  EXPECT_EQ(player.mixBuffer, nullptr);
  EXPECT_FALSE(player.busy);
  armed = false;
}

TEST_F(WaveOutputTest, PlayCyclesAndClose) {
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(play(player, loaded.song));
    device.position = static_cast<uint32_t>((i * 7 % 100) * 884 * 4);
    std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(stop(player));
  }
  EXPECT_FALSE(play(player, nullptr));
  EXPECT_EQ(outputClose(player), 0);
  EXPECT_EQ(device.resets, 1);
  EXPECT_EQ(device.closes, 1);
  EXPECT_FALSE(play(player, loaded.song)) << "no device open";
}

TEST(WaveOutput, RefusingDeviceFailsOpen) {
  installStreamCallbacks(kMemoryStreamCallbacks);
  OutputPlayer player;
  VirtualWaveDevice device;
  device.failOpen = true;
  EXPECT_FALSE(outputOpen(player, 44100, device));
}

// init twice: the second open must not resize the ring under a running mixing thread.
TEST_F(WaveOutputTest, OpenWhilePlayingStopsFirst) {
  ASSERT_TRUE(play(player, loaded.song));
  ASSERT_TRUE(outputOpen(player, 22050, device));
  EXPECT_FALSE(player.thread.joinable());
  EXPECT_EQ(player.song, nullptr);
  EXPECT_EQ(player.mixBuffer, nullptr);
  EXPECT_EQ(player.blockLength, 444);
  EXPECT_EQ(device.openedRate, 22050);
  ASSERT_TRUE(play(player, loaded.song));
  EXPECT_EQ(device.bytes, 44400u * 4);
}

// A browser page has no thread to block: its device runs the passes from its own callback.
TEST_F(WaveOutputTest, WithoutAThreadTheDevicesPassesRefillTheRing) {
  device.playsWithoutThread = true;
  ASSERT_TRUE(play(player, loaded.song));
  EXPECT_FALSE(player.thread.joinable());
  device.position = 10 * 884 * 4 + 100;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(player.blockIndex, 0) << "nothing renders between the device's calls";
  device.runPass();
  EXPECT_EQ(player.blockIndex, 10);
  const std::vector<int16_t> expected = reference(88400 + 10 * 884);
  EXPECT_EQ(std::memcmp(player.output.get(), expected.data() + 88400 * 2, 10 * 884 * 4), 0);
  // A ring and a half later with no call between: the blocks it played unrendered are counted.
  device.position = (100 + 60) * 884 * 4;
  device.runPass();
  EXPECT_EQ(player.blockIndex, 60);
  EXPECT_EQ(player.underruns, 51u);

  EXPECT_TRUE(stop(player));
  EXPECT_EQ(player.mixBuffer, nullptr);
  device.position = (100 + 70) * 884 * 4;
  device.runPass();
  EXPECT_EQ(player.blockIndex, 60) << "no pass renders after stop";
  EXPECT_TRUE(player.finished);
  ASSERT_TRUE(play(player, loaded.song));
  EXPECT_EQ(player.blockIndex, 0);
  EXPECT_EQ(player.underruns, 0u);
}
