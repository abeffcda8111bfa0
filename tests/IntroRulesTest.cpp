#include "SoundLib/xmplay/rules/intro/IntroRules.h"

#include <gtest/gtest.h>

#include <cmath>

#include "XMTestModules.h"

namespace {
class IntroRulesTest : public ::testing::Test {
 protected:
  void start(const XMModuleSpec& design) {
    loaded = std::make_unique<LoadedSong>(design, intro::kRules);
    ASSERT_NE(loaded->song, nullptr);
    configureOutput(player, 44100);
    songStart(player, *loaded->song);
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) intro::tickDriver(player, *loaded->song);
  }
  Song& song() { return *loaded->song; }
  intro::IntroChannel& channel(int i = 0) { return intro::state(player).channels[i]; }
  XMNote& note(int row, int ch = 0) { return design.patterns[0].at(row, ch, design.channels); }

  XMModuleSpec design = constantModule(2, 16);
  XMPlayer player;
  std::unique_ptr<LoadedSong> loaded;
};

// Linear period of a note on a sample without relative note or finetune.
int32_t periodOf(int note) { return 7680 - (note - 1) * 64; }
}  // namespace

TEST_F(IntroRulesTest, SetBPMGives882FramesAt125) {
  start(design);
  EXPECT_EQ(song().samplesPerTick, 882);
  intro::setTempo(player, song(), 150);
  EXPECT_EQ(song().samplesPerTick, 735);
  XMPlayer slow;
  configureOutput(slow, 22050);
  intro::setTempo(slow, song(), 125);
  EXPECT_EQ(song().samplesPerTick, 441);
}

TEST_F(IntroRulesTest, SongStartResetsThePosition) {
  start(design);
  ticks(20);
  songStart(player, song());
  EXPECT_EQ(song().row, 0);
  EXPECT_EQ(song().orderPosition, 0);
  EXPECT_EQ(song().tick, 0);
  EXPECT_EQ(song().nextRow, -1);
  EXPECT_EQ(song().nextOrderPosition, -1);
  EXPECT_EQ(song().globalVolume, 64);
  EXPECT_EQ(channel(1).mixer, &player.mixer[1]);
}

TEST_F(IntroRulesTest, RowsAdvanceEverySpeedTicksAndTheSongLoops) {
  design.speed = 3;
  design.patterns.resize(2);
  design.patterns[1].rows = 2;
  design.orders = {0, 1};
  design.restartPosition = 1;
  start(design);
  ticks(3 * 15 + 1);
  EXPECT_EQ(song().row, 15);
  ticks(3);
  EXPECT_EQ(song().orderPosition, 1);
  EXPECT_EQ(song().row, 0);
  ticks(6);
  EXPECT_EQ(song().orderPosition, 1) << "after the last order: the restart position";
  EXPECT_EQ(song().row, 0);
}

TEST_F(IntroRulesTest, PositionJumpWithTheSongLengthGoesToOrderZero) {
  design.patterns.resize(2);
  design.orders = {0, 1};
  design.patterns[1].rows = 4;
  design.patterns[1].at(1, 0, 2) = {0, 0, 0, 0xB, 2};
  design.speed = 1;
  start(design);
  ticks(16 + 2);  // pattern 0, then rows 0 and 1 of pattern 1
  EXPECT_EQ(song().nextOrderPosition, 0);
  EXPECT_EQ(song().nextRow, 0);
  ticks(1);
  EXPECT_EQ(song().orderPosition, 0);
  EXPECT_EQ(song().row, 0);
}

TEST_F(IntroRulesTest, NoteSetsPeriodVolumeAndStep) {
  note(0) = {49, 1, 0, 0, 0};
  start(design);
  ticks(1);
  EXPECT_EQ(channel().period, periodOf(49));
  EXPECT_EQ(channel().volume, 64);
  const MixerChannel& m = player.mixer[0];
  EXPECT_EQ(channel().mixerVolume, 127);
  EXPECT_EQ(channel().mixerPanning, 128);
  EXPECT_EQ(m.leftTarget, 127 * 128 / 255);
  EXPECT_EQ(m.rightTarget, 127 * 127 / 255);
  // C-4 at period 4608: 8363 Hz, a step of 8363/44100.
  EXPECT_EQ(m.step, 0u);
  EXPECT_EQ(m.stepFraction, static_cast<uint32_t>((uint64_t{8363} << 32) / 44100));
}

TEST_F(IntroRulesTest, KeyOffWithFadeoutZeroSilencesUntilAnInstrumentIsSet) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {97, 0, 0, 0, 0};
  note(2) = {49, 0, 0, 0, 0};
  note(3) = {49, 1, 0, 0, 0};
  design.speed = 1;
  start(design);
  ticks(1);
  EXPECT_GT(channel().mixerVolume, 0);
  ticks(1);
  EXPECT_EQ(channel().envelopeVolume, 0);
  EXPECT_EQ(channel().fadeoutVolume, 65536);
  EXPECT_EQ(channel().mixerVolume, 0);
  ticks(1);
  EXPECT_EQ(channel().mixerVolume, 0) << "a note without instrument stays silent";
  ticks(1);
  EXPECT_EQ(channel().mixerVolume, 127);
}

