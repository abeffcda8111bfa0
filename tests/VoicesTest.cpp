// What the mixer's voices do beyond XM and MOD: background voices from a pool, the quietest stolen;
// sustain loops released to the normal loop; stereo samples; the resonant filter.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "SoundLib/xmplay/engine/Filter.h"
#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/Voices.h"

namespace {
constexpr uint64_t kOne = uint64_t{1} << 32;

// A sample whose frame i holds i (and, stereo, -i on the right), with the spare frames after it.
struct CountingSample {
  CountingSample(uint32_t length, bool stereo = false) : values((length + kSampleSpareFrames) * (stereo ? 2 : 1), 0) {
    for (uint32_t i = 0; i < length; ++i) {
      if (stereo) {
        values[2 * i] = static_cast<int16_t>(i);
        values[2 * i + 1] = static_cast<int16_t>(-static_cast<int32_t>(i));
      } else {
        values[i] = static_cast<int16_t>(i);
      }
    }
    sample.data = values.data();
    sample.length = length;
    sample.loopMode = kLoopNone;
    sample.loopLength = length;
    sample.stereo = stereo;
  }
  std::vector<int16_t> values;
  Sample sample{};
};

class VoicesTest : public ::testing::Test {
 protected:
  VoicesTest() {
    configureOutput(player, 44100);
    player.voiceCount = kMixerChannels;
    buffer.assign(2 * 512, 0.0f);
  }
  // A voice at full level on both sides (targets of 255, already there), one frame a frame.
  MixerChannel& sounding(int index, const Sample& s, int32_t level = 255) {
    MixerChannel& v = player.mixer[index];
    startVoice(v, &s);
    v.step = 1;
    v.leftTarget = v.rampLeftTarget = v.rightTarget = v.rampRightTarget = level;
    v.rampLeftLevel = v.rampRightLevel = level * 256;
    return v;
  }
  float left(int frame) const { return buffer[2 * frame]; }
  float right(int frame) const { return buffer[2 * frame + 1]; }

