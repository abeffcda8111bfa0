#include "SoundLib/xmplay/rules/pt/PTRules.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "MODTestModules.h"
#include "RulesFixture.h"
#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"

// Worked values of how ProTracker plays small modules, one effect or quirk at a time.
namespace {
class PTRulesTest : public RulesFixture<LoadedMOD, MODModuleSpec> {
 protected:
  PTRulesTest() : RulesFixture(pt::kRules, constantMOD()) {}
  // Ticks with the mixer running between them, so that samples play on and end.
  void play(int n) {
    std::vector<float> frames;
    for (int i = 0; i < n; ++i) {
      ticks(1);
      frames.assign(2 * static_cast<size_t>(song().samplesPerTick), 0.0f);
      mix(player, frames.data(), song().samplesPerTick);
    }
  }
  pt::PTChannel& channel(int i = 0) { return pt::state(player).channels[i]; }
  MixerChannel& voice(int i = 0) { return *channel(i).mixer; }
  const Sample* sample(int number) { return song().instruments[number - 1].samples[0]; }
};
}  // namespace

TEST_F(PTRulesTest, NotesTakeTheirFinetunesPeriodAndPlayAtThePALClock) {
  design.samples.push_back(design.samples[0]);
  design.samples[2].finetune = -8;
  note(0, 0) = {kC2, 1, 0, 0};
  note(0, 1) = {kC2, 3, 0, 0};
  note(0, 2) = {kC2, 1, 0xE, 0x58};  // E5x sets the finetune before the note's period
  start();
  EXPECT_EQ(song().rules, &pt::kRules);
  EXPECT_EQ(song().tickFunction, &pt::tickDriver);
  ticks(1);
  EXPECT_EQ(channel(0).period, 428 * 4);
  EXPECT_EQ(channel(1).period, 453 * 4);
  EXPECT_EQ(channel(2).period, 453 * 4);
  const double step = voice(0).step + voice(0).stepFraction / 4294967296.0;
  EXPECT_NEAR(step * 44100, 3546895.0 / 428, 0.01) << "8287 Hz";
}

TEST_F(PTRulesTest, TempoIsHeardFromTheTickAfterTheOneThatSetsItInWholeFrames) {
  note(0) = {kC2, 1, 0xF, 136};
  note(1) = {0, 0, 0xF, 0x00};  // changes nothing
  note(2) = {0, 0, 0xF, 0x03};
  start();
  ticks(1);
  EXPECT_EQ(song().samplesPerTick, 882);
  EXPECT_EQ(song().bpm, 136);
  ticks(1);
  EXPECT_EQ(song().samplesPerTick, 810) << "44100 x 2.5 / 136 = 810.66";
  ticks(4 + 6 + 1);
  EXPECT_EQ(song().speed, 3);
  EXPECT_EQ(rows(2), (std::vector<std::pair<int, int>>{{0, 3}, {0, 4}}));
}

// From the note at or above the period in its finetune's table, the arpeggio reads on past the
// row's end into the next finetune's: B-3 and an octave is finetune 1's B-1.
TEST_F(PTRulesTest, ArpeggioReadsOnIntoTheNextFinetunesRow) {
  note(0) = {kB3, 1, 0x0, 0xC0};
  start();
  ticks(2);
  EXPECT_EQ(channel().heardPeriod, 450 * 4);
  ticks(1);
  EXPECT_EQ(channel().heardPeriod, 113 * 4);
  ticks(1);
  EXPECT_EQ(channel().heardPeriod, 113 * 4);
  EXPECT_EQ(channel().period, 113 * 4);
}

