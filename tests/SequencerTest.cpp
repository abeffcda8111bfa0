#include "SoundLib/xmplay/engine/Sequencer.h"

#include <gtest/gtest.h>

#include <set>

#include "SoundLib/xmplay/engine/KeySet.h"

#include "SoundLib/xmplay/rules/pt/PTRules.h"
#include "XMTestModules.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

// What the rule sets share: the choice of set, the row advance, the volume column's decoding,
// the song start's reset.

TEST(Sequencer, RuleSetsByTheirOptionNames) {
  EXPECT_EQ(ruleSetNamed("ft2"), &ft2::kRules);
  EXPECT_EQ(ruleSetNamed("intro"), &intro::kRules);
  EXPECT_EQ(ruleSetNamed("pt"), &pt::kRules);
  EXPECT_EQ(ruleSetNames(), "ft2, pt, st3, it or intro");
  EXPECT_EQ(ruleSetNamed("FT2"), nullptr);
  EXPECT_EQ(ruleSetNamed(""), nullptr);
}

// Where the set-volume range ends and the commands begin.
TEST(Sequencer, VolumeColumnDecoding) {
  EXPECT_EQ(decodeVolumeColumn(0x0F).command, VolumeCommand::kNone);
  EXPECT_EQ(decodeVolumeColumn(0x10).value, 0);
  EXPECT_EQ(decodeVolumeColumn(0x50).value, 64);
  EXPECT_EQ(decodeVolumeColumn(0x50).command, VolumeCommand::kSetVolume);
  EXPECT_EQ(decodeVolumeColumn(0x51).command, VolumeCommand::kNone);
  EXPECT_EQ(decodeVolumeColumn(0x65).command, VolumeCommand::kSlideDown);
  EXPECT_EQ(decodeVolumeColumn(0x65).value, 5);
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

// A jump back into an order played in part goes on where that order's rows were not played;
// the pass ends where the song comes to a row it has played (here order 0's first, after order 1).
// The set of rows a pass has played: new keys, repeats, 0, through the table's doublings, and
// a copy that goes its own way.
TEST(Sequencer, RowsPlayedKeptAsASetOfKeys) {
  KeySet keys;
  std::set<uint64_t> model;
  uint64_t k = 0;
  for (int i = 0; i < 5000; ++i) {
    k = k * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t key = i % 7 == 0 ? (k >> 60) << 8 : k;  // a few keys again and again, 0 among them
    EXPECT_EQ(keys.insert(key), model.insert(key).second) << i;
  }
  EXPECT_EQ(keys.size(), model.size());
  KeySet copy = keys;
  keys.clear();
  EXPECT_EQ(keys.size(), 0u);
  EXPECT_TRUE(keys.insert(0));
  EXPECT_FALSE(copy.insert(0));
  EXPECT_FALSE(copy.insert(k));
  EXPECT_TRUE(keys.insert(k));
}

TEST(Sequencer, OnePassEndsWhereTheSongComesToARowItHasPlayed) {
  XMModuleSpec m = constantModule(2, 16);
  m.patterns.resize(2);
  m.patterns[1].rows = 16;
  m.orders = {0, 1};
  m.patterns[0].at(2, 0, 2) = {0, 0, 0, 0xB, 0x00};
  m.patterns[0].at(2, 1, 2) = {0, 0, 0, 0xD, 0x08};
  LoadedSong loaded(m, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(OfflineRenderer::passFrames(*loaded.song, 44100), int64_t{3 + 8 + 16} * 6 * 882);
}