TEST_F(IntroRulesTest, FadeoutReducesTheVolumeEveryTickAfterKeyOff) {
  design.instruments[0].fadeout = 4096;  // doubled: 8192 a tick
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {0, 0, 0, 20, 0};  // effect K
  design.speed = 4;
  start(design);
  ticks(4 + 1);
  EXPECT_EQ(channel().fadeoutVolume, 65536 - 8192);
  EXPECT_EQ(channel().envelopeVolume, 0);
  ticks(3);
  EXPECT_EQ(channel().fadeoutVolume, 65536 - 4 * 8192);
}

TEST_F(IntroRulesTest, TonePortamentoSpeed32MovesBy128AndStopsAtTheTarget) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {53, 0, 0, 3, 32};
  start(design);
  ticks(6 + 1);
  const int32_t from = periodOf(49), to = periodOf(53);
  EXPECT_EQ(channel().period, from) << "the note slides instead of restarting";
  EXPECT_EQ(channel().tonePortamentoTarget, to);
  ticks(1);
  EXPECT_EQ(channel().period, from - 128);
  ticks(1);
  EXPECT_EQ(channel().period, to);
  ticks(3);
  EXPECT_EQ(channel().period, to);
}

TEST_F(IntroRulesTest, Arpeggio37PlaysTheNoteThenPlus3ThenPlus7) {
  note(0) = {49, 1, 0, 0, 0x37};
  start(design);
  const int32_t expected[6] = {0, 3 * 64, 7 * 64, 0, 3 * 64, 7 * 64};
  for (int t = 0; t < 6; ++t) {
    ticks(1);
    EXPECT_EQ(channel().periodDelta, expected[t]) << "tick " << t;
  }
  // +3 semitones: 2^(3/12) of the base frequency.
  EXPECT_EQ(intro::linearFrequency(periodOf(49), 3 * 64), static_cast<int64_t>(8363 * std::pow(2.0, 192 * (double)0.0013020834f)));
}

TEST_F(IntroRulesTest, VolumeColumn61AtSpeed3LowersByThreeARow) {
  design.speed = 3;
  note(0) = {49, 1, 0x61, 0, 0};
  note(1) = {0, 0, 0x61, 0, 0};
  start(design);
  ticks(1);
  EXPECT_EQ(channel().volume, 63);
  ticks(2);
  EXPECT_EQ(channel().volume, 61);
  ticks(3);
  EXPECT_EQ(channel().volume, 58);
}

TEST_F(IntroRulesTest, VolumeColumnSetAndFineSlidesAndPanning) {
  design.speed = 3;
  note(0) = {49, 1, 0x30, 0, 0};  // volume 32
  note(1) = {0, 0, 0x85, 0, 0};   // fine down 5: first tick only
  note(2) = {0, 0, 0xC4, 0, 0};   // panning 64
  note(3) = {0, 0, 0xE3, 0, 0};   // panning slide right by 3 on every tick
  start(design);
  ticks(1);
  EXPECT_EQ(channel().volume, 32);
  ticks(2 + 3);
  EXPECT_EQ(channel().volume, 27);
  ticks(3);
  EXPECT_EQ(channel().panning, 64);
  EXPECT_EQ(channel().mixerPanning, 64);
  ticks(3);
  EXPECT_EQ(channel().panning, 64 + 9);
}

TEST_F(IntroRulesTest, RetriggerMovesToThePartnerAndFadesTheOldSound) {
  note(0, 1) = {49, 1, 0, 0, 0};
  note(1, 1) = {61, 1, 0, 0, 0};
  design.speed = 1;
  start(design);
  ticks(1);
  EXPECT_EQ(channel(1).mixer, &player.mixer[1]);
  player.mixer[1].position = 500;
  player.mixer[1].rampLeftLevel = 63 * 256;
  ticks(1);
  EXPECT_EQ(channel(1).mixer, &player.mixer[33]);
  const MixerChannel& old = player.mixer[1];
  EXPECT_NE(old.sample, nullptr) << "the old sound plays on";
  EXPECT_EQ(old.position, 500u);
  EXPECT_EQ(old.leftTarget, 0);
  EXPECT_EQ(old.rightTarget, 0);
  EXPECT_EQ(old.rampLeftLevel, 63 * 256) << "and ramps down from where it was";
  const MixerChannel& fresh = player.mixer[33];
  EXPECT_EQ(fresh.index, 33);
  EXPECT_EQ(fresh.position, 0u);
  EXPECT_EQ(fresh.rampLeftLevel, 0);
  EXPECT_EQ(channel(1).mixerVolume, 127);
  ticks(1);
  EXPECT_EQ(channel(1).mixer, &player.mixer[33]);
}