// ProTracker keeps slides between 113 and 856 whatever the finetune: finetune 7's B-3 (108)
// slid up a period is pulled down to 113, finetune -8's C-1 (907) slid down up to 856.
TEST_F(PTRulesTest, PortamentosKeepBetween113And856WhateverTheFinetune) {
  design.samples.push_back(design.samples[0]);
  design.samples.push_back(design.samples[0]);
  design.samples[2].finetune = 7;
  design.samples[3].finetune = -8;
  note(0, 0) = {kB3, 3, 0x1, 0x01};
  note(0, 1) = {856, 4, 0x2, 0x01};
  start();
  ticks(1);
  EXPECT_EQ(channel(0).period, 108 * 4);
  EXPECT_EQ(channel(1).period, 907 * 4);
  ticks(1);
  EXPECT_EQ(channel(0).period, 113 * 4);
  EXPECT_EQ(channel(1).period, 856 * 4);
}

// An instrument number without a note sets the new sample's volume and finetune at once; the
// hardware takes its sample where the sounding one's loop ends.
TEST_F(PTRulesTest, LoneInstrumentSwapsTheSampleWhereTheSoundingLoopEnds) {
  design.samples[1].finetune = 3;
  note(0) = {kC2, 1, 0, 0};
  note(1) = {0, 2, 0, 0};
  start();
  ticks(7);
  EXPECT_EQ(voice().sample, sample(1));
  EXPECT_EQ(voice().queued, sample(2));
  EXPECT_EQ(channel().heardVolume, 32);
  EXPECT_EQ(channel().finetune, 3);
  EXPECT_EQ(channel().heardPeriod, 428 * 4) << "the sounding note keeps its period";
}

// After a note of an empty sample the swapped sample starts at once, from its beginning; after
// one that has played to its end, nothing starts until a note.
TEST_F(PTRulesTest, SwapAfterAnEmptySampleStartsAtOnceAfterAnEndedOneNot) {
  design.samples.resize(3);  // sample 3: empty
  note(0, 0) = {kC2, 3, 0, 0};
  note(1, 0) = {0, 1, 0, 0};
  note(0, 1) = {kC3, 2, 0, 0};  // 1000 frames at 16574 Hz: over in three ticks
  note(4, 1) = {0, 1, 0, 0};
  start();
  play(6);
  EXPECT_EQ(voice(0).sample, nullptr);
  play(1);
  EXPECT_EQ(voice(0).sample, sample(1));
  play(6 * 3 + 1);
  EXPECT_EQ(voice(1).sample, nullptr);
  EXPECT_EQ(channel(1).heardVolume, 64) << "the new sample's volume all the same";
}

// The tracker moves its copy of the sample's start for an offset, before the note and again
// with the row's effects: a note without an instrument number after it starts twice as far in,
// until an instrument number brings the start back. Past the end a note plays only the loop.
TEST_F(PTRulesTest, OffsetsAddUpUntilTheNextInstrumentNumber) {
  note(0) = {kC2, 1, 0x9, 0x02};
  note(1) = {kC2, 0, 0, 0};
  note(2) = {kC2, 1, 0, 0};
  note(3) = {kC2, 2, 0x9, 0x04};  // 1024 of 1000 frames
  note(4) = {kC2, 1, 0x9, 0x10};  // 4096 of a loop that ends at 4000
  start();
  ticks(1);
  EXPECT_EQ(voice().position, 512u);
  ticks(6);
  EXPECT_EQ(voice().position, 1024u);
  ticks(6);
  EXPECT_EQ(voice().position, 0u);
  ticks(6);
  EXPECT_EQ(voice().sample, nullptr);
  ticks(6);
  EXPECT_EQ(voice().sample, sample(1));
  EXPECT_EQ(voice().position, 0u) << "the loop's start";
}

// The tracker steps past a delayed row before it looks at the delay, so a break taken on a
// delayed row is stepped past once more: the row after the break's target plays.
TEST_F(PTRulesTest, RowDelayOnABreakSkipsTheBreaksTargetRow) {
  design.orders = {0, 1};
  design.patterns.resize(2);
  note(0, 0) = {0, 0, 0xE, 0xE1};
  note(0, 1) = {0, 0, 0xD, 0x05};
  start();
  EXPECT_EQ(rows(4), (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {1, 6}, {1, 7}}));
}