  XMPlayer player;
  std::vector<float> buffer;
};

TEST_F(VoicesTest, BackgroundVoicesComeFreeFirstThenTheQuietestIsStolen) {
  CountingSample s(100);
  EXPECT_EQ(backgroundVoice(player), &player.mixer[kChannelVoices]);
  for (int i = kChannelVoices; i < kMixerChannels; ++i) sounding(i, s.sample, 200);
  sounding(kChannelVoices + 70, s.sample, 30);
  sounding(kChannelVoices + 90, s.sample, 30);
  EXPECT_EQ(backgroundVoice(player), &player.mixer[kChannelVoices + 70]) << "the first of the quietest";
  player.mixer[kChannelVoices + 100].sample = nullptr;
  EXPECT_EQ(backgroundVoice(player), &player.mixer[kChannelVoices + 100]) << "a free one before any quiet one";
  player.voiceCount = kChannelVoices;
  EXPECT_EQ(backgroundVoice(player), nullptr) << "a player without a pool";
}

TEST_F(VoicesTest, ASoundSentToTheBackgroundGoesOnWhereItWas) {
  CountingSample s(400);
  MixerChannel& v = sounding(3, s.sample);
  v.channel = 3;
  mix(player, buffer.data(), 10);
  std::vector<float> alone(2 * 100, 0.0f);
  {
    XMPlayer copy;
    configureOutput(copy, 44100);
    copy.mixer[3] = v;
    mix(copy, alone.data(), 100);
  }
  MixerChannel* background = sendToBackground(player, v);
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(v.sample, nullptr) << "the channel's voice is free for the next note";
  EXPECT_EQ(background->channel, 3) << "still counted to its channel";
  std::vector<float> after(2 * 100, 0.0f);
  mix(player, after.data(), 100);
  EXPECT_EQ(after, alone);
  player.channelMask = ~(uint64_t{1} << 3);
  std::vector<float> muted(2 * 100, 0.0f);
  mix(player, muted.data(), 100);
  EXPECT_EQ(muted, std::vector<float>(2 * 100, 0.0f)) << "muting the channel mutes its background voices";
}

// Frames 10 to 19 while held, then on to the normal loop of 50 to 59.
TEST_F(VoicesTest, SustainLoopHoldsUntilReleasedThenTheNormalLoopPlays) {
  CountingSample s(100);
  s.sample.loopMode = kLoopForward;
  s.sample.loopStart = 50;
  s.sample.loopLength = 10;
  s.sample.sustainMode = kLoopForward;
  s.sample.sustainStart = 10;
  s.sample.sustainLength = 10;
  MixerChannel& v = sounding(0, s.sample);
  mix(player, buffer.data(), 45);
  EXPECT_FLOAT_EQ(left(9), 9);
  EXPECT_FLOAT_EQ(left(19), 19);
  EXPECT_FLOAT_EQ(left(20), 10) << "back to the sustain loop's start";
  EXPECT_FLOAT_EQ(left(44), 14);
  releaseSustain(v);
  mix(player, buffer.data() + 90, 60);
  EXPECT_FLOAT_EQ(left(45), 15) << "on from where it was";
  EXPECT_FLOAT_EQ(left(45 + 34), 49);
  EXPECT_FLOAT_EQ(left(45 + 35), 50);
  EXPECT_FLOAT_EQ(left(45 + 45), 50) << "the normal loop";
}

TEST_F(VoicesTest, ReleasedPastTheNormalLoopGoesIntoItAtOnce) {
  CountingSample s(100);
  s.sample.loopMode = kLoopForward;
  s.sample.loopStart = 10;
  s.sample.loopLength = 10;
  s.sample.sustainMode = kLoopPingPong;
  s.sample.sustainStart = 60;
  s.sample.sustainLength = 20;
  MixerChannel& v = sounding(0, s.sample);
  mix(player, buffer.data(), 85);
  EXPECT_FLOAT_EQ(left(79), 79);
  EXPECT_EQ(v.direction, kBackward) << "bounced at the sustain loop's end";
  releaseSustain(v);
  mix(player, buffer.data() + 170, 5);
  EXPECT_EQ(v.direction, kForward);
  for (int i = 85; i < 90; ++i) {
    EXPECT_GE(left(i), 10);
    EXPECT_LT(left(i), 20) << i;
  }
}

TEST_F(VoicesTest, StereoSamplesPlayEachSideOnItsOwn) {
  CountingSample s(100, true);
  MixerChannel& v = sounding(0, s.sample, 255);
  v.step = 0;  // half a frame a frame: every other frame interpolated halfway
  v.stepFraction = static_cast<uint32_t>(kOne >> 1);
  mix(player, buffer.data(), 8);
  EXPECT_FLOAT_EQ(left(3), 1.5f);
  EXPECT_FLOAT_EQ(right(3), -1.5f);
}

TEST(Filter, PassesSteadyLevelsWholeAndHighFrequenciesHardlyAtAll) {
  for (int cutoff : {0, 100, 254})
    for (int resonance : {0, 64, 127}) {
      const FilterCoefficients k = filterCoefficients(cutoff, resonance, 44100);
      EXPECT_NEAR(k.a + k.b + k.c, 1.0f, 1e-5f) << "unity gain for a steady level";
    }
  // An alternating signal at half the rate through the lowest cutoff.
  const FilterCoefficients k = filterCoefficients(0, 0, 44100);
  float y1 = 0, y2 = 0, peak = 0;
  for (int i = 0; i < 2000; ++i) {
    const float y = k.a * (i % 2 ? 10000.0f : -10000.0f) + k.b * y1 + k.c * y2;
    y2 = y1;
    y1 = y;
    if (i > 1000) peak = std::max(peak, std::fabs(y));
  }
  EXPECT_LT(peak, 10.0f);
}

TEST(Filter, ResonanceLiftsTheCutoffFrequency) {
  // A sine at the cutoff of 110 x 2^(0.25 + 96 / 48) Hz, with and without resonance.
  const double frequency = 110 * std::exp2(0.25 + 96 / 48.0);
  auto gain = [frequency](int resonance) {
    const FilterCoefficients k = filterCoefficients(96, resonance, 44100);
    float y1 = 0, y2 = 0, peak = 0;
    for (int i = 0; i < 44100; ++i) {
      const float x = static_cast<float>(std::sin(2 * std::numbers::pi * frequency * i / 44100));
      const float y = k.a * x + k.b * y1 + k.c * y2;
      y2 = y1;
      y1 = y;
      if (i > 22050) peak = std::max(peak, std::fabs(y));
    }
    return peak;
  };
  EXPECT_NEAR(gain(0), 1.0f, 0.1f);
  EXPECT_GT(gain(127), 8.0f) << "about 24 dB up";
}

TEST(Filter, CoefficientsAreWorkedOutOnlyWhenTheyChange) {
  MixerChannel v{};
  setVoiceFilter(v, 100, 50, 44100);
  const float a = v.filter.a;
  v.filter.a = 123;  // as if stale: a second set with the same values leaves it
  setVoiceFilter(v, 100, 50, 44100);
  EXPECT_EQ(v.filter.a, 123);
  setVoiceFilter(v, 101, 50, 44100);
  EXPECT_NE(v.filter.a, 123);
  setVoiceFilter(v, 100, 50, 44100);
  EXPECT_EQ(v.filter.a, a);
  clearVoiceFilter(v);
  EXPECT_FALSE(v.filter.on);
}

TEST_F(VoicesTest, AFilteredVoiceSettlesOnItsLevel) {
  std::vector<int16_t> flat(1000 + kSampleSpareFrames, 1000);
  Sample s{};
  s.data = flat.data();
  s.length = 1000;
  s.loopMode = kLoopNone;
  s.loopLength = 1000;
  MixerChannel& v = sounding(0, s);
  setVoiceFilter(v, 160, 0, 44100);
  mix(player, buffer.data(), 512);
  EXPECT_LT(left(0), 100) << "rising from rest";
  EXPECT_NEAR(left(511), 1000, 1);
}
}  // namespace