TEST_F(IntroRulesTest, PeriodPlusDeltaOfZeroLeavesTheFrequency) {
  start(design);
  intro::IntroChannel& c = channel();
  c.mixer->step = 7;
  c.mixer->stepFraction = 99;
  c.period = 300;
  c.periodDelta = -300;
  c.flags = intro::kFrequencyChanged;
  intro::applyToMixer(song(), c, player);
  EXPECT_EQ(c.mixer->step, 7u);
  EXPECT_EQ(c.mixer->stepFraction, 99u);
  c.periodDelta = -299;
  c.flags = intro::kFrequencyChanged;
  intro::applyToMixer(song(), c, player);
  EXPECT_NE(c.mixer->stepFraction, 99u);
}

TEST_F(IntroRulesTest, VibratoAndAutoVibratoFormulas) {
  intro::IntroChannel c{};
  c.vibratoDepth = 8;
  c.vibratoPosition = 8;  // an eighth wave: |sin| = 0.7071, amplitude 181, (181 * 8) >> 5 = 45 -> 44
  intro::vibrato(c);
  EXPECT_EQ(c.periodDelta, -44);
  c.vibratoPosition = -8;
  intro::vibrato(c);
  EXPECT_EQ(c.periodDelta, 44);

  Instrument ins{};
  ins.vibratoType = 1;
  ins.vibratoDepth = 4;
  ins.vibratoRate = 200;
  c = intro::IntroChannel{};
  intro::autoVibrato(c, ins);
  EXPECT_EQ(c.periodDelta, 64 * 4 >> 6);
  EXPECT_EQ(c.autoVibratoPosition, 200);
  intro::autoVibrato(c, ins);
  EXPECT_EQ(c.autoVibratoPosition, 144);
  ins.vibratoType = 2;
  ins.vibratoSweep = 4;
  c = intro::IntroChannel{};
  c.autoVibratoPosition = 64;  // saw: (128 - 192) >> 1 = -32; x depth 4, x sweep 2/4: -64; >> 6: -1
  c.autoVibratoSweepPosition = 2;
  intro::autoVibrato(c, ins);
  EXPECT_EQ(c.periodDelta, -1);
  EXPECT_EQ(c.autoVibratoSweepPosition, 3);
  ins.vibratoType = 9;
  c = intro::IntroChannel{};
  intro::autoVibrato(c, ins);
  EXPECT_EQ(c.periodDelta, 0);
  EXPECT_TRUE(c.flags & intro::kFrequencyChanged);
}

TEST_F(IntroRulesTest, VibratoAndAutoVibratoPeaksInSinglePrecision) {
  // A quarter wave: the single-precision sine is exactly 1, so the vibrato's amplitude is 256 and
  // depth 15 swings the full 120 (in double precision the sine stays below 1: 255 and 116).
  intro::IntroChannel c{};
  c.vibratoDepth = 15;
  c.vibratoPosition = 16;
  intro::vibrato(c);
  EXPECT_EQ(c.periodDelta, -120);
  c.vibratoPosition = -16;
  intro::vibrato(c);
  EXPECT_EQ(c.periodDelta, 120);
  // The auto-vibrato sine reaches 64 there too: depth 15 gives 64 x 15 >> 6 = 15.
  Instrument ins{};
  ins.vibratoDepth = 15;
  c = intro::IntroChannel{};
  c.autoVibratoPosition = 64;
  intro::autoVibrato(c, ins);
  EXPECT_EQ(c.periodDelta, 15);
}

TEST_F(IntroRulesTest, NotesWithoutAValidInstrumentPlayNothing) {
  note(0) = {49, 5, 0, 0, 0};  // instrument 5 of 1
  start(design);
  ticks(1);
  EXPECT_EQ(player.mixer[0].sample, nullptr);
}

TEST_F(IntroRulesTest, SongStartClearsEveryMixerChannel) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {50, 1, 0, 0, 0};  // retriggers: the old voice moves to the partner channel 32
  start(design);
  ticks(7);
  ASSERT_NE(player.mixer[32].sample, nullptr);
  player.mixer[40] = player.mixer[32];
  player.mixer[40].index = 40;
  player.mixer[40].direction = kBackward;
  songStart(player, song());
  for (int i = 0; i < kMixerChannels; ++i) {
    EXPECT_EQ(player.mixer[i].sample, nullptr) << i;
    EXPECT_EQ(player.mixer[i].index, i);
    EXPECT_EQ(player.mixer[i].direction, kForward);
    EXPECT_EQ(player.mixer[i].rampFramesLeft, 0);
  }
}

TEST_F(IntroRulesTest, PortamentoDownStopsAtTheHighestPeriod) {
  note(0) = {49, 1, 0, 0x2, 0xFF};  // 1020 per tick
  start(design);
  ticks(1);
  channel().period = intro::kPortamentoDownStop - 1500;
  ticks(1);
  EXPECT_EQ(channel().period, intro::kPortamentoDownStop - 480);
  ticks(4);
  EXPECT_EQ(channel().period, intro::kPortamentoDownStop);
  EXPECT_EQ(player.mixer[0].step, 0u);
  EXPECT_EQ(player.mixer[0].stepFraction, static_cast<uint32_t>((uint64_t{100} << 32) / 44100)) << "the 100 Hz floor";
}