// Each repeat of a delayed row plays its fine slides again; its volume slide leaves out the
// repeat's first tick (speed 6: 5 slides a play of the row, xmp's and openmpt123's count).
TEST_F(PTRulesTest, ARowDelaysRepeatsPlayFineSlidesAgainAndVolumeSlidesAfterTheirFirstTick) {
  note(0, 0) = {kC2, 1, 0xA, 0x02};
  note(0, 1) = {0, 0, 0xE, 0xE2};  // three plays of the row
  note(0, 2) = {kC2, 1, 0xE, 0xB3};
  start();
  ticks(18);
  EXPECT_EQ(channel(0).volume, 64 - 3 * 5 * 2);
  EXPECT_EQ(channel(2).volume, 64 - 3 * 3);
}

// A jump starts its pattern at the top, undoing a break to its left; a break to its right sets
// the row in the jump's order.
TEST_F(PTRulesTest, JumpAndBreakOnOneRow) {
  design.orders = {0, 1, 2};
  design.patterns.resize(3);
  note(0, 0) = {0, 0, 0xD, 0x10};
  note(0, 1) = {0, 0, 0xB, 0x02};
  note(0, 0, 2) = {0, 0, 0xB, 0x01};
  note(0, 1, 2) = {0, 0, 0xD, 0x10};
  note(10, 0, 1) = {0, 0, 0xB, 0x00};  // to the first order: the position before it is -1
  start();
  EXPECT_EQ(rows(4), (std::vector<std::pair<int, int>>{{0, 0}, {2, 0}, {1, 10}, {0, 0}}));
}

// E9x retriggers on the ticks counted from the row's first that are a multiple of x; on the
// first tick only where the row has no note (the note has just started).
TEST_F(PTRulesTest, RetriggerCountsFromTheRowsFirstTick) {
  note(0) = {kC2, 1, 0, 0};
  note(1) = {0, 0, 0xE, 0x93};
  note(2) = {kC2, 1, 0xE, 0x93};
  start();
  // A start where a voice sounds takes the channel's other voice.
  auto triggers = [&](int n) {
    std::vector<int> at;
    for (int t = 0; t < n; ++t) {
      const MixerChannel* before = channel().mixer;
      ticks(1);
      if (channel().mixer != before) at.push_back(t);
    }
    return at;
  };
  ticks(6);
  EXPECT_EQ(triggers(6), (std::vector<int>{0, 3}));
  EXPECT_EQ(triggers(6), (std::vector<int>{0, 3}));
}

// A delayed note's instrument is heard at once (its volume), its note on the delay's tick.
TEST_F(PTRulesTest, NoteDelaySetsTheInstrumentAtOnceAndStartsTheNoteOnItsTick) {
  note(0) = {kC2, 1, 0, 0};
  note(1) = {kD2, 2, 0xE, 0xD2};
  note(2) = {kC2, 0, 0xE, 0xC3};
  start();
  ticks(7);
  EXPECT_EQ(channel().heardVolume, 32);
  EXPECT_EQ(voice().sample, sample(1));
  EXPECT_EQ(channel().heardPeriod, 428 * 4);
  ticks(2);
  EXPECT_EQ(voice().sample, sample(2));
  EXPECT_EQ(channel().heardPeriod, 381 * 4);
  ticks(3 + 3);
  EXPECT_EQ(channel().heardVolume, 32);
  ticks(1);
  EXPECT_EQ(channel().heardVolume, 0) << "cut on the row's fourth tick";
}

// A vibrato bends the period the hardware plays; a row whose effect writes no period (Cxx) keeps
// the last bend for its first tick, and its later ticks set the period back.
TEST_F(PTRulesTest, VibratoBendLingersWhereNothingWritesThePeriod) {
  note(0) = {kC2, 1, 0x4, 0x4F};
  note(1) = {0, 0, 0xC, 0x20};
  start();
  ticks(6);
  EXPECT_EQ(channel().heardPeriod, 428 * 4 + 4 * (255 * 15 >> 7)) << "the sine's top at the fifth tick";
  ticks(1);
  EXPECT_EQ(channel().heardPeriod, 428 * 4 + 4 * (255 * 15 >> 7));
  EXPECT_EQ(channel().heardVolume, 32);
  ticks(1);
  EXPECT_EQ(channel().heardPeriod, 428 * 4);
}

