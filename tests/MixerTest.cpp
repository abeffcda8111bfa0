#include "SoundLib/xmplay/engine/Mixer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "modules/RandomModule.h"
#include "SoundLib/xmplay/engine/Filter.h"
#include "SoundLib/xmplay/engine/Player.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "XMTestModules.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace {
// A sample built by hand, with the loader's layout: length + kSampleSpareFrames values.
struct HandSample {
  HandSample(std::vector<int16_t> values, uint8_t mode, uint32_t loopStart, uint32_t loopLength)
      : data(std::move(values)) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    data.resize(length + kSampleSpareFrames, 0);
    sample = Sample{};
    sample.data = data.data();
    sample.length = length;
    sample.loopStart = loopStart;
    sample.loopLength = loopLength;
    sample.volume = 64;
    sample.panning = 128;
    sample.bits = 16;
    sample.loopMode = mode;
    sample.fileChannels = 1;
    const uint32_t end = loopStart + loopLength;
    if (mode == kLoopForward) data[end] = data[loopStart];
    if (mode == kLoopPingPong) data[end] = data[end - 1];
  }
  std::vector<int16_t> data;
  Sample sample;
};

std::vector<int16_t> ramp(int n, int scale) {
  std::vector<int16_t> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<int16_t>(i * scale);
  return v;
}

class MixerTest : public ::testing::Test {
 protected:
  MixerTest() {
    configureOutput(player, 44100);
    buffer.assign(2 * 4096, 0.0f);
  }
  // A channel at full left level, already there (no ramp), stepping by step/2^32 frames.
  MixerChannel& steady(int index, const Sample& s, uint64_t step, int32_t left = 255, int32_t right = 0) {
    MixerChannel& c = player.mixer[index];
    c.sample = &s;
    c.step = static_cast<uint32_t>(step >> 32);
    c.stepFraction = static_cast<uint32_t>(step);
    c.leftTarget = c.rampLeftTarget = left;
    c.rightTarget = c.rampRightTarget = right;
    c.rampLeftLevel = left * 256;
    c.rampRightLevel = right * 256;
    return c;
  }
  float left(int frame) const { return buffer[2 * frame]; }
  float right(int frame) const { return buffer[2 * frame + 1]; }

  XMPlayer player;
  std::vector<float> buffer;
};

constexpr uint64_t kOne = uint64_t{1} << 32;
}  // namespace

TEST_F(MixerTest, RampLengthFollowsTheRate) {
  EXPECT_EQ(player.rampLength, 128);
  XMPlayer other;
  configureOutput(other, 22050);
  EXPECT_EQ(other.rampLength, 64);
  EXPECT_EQ(other.mixer[63].index, 63);
  EXPECT_EQ(other.mixer[5].direction, kForward);
}

TEST_F(MixerTest, NewNoteRampsUpLinearlyOver128Frames) {
  HandSample s(std::vector<int16_t>(1000, 10000), kLoopNone, 0, 1000);
  MixerChannel& c = player.mixer[0];
  c.sample = &s.sample;
  c.step = 1;
  c.leftTarget = 255;
  c.rightTarget = 51;
  mix(player, buffer.data(), 300);
  EXPECT_FLOAT_EQ(left(0), 0);
  EXPECT_FLOAT_EQ(left(1), 10000.0f / 128);
  EXPECT_FLOAT_EQ(left(64), 5000);
  EXPECT_NEAR(left(127), 10000.0f * 127 / 128, 0.01);
  EXPECT_FLOAT_EQ(left(128), 10000);
  EXPECT_FLOAT_EQ(left(299), 10000);
  EXPECT_NEAR(right(64), 1000, 0.01);  // 51/255 of the level, half way
  EXPECT_FLOAT_EQ(right(200), 2000);
  EXPECT_EQ(c.rampFramesLeft, 0);
  EXPECT_EQ(c.rampLeftLevel, 255 * 256);
  EXPECT_EQ(c.rampRightLevel, 51 * 256);
}

