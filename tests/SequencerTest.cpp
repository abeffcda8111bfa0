#include "SoundLib/xmplay/Sequencer.h"

#include <gtest/gtest.h>

#include "XMTestModules.h"

// What the rule sets share: the choice of set, the row advance, the tone portamento step, the
// volume column's decoding, the song start's reset.

TEST(Sequencer, RuleSetsByTheirOptionNames) {
  EXPECT_EQ(ruleSetNamed("ft2"), &ft2::kRules);
  EXPECT_EQ(ruleSetNamed("intro"), &intro::kRules);
  EXPECT_EQ(ruleSetNamed("FT2"), nullptr);
  EXPECT_EQ(ruleSetNamed(""), nullptr);
}

TEST(Sequencer, SlideTowardsStopsAtTheTarget) {
  EXPECT_EQ(slideTowards(7680, 7424, 128), 7552);
  EXPECT_EQ(slideTowards(7500, 7424, 128), 7424);
  EXPECT_EQ(slideTowards(7000, 7424, 128), 7128);
  EXPECT_EQ(slideTowards(7400, 7424, 128), 7424);
  EXPECT_EQ(slideTowards(7424, 7424, 128), 7424);
}

TEST(Sequencer, VolumeColumnDecoding) {
  struct Case {
    uint8_t byte;
    VolumeCommand command;
    uint8_t value;
  };
  for (const Case& c : {Case{0x00, VolumeCommand::kNone, 0}, {0x0F, VolumeCommand::kNone, 0},
                        {0x10, VolumeCommand::kSetVolume, 0}, {0x50, VolumeCommand::kSetVolume, 64},
                        {0x51, VolumeCommand::kNone, 0}, {0x65, VolumeCommand::kSlideDown, 5},
                        {0x7A, VolumeCommand::kSlideUp, 10}, {0x81, VolumeCommand::kFineSlideDown, 1},
                        {0x9F, VolumeCommand::kFineSlideUp, 15}, {0xA3, VolumeCommand::kVibratoSpeed, 3},
                        {0xB4, VolumeCommand::kVibrato, 4}, {0xC8, VolumeCommand::kSetPanning, 8},
                        {0xD2, VolumeCommand::kPanningLeft, 2}, {0xE2, VolumeCommand::kPanningRight, 2},
                        {0xF0, VolumeCommand::kTonePortamento, 0}}) {
    const VolumeColumn v = decodeVolumeColumn(c.byte);
    EXPECT_EQ(v.command, c.command) << std::hex << int{c.byte};
    EXPECT_EQ(v.value, c.value) << std::hex << int{c.byte};
  }
}

TEST(Sequencer, OrdersWrapToTheRestartPosition) {
  XMModuleSpec m = constantModule(1, 8);
  m.patterns.resize(2);
  m.patterns[1].rows = 3;
  m.orders = {0, 1, 0};
  m.restartPosition = 1;
  LoadedSong loaded(m, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(wrapOrder(*loaded.song, 2), 2);
  EXPECT_EQ(wrapOrder(*loaded.song, 3), 1);
  EXPECT_EQ(patternRows(*loaded.song, 1), 3);
}

// Each set's levels and ramp come with its table, whatever played before.
TEST(Sequencer, SongStartTakesTheRuleSetsScaleAndRamp) {
  LoadedSong intro(constantModule(), intro::kRules), ft2(constantModule(), ft2::kRules);
  ASSERT_NE(intro.song, nullptr);
  ASSERT_NE(ft2.song, nullptr);
  XMPlayer player;
  configureOutput(player, 44100);
  songStart(player, *ft2.song);
  EXPECT_EQ(player.targetScale, 32768);
  EXPECT_EQ(player.rampLength, 16);
  songStart(player, *intro.song);
  EXPECT_EQ(player.targetScale, 255);
  EXPECT_EQ(player.rampLength, 128);
  configureOutput(player, 22050);
  songStart(player, *ft2.song);
  EXPECT_EQ(player.rampLength, 8);
}