// A tremolo swings the volume the hardware plays; the next row's first tick keeps its last level,
// the later ticks the channel's own.
TEST_F(PTRulesTest, TremoloLastsOnlyTheTicksItRunsOn) {
  note(0) = {kC2, 2, 0x7, 0x48};
  note(1) = {0, 0, 0xA, 0x01};
  start();
  ticks(6);
  EXPECT_EQ(channel().heardVolume, 32 + (255 * 8 >> 6)) << "the sine's top at the fifth tick";
  EXPECT_EQ(channel().volume, 32);
  ticks(1);
  EXPECT_EQ(channel().heardVolume, 63);
  ticks(1);
  EXPECT_EQ(channel().heardVolume, 31) << "the volume slide's";
}

// Channels pan left, right, right, left; at the default separation a quarter of each is on the
// other side, at 100 % none. Four channels play at half scale on their two sides together, eight
// at a quarter; 8xx pans as the PC trackers that write it do.
TEST_F(PTRulesTest, LevelsLeftRightRightLeftWithTheSeparation) {
  for (int c = 0; c < 4; ++c) note(0, c) = {kC2, 1, 0, 0};
  start();
  ticks(1);
  EXPECT_EQ(voice(0).leftTarget, 12288);
  EXPECT_EQ(voice(0).rightTarget, 4096);
  EXPECT_EQ(voice(1).leftTarget, 4096);
  EXPECT_EQ(voice(2).rightTarget, 12288);
  EXPECT_EQ(voice(3).leftTarget, 12288);
  player.separation = 100;
  ticks(1);
  EXPECT_EQ(voice(0).leftTarget, 16384);
  EXPECT_EQ(voice(0).rightTarget, 0);

  player.separation = kDefaultSeparation;
  design = constantMOD(8);
  note(0, 4) = {kC2, 1, 0, 0};
  note(0, 5) = {kC2, 1, 0x8, 0x80};
  start();
  ticks(1);
  EXPECT_EQ(voice(4).leftTarget, 6144);
  EXPECT_EQ(voice(4).rightTarget, 2048);
  EXPECT_EQ(voice(5).leftTarget, 4096);
  EXPECT_EQ(voice(5).rightTarget, 4096);
}

// A song with notes beyond ProTracker's three octaves was written by a tracker that has five:
// its notes there play at their pitch and slides keep to the five octaves.
TEST_F(PTRulesTest, NotesBeyondThreeOctavesPlayWhereASongUsesThem) {
  note(0) = {1712, 1, 0x2, 0x10};
  note(0, 1) = {57, 1, 0x1, 0x10};
  start();
  ticks(2);
  EXPECT_EQ(channel(0).period, 1712 * 4 + 64);
  EXPECT_EQ(channel(1).period, 108 * 2) << "the top of five octaves, finetune 7's B-4";
}

// A break leaves a pattern loop counting, and a jump back plays the rows before it again: the
// pass goes on through rows played before until the loop has done its repeats, and ends where
// the song comes back to its start.
TEST_F(PTRulesTest, APassGoesOnWhileAPatternLoopIsCounting) {
  design.orders = {0, 1};
  design.patterns.resize(2);
  note(0, 0) = {0, 0, 0xE, 0x60};
  note(3, 1) = {0, 0, 0xD, 0x00};
  note(5, 0) = {0, 0, 0xE, 0x61};
  note(34, 0) = {0, 0, 0xB, 0x00};
  note(0, 0, 1) = {0, 0, 0xB, 0x00};
  note(0, 1, 1) = {0, 0, 0xD, 0x04};
  start();
  // Rows 0-3, order 1's first, 4-5, the loop's 0-3, order 1's first again, 4-34.
  EXPECT_EQ(OfflineRenderer::passFrames(song(), 44100), int64_t{4 + 1 + 2 + 4 + 1 + 31} * 6 * 882);
}