TEST_F(MixerTest, VolumeChangeMidNoteRampsFromTheCurrentLevel) {
  HandSample s(std::vector<int16_t>(2000, 10000), kLoopNone, 0, 2000);
  MixerChannel& c = steady(0, s.sample, kOne);
  mix(player, buffer.data(), 10);
  c.leftTarget = 0;  // halfway through a call, as a tick would
  mix(player, buffer.data() + 20, 200);
  EXPECT_FLOAT_EQ(left(9), 10000);
  EXPECT_FLOAT_EQ(left(10), 10000);
  EXPECT_FLOAT_EQ(left(10 + 64), 5000);
  EXPECT_FLOAT_EQ(left(10 + 128), 0);
}

TEST_F(MixerTest, AChannelsOwnRampLengthRampsOverItAndFinestLevelsHold) {
  player.targetScale = 32768;
  HandSample s(std::vector<int16_t>(4000, 16384), kLoopNone, 0, 4000);
  MixerChannel& c = steady(0, s.sample, kOne, 32768, 0);
  c.rampLength = 1000;
  c.leftTarget = 1;  // a level too fine for the intro's 255 steps
  mix(player, buffer.data(), 1500);
  EXPECT_FLOAT_EQ(left(0), 16384);
  EXPECT_NEAR(left(500), 16384.0f * (32768 + 1) / 2 / 32768, 0.5) << "halfway, linearly";
  EXPECT_NEAR(left(999), 16384.0f * 33 / 32768, 0.5);
  EXPECT_FLOAT_EQ(left(1000), 0.5f) << "16384 at 1/32768";
  EXPECT_FLOAT_EQ(left(1499), 0.5f);
  EXPECT_EQ(c.rampLeftLevel, 256);
}

TEST_F(MixerTest, UnloopedSampleStopsExactlyAtItsLastFrame) {
  HandSample s(ramp(10, 100), kLoopNone, 0, 10);
  MixerChannel& c = steady(0, s.sample, kOne);
  mix(player, buffer.data(), 20);
  for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(left(i), i * 100.0f) << i;
  for (int i = 10; i < 20; ++i) EXPECT_FLOAT_EQ(left(i), 0) << i;
  EXPECT_EQ(c.sample, nullptr);
  EXPECT_EQ(c.position, 0u);
}

TEST_F(MixerTest, HalfStepsInterpolateLinearly) {
  HandSample s(ramp(10, 100), kLoopNone, 0, 10);
  steady(0, s.sample, kOne / 2);
  mix(player, buffer.data(), 20);
  EXPECT_FLOAT_EQ(left(1), 50);
  EXPECT_FLOAT_EQ(left(2), 100);
  EXPECT_FLOAT_EQ(left(19), 900 * 0.5f + 0 * 0.5f) << "last frame reads the zero guard";
}

TEST_F(MixerTest, ForwardLoopOf28FramesFrom18WrapsWithTheOvershoot) {
  HandSample s(ramp(46, 10), kLoopForward, 18, 28);
  MixerChannel& c = steady(0, s.sample, 4 * kOne);
  mix(player, buffer.data(), 13);
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(left(i), i * 40.0f) << i;
  // 44 + 4 = 48 passes the loop end 46: back to 18 + 2.
  EXPECT_FLOAT_EQ(left(12), 200);
  EXPECT_EQ(c.position, 24u);
  EXPECT_NE(c.sample, nullptr);
}

TEST_F(MixerTest, PingPongReflectsOneFractionUnitBelowTheMirror) {
  HandSample s(ramp(20, 10), kLoopPingPong, 4, 8);
  MixerChannel& c = steady(0, s.sample, kOne);
  mix(player, buffer.data(), 12);
  EXPECT_EQ(c.direction, kBackward);
  EXPECT_EQ(c.position, 11u);
  EXPECT_EQ(c.positionFraction, 0xFFFFFFFFu);
  mix(player, buffer.data() + 24, 8);
  // 12 - 2^-32 - 8 lies below the start 4: mirrored to 2 * 4 - (4 - 2^-32) - 2^-32 = 4.
  EXPECT_EQ(c.direction, kForward);
  EXPECT_EQ(c.position, 4u);
  EXPECT_EQ(c.positionFraction, 0u);
  // The backward frames read the pair above them: 11 - 2^-32 sounds like frame 11.
  EXPECT_NEAR(left(12), 110, 1e-3);
  EXPECT_NEAR(left(13), 110, 1e-3) << "position 11 - 2^-32 interpolates 10 and 11";
  EXPECT_NEAR(left(14), 100, 1e-3);
}

TEST_F(MixerTest, StepLongerThanTheLoopStaysInside) {
  HandSample s(ramp(20, 10), kLoopPingPong, 4, 2);
  MixerChannel& c = steady(0, s.sample, 37 * kOne + 12345);
  mix(player, buffer.data(), 500);
  EXPECT_GE(c.position, 4u);
  EXPECT_LT(c.position, 6u);
  HandSample f(ramp(20, 10), kLoopForward, 4, 3);
  MixerChannel& d = steady(1, f.sample, 1000 * kOne);
  mix(player, buffer.data(), 500);
  EXPECT_GE(d.position, 4u);
  EXPECT_LT(d.position, 7u);
}

// The FastTracker 2 rules' loader stores a short forward loop many times over, so that the mixer
// wraps less often: mixed from there, a 5-frame loop plays the frames it plays as stored.
TEST_F(MixerTest, RepeatedShortLoopPlaysTheFramesOfTheLoopAsStored) {
  const std::vector<int16_t> values = {900, -4000, 3, 12000, -700, 50, -9, 2500, 31000};
  XMModuleSpec design;
  design.patterns.resize(1);
  XMInstrumentSpec ins;
  XMSampleSpec looped;
  looped.data = values;
  looped.sixteenBit = true;
  looped.loopType = 1;
  looped.loopStart = 3;
  looped.loopLength = 5;
  ins.samples.push_back(looped);
  design.instruments.push_back(ins);
  LoadedSong loaded(design, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& repeated = *loaded.song->instruments[0].samples[0];
  ASSERT_EQ(repeated.mixLoopLength, 1025u) << "205 copies: the first whole number of loops from 1024 frames";
  HandSample stored(values, kLoopForward, 3, 5);

  const uint64_t step = kOne * 7 / 3 + 12345;  // crosses the loop at every phase
  MixerChannel& a = steady(0, repeated, step, 200, 90);
  mix(player, buffer.data(), 4000);
  const std::vector<float> fromRepeated = buffer;
  a.sample = nullptr;
  buffer.assign(buffer.size(), 0.0f);
  steady(1, stored.sample, step, 200, 90);
  mix(player, buffer.data(), 4000);
  for (int i = 0; i < 8000; ++i) ASSERT_EQ(fromRepeated[i], buffer[i]) << "value " << i;
}

// A sample queued on a voice (the ProTracker rules' swap without a note) takes over at the end of
// the pass through the playing loop, also where the loader's copies make that pass's end lie
// inside the stored loop, and plays its own loop from as far in as the step overshot; one
// without a loop ends the voice there.
TEST_F(MixerTest, QueuedSampleTakesOverWhereTheLoopsPassEnds) {
  HandSample playing(ramp(12, 10), kLoopForward, 4, 4);
  playing.sample.mixLoopLength = 8;  // two copies of the loop, as the loader stores short ones
  for (uint32_t i = 8; i <= 12; ++i) playing.data[i] = playing.data[i - 4];
  HandSample next(ramp(30, -10), kLoopForward, 20, 10);
  MixerChannel& c = steady(0, playing.sample, 3 * kOne);
  c.position = 5;
  c.queued = &next.sample;
  mix(player, buffer.data(), 2);
  EXPECT_FLOAT_EQ(left(0), 50);
  EXPECT_EQ(c.sample, &next.sample) << "5 + 3 reaches the pass's end at 8, before the stored copy's at 12";
  EXPECT_EQ(c.queued, nullptr);
  EXPECT_FLOAT_EQ(left(1), -200) << "the overshoot of 0 from the new loop's start";
  EXPECT_EQ(c.position, 23u);

  HandSample oneShot(ramp(6, 10), kLoopNone, 0, 6);
  c.queued = &oneShot.sample;
  mix(player, buffer.data(), 4);
  EXPECT_EQ(c.sample, nullptr) << "30 is the pass's end; the queued sample has no loop";
}

// 100/2^32 short of three frames from the end: a count from distance and step cut to 24
// fractional bits says 3, the segment stops 100/2^32 before the loop end, and the next count is
// 0 frames, for ever. Exactly counted, the fourth frame carries it across.
TEST_F(MixerTest, ForwardLoopCountsTheFrameThatCrossesByLessThan256Units) {
  HandSample s(ramp(8, 10), kLoopForward, 0, 8);
  MixerChannel& c = steady(0, s.sample, kOne);
  c.position = 4;
  c.positionFraction = 0xFFFFFFFFu - 99;
  mix(player, buffer.data(), 10);
  EXPECT_EQ(c.position, 6u);
  EXPECT_EQ(c.positionFraction, 0xFFFFFFFFu - 99);
  EXPECT_NEAR(left(3), 0, 0.01) << "7.99... reads the guard, the loop start's value";
  EXPECT_NEAR(left(4), 10, 0.01) << "wrapped to 0.99...";
}

// Backward on a ping-pong loop from 0 with a step of 1 + 255/2^32 frames, 1/2^32 short of three
// steps above 0: cut to 24 bits the count is 4 and its last frame would read index -1.
TEST_F(MixerTest, PingPongFromZeroNeverReadsBelowTheSample) {
  HandSample s(ramp(8, 10), kLoopPingPong, 0, 8);
  const uint64_t step = kOne + 255;
  MixerChannel& c = steady(0, s.sample, step);
  c.direction = kBackward;
  const uint64_t start = 3 * step - 1;
  c.position = static_cast<uint32_t>(start >> 32);
  c.positionFraction = static_cast<uint32_t>(start);
  mix(player, buffer.data(), 5);
  EXPECT_EQ(c.direction, kForward);
  const uint64_t position = uint64_t{c.position} << 32 | c.positionFraction;
  EXPECT_EQ(position, 2 * step) << "reflected at 0 to 0, then two steps up";
  EXPECT_NEAR(left(2), 10, 0.01) << "the last backward frame, one step above 0";
  EXPECT_NEAR(left(3), 0, 0.01) << "the reflection lands on 0";
  EXPECT_NEAR(left(4), 10, 0.01);
}

TEST_F(MixerTest, ConvertRoundsAndClipsFourLoudChannels) {
  HandSample s(std::vector<int16_t>(100, 20000), kLoopForward, 0, 100);
  for (int i = 0; i < 4; ++i) steady(i, s.sample, kOne);
  HandSample n(std::vector<int16_t>(100, -20000), kLoopForward, 0, 100);
  for (int i = 4; i < 8; ++i) steady(i, n.sample, kOne, 0, 255);
  mix(player, buffer.data(), 10);
  int16_t out[20];
  convert(out, buffer.data(), 10);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  const float values[6] = {1.4f, 1.6f, -2.6f, 32766.6f, -32768.4f, 0.0f};
  int16_t small[6];
  convert(small, values, 3);
  EXPECT_EQ(small[0], 1);
  EXPECT_EQ(small[1], 2);
  EXPECT_EQ(small[2], -3);
  EXPECT_EQ(small[3], 32767);
  EXPECT_EQ(small[4], -32768);
  EXPECT_EQ(small[5], 0);
}

namespace {
HandSample* tickSample = nullptr;
int tickCalls = 0;
// On its second call, starts a steady sound on channel 0.
void startOnSecondTick(XMPlayer& player, Song& song) {
  if (++tickCalls == 2) {
    MixerChannel& c = player.mixer[0];
    c.sample = &tickSample->sample;
    c.step = 1;
    c.leftTarget = c.rampLeftTarget = 255;
    c.rampLeftLevel = 255 * 256;
  }
  song.samplesPerTick = 442;
}
}  // namespace

TEST_F(MixerTest, TickOnASegmentBoundaryRunsBeforeTheNextFrame) {
  HandSample s(std::vector<int16_t>(2000, 1000), kLoopForward, 0, 2000);
  tickSample = &s;
  tickCalls = 0;
  Song song{};
  song.tickFunction = startOnSecondTick;
  allocateRing(player);
  player.song = &song;
  player.blockIndex = 0;
  fillBlock(player);  // B = 884 = two ticks of 442
  EXPECT_EQ(tickCalls, 2);
  EXPECT_EQ(player.output[2 * 441], 0);
  EXPECT_EQ(player.output[2 * 442], 1000);
  EXPECT_EQ(player.output[2 * 883], 1000);
  EXPECT_EQ(song.samplesLeftInTick, 0);
  EXPECT_EQ(player.blockIndex, 1);
  fillBlock(player);
  EXPECT_EQ(tickCalls, 4) << "the countdown of 0 calls the tick at the next block's first frame";
  player.blockIndex = 99;
  fillBlock(player);
  EXPECT_EQ(player.blockIndex, 0) << "wraps after the 100th block";
  player.song = nullptr;
}

namespace {
// Where a channel may stand between calls: inside its loop's reach (as the mixer runs it, a short
// loop repeated), and short of the boundary it moves towards (a backward channel above the loop
// start), so the next call has frames to mix.
std::string misplaced(const XMPlayer& player) {
  for (const MixerChannel& c : player.mixer) {
    if (!c.sample) continue;
    const Sample& s = *c.sample;
    const uint64_t position = uint64_t{c.position} << 32 | c.positionFraction;
    const uint32_t mixed = s.mixLoopLength ? s.mixLoopLength : s.loopLength;
    const uint64_t start = uint64_t{s.loopStart} << 32, end = uint64_t{s.loopStart + mixed} << 32;
    const bool inside = c.direction == kBackward ? position > start && position < end : position < end;
    if (!s.data || s.loopStart + s.loopLength > s.length || !inside)
      return "channel " + std::to_string(c.index) + " at " + std::to_string(c.position) + "+" +
             std::to_string(c.positionFraction) + "/2^32, direction " + std::to_string(c.direction) + ", loop " +
             std::to_string(s.loopStart) + "+" + std::to_string(s.loopLength) + " of " + std::to_string(s.length);
  }
  return "";
}

class GeneratedModuleTest : public ::testing::TestWithParam<std::tuple<uint64_t, const RuleSet*>> {};
}  // namespace

// Thirty seconds of a generated module: every channel crosses its loop ends thousands of times at
// arbitrary phases. A render that never returns is a hang; the watchdog ends the test then
// rather than letting it spin.
TEST_P(GeneratedModuleTest, RendersThirtySecondsWithEveryChannelInsideItsSample) {
  constexpr int kSeconds = 30;
  constexpr auto kHangBound = std::chrono::minutes(4);
  const uint64_t seed = std::get<0>(GetParam());
  LoadedSong loaded(randomModule(seed, {32, seed % 2 ? 16u : 2048u}), *std::get<1>(GetParam()));
  ASSERT_NE(loaded.song, nullptr);
  XMPlayer player;
  const int32_t rates[3] = {44100, 22050, 8000};  // other rates, other steps, other phases
  configureOutput(player, rates[seed % 3]);
  allocateRing(player);
  songStart(player, *loaded.song);
  player.song = loaded.song;
  auto render = std::async(std::launch::async, [&player, seed] {
    const int blocks = kSeconds * player.rate / player.blockLength;
    int64_t loud = 0;
    for (int b = 0; b < blocks; ++b) {
      const int32_t block = player.blockIndex;
      fillBlock(player);
      const std::string fault = misplaced(player);
      if (!fault.empty()) return "block " + std::to_string(b) + ": " + fault;
      for (int i = 0; i < 2 * player.blockLength; ++i)
        loud += player.output[static_cast<size_t>(block) * player.blockLength * 2 + i] != 0;
    }
    return loud > 0 ? std::string() : std::string("no sound at all");
  });
  if (render.wait_for(kHangBound) == std::future_status::timeout) {
    std::fprintf(stderr, "seed %llu: %d s of music not rendered after %lld s: the block fill hangs\n",
                 static_cast<unsigned long long>(seed), kSeconds,
                 static_cast<long long>(std::chrono::seconds(kHangBound).count()));
    std::fflush(stderr);
    std::_Exit(1);  // the hung thread cannot be joined
  }
  EXPECT_EQ(render.get(), "");
  player.song = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Seeds, GeneratedModuleTest,
                         ::testing::Combine(::testing::Range<uint64_t>(1, 9), ::testing::Values(&intro::kRules, &ft2::kRules)));

// Filtered voices are mixed side by side, several at once: each adds what it adds mixed alone, in
// the voices' order, bit for bit, through loop ends, ping-pong turns, ramps, silence, a sample's
// end, a voice between them mixed as usual, and calls of every length.
TEST_F(MixerTest, FilteredVoicesMixedTogetherAddWhatEachAddsAlone) {
  std::vector<int16_t> noise(3000);
  uint32_t seed = 1;
  for (int16_t& v : noise) v = static_cast<int16_t>((seed = seed * 1103515245u + 12345u) >> 16);
  HandSample forward(noise, kLoopForward, 100, 900), pingPong(noise, kLoopPingPong, 50, 700),
      once(std::vector<int16_t>(noise.begin(), noise.begin() + 1500), kLoopNone, 0, 1500);
  const auto setUp = [&](XMPlayer& p, int only) {
    const Sample* samples[] = {&forward.sample, &pingPong.sample, &once.sample, &forward.sample, &pingPong.sample,
                               &forward.sample, &once.sample};
    for (int i = 0; i < 7; ++i) {
      if (only >= 0 && i != only) continue;
      MixerChannel& c = p.mixer[i];
      c = MixerChannel{};
      c.index = c.channel = i;
      c.sample = samples[i];
      const uint64_t step = kOne / 3 + kOne * static_cast<uint64_t>(i) / 2 + 12345u * i;
      c.step = static_cast<uint32_t>(step >> 32);
      c.stepFraction = static_cast<uint32_t>(step);
      c.direction = kForward;
      c.leftTarget = c.rampLeftTarget = 40 + 20 * i;
      c.rightTarget = c.rampRightTarget = 200 - 25 * i;
      c.rampLeftLevel = c.leftTarget * 256;
      c.rampRightLevel = c.rightTarget * 256;
      if (i == 1 || i == 5) c.leftTarget = 7;  // ramps there
      if (i == 3) c.leftTarget = c.rightTarget = c.rampLeftTarget = c.rampRightTarget = c.rampLeftLevel = c.rampRightLevel = 0;
      if (i == 3) c.rampLength = 0;  // silent: only its position moves
      if (i != 4) setVoiceFilter(c, 60 + 25 * i, 10 * i, 44100);  // voice 4 unfiltered, mixed between
    }
  };
  XMPlayer together;
  configureOutput(together, 44100);
  setUp(together, -1);
  std::vector<float> expected(2 * 4000, 0.0f), got(2 * 4000, 0.0f);
  std::vector<XMPlayer> alone(7);
  for (int i = 0; i < 7; ++i) {
    configureOutput(alone[i], 44100);
    setUp(alone[i], i);
  }
  const int32_t calls[] = {1, 7, 300, together.blockLength, 5, together.blockLength - 3, 64, 2};
  int32_t at = 0;
  for (int32_t n : calls) {
    mix(together, got.data() + 2 * at, n);
    std::vector<float> own(2 * static_cast<size_t>(n));
    for (XMPlayer& p : alone) {
      std::fill(own.begin(), own.end(), 0.0f);
      mix(p, own.data(), n);
      for (size_t k = 0; k < own.size(); ++k) expected[2 * at + k] += own[k];
    }
    at += n;
  }
  ASSERT_LE(at, 4000);
  EXPECT_EQ(std::memcmp(got.data(), expected.data(), sizeof(float) * 2 * at), 0);
  EXPECT_EQ(together.mixer[2].sample, nullptr) << "the unlooped one ended on the way";
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(together.mixer[i].position, alone[i].mixer[i].position) << i;
    EXPECT_EQ(std::memcmp(together.mixer[i].filter.history, alone[i].mixer[i].filter.history, sizeof(float) * 4), 0) << i;
  }
}
