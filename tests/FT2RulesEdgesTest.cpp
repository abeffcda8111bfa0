#include <gtest/gtest.h>

#include "FT2RulesFixture.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

// Worked values of the FastTracker 2 rules that the comparison at scale (bench/ft2compare) found
// and openmpt123 settles: instrument numbers on a fresh channel and without a note, what the
// volume column's slides leave to the effects, what retriggers and note delays start again, the
// fade after a key off, an envelope loop on one point.
namespace {
class FT2RulesEdgesTest : public FT2RulesFixture {
 protected:
  void SetUp() override {
    XMSampleSpec& s = design.instruments[0].samples[0];
    s.volume = 40;
    s.panning = 40;
  }
  XMEnvelopeSpec& volumeEnvelope(int instrument = 0) { return design.instruments[instrument].volumeEnvelope; }
};
}  // namespace

TEST_F(FT2RulesEdgesTest, OnAFreshChannelAnInstrumentNumberIsTakenUpByTheNextNote) {
  volumeEnvelope() = {.points = {{0, 64}, {10, 0}}, .type = kEnvelopeOn};
  note(0) = {0, 1, 0, 0, 0};
  note(1) = {49, 0, 0, 0, 0};
  start();
  ticks(6);
  EXPECT_EQ(channel().volume, 0) << "no sample has played: nothing to take the volume from";
  ticks(1);
  EXPECT_EQ(channel().volume, 40);
  EXPECT_EQ(channel().panning, 40);
  EXPECT_EQ(channel().volumeEnvelope.value, 64) << "the envelope starts with the note";

  note(0) = {kFileKeyOff, 1, 0, 0, 0};  // a key off with the number: the same
  start();
  ticks(7);
  EXPECT_EQ(channel().volume, 40);
}

TEST_F(FT2RulesEdgesTest, AnInstrumentNumberWithoutANoteRestartsTheSoundingInstrumentsEnvelopes) {
  design.instruments.push_back(design.instruments[0]);  // instrument 2: no envelope
  volumeEnvelope() = {.points = {{0, 64}, {40, 0}}, .type = kEnvelopeOn};
  note(0) = {49, 1, 0, 0, 0};
  note(4) = {0, 2, 0, 0, 0};
  start();
  ticks(24 + 2);
  EXPECT_EQ(channel().instrument, &song().instruments[0]);
  EXPECT_EQ(channel().volumeEnvelope.value, 63) << "instrument 1's envelope, one tick from its start";
}

TEST_F(FT2RulesEdgesTest, TheFadeRunsAfterAKeyOffWithoutAVolumeEnvelope) {
  design.instruments[0].fadeout = 4096;  // 8192 of 65536 a tick
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {kFileKeyOff, 0, 0x40, 0, 0};  // cut, then volume 48 again
  start();
  ticks(7);
  EXPECT_EQ(channel().volume, 48);
  EXPECT_EQ(channel().fadeout, 65536 - 8192);
  ticks(1);
  EXPECT_EQ(channel().fadeout, 65536 - 2 * 8192);
}

TEST_F(FT2RulesEdgesTest, E9xRestartsTheEnvelopesButNotTheKeyOrTheFade) {
  volumeEnvelope() = {.points = {{0, 64}, {10, 0}}, .type = kEnvelopeOn};
  design.instruments[0].fadeout = 1024;  // 2048 a tick
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {kFileKeyOff, 0, 0, 0, 0};
  note(2) = {0, 0, 0, 0xE, 0x93};
  start();
  ticks(16);  // the retrigger is on tick 15; the fade has run on ticks 6 to 15
  EXPECT_EQ(channel().volumeEnvelope.value, 64);
  EXPECT_EQ(channel().volumeEnvelope.tick, 1);
  EXPECT_TRUE(channel().keyOff);
  EXPECT_EQ(channel().fadeout, 65536 - 10 * 2048);
}

TEST_F(FT2RulesEdgesTest, TheVolumeColumnsSlidesLeaveTheirAmountsToTheEffectsMemory) {
  note(0) = {49, 1, 0x50, 0, 0};    // volume 64
  note(1) = {0, 0, 0x62, 0, 0};     // down 2 on ticks 1 to 5
  note(2) = {0, 0, 0, 0xA, 0x00};   // A00: down 2 again
  note(3) = {0, 0, 0x83, 0, 0};     // fine down 3
  note(4) = {0, 0, 0, 0xE, 0xB0};   // EB0: fine down 3 again
  start();
  const int expected[5] = {64, 54, 44, 41, 38};
  for (int row = 0; row < 5; ++row) {
    ticks(6);
    EXPECT_EQ(channel().volume, expected[row]) << "after row " << row;
  }
}

TEST_F(FT2RulesEdgesTest, AnEnvelopeLoopOnOnePointLoopsNowhere) {
  volumeEnvelope() = {.points = {{0, 64}, {4, 32}, {8, 64}}, .loopStart = 1, .loopEnd = 1,
                      .type = kEnvelopeOn | kEnvelopeLoop};
  note(0) = {49, 1, 0, 0, 0};
  start();
  ticks(7);
  EXPECT_EQ(channel().volumeEnvelope.value, 48) << "tick 6: on past the loop's point";
}

TEST_F(FT2RulesEdgesTest, ADelayedNoteStartsTheEnvelopesTheKeyAndTheFadeAgain) {
  volumeEnvelope() = {.points = {{0, 64}, {10, 0}}, .type = kEnvelopeOn};
  design.instruments[0].fadeout = 1024;
  note(0) = {49, 1, 0x30, 0, 0};
  note(1) = {kFileKeyOff, 0, 0, 0, 0};
  note(2) = {0, 0, 0, 0xE, 0xD2};  // no note: the last one again, without an instrument number
  start();
  ticks(15);
  EXPECT_FALSE(channel().keyOff);
  EXPECT_EQ(channel().fadeout, 65536);
  EXPECT_EQ(channel().volumeEnvelope.value, 64);
  EXPECT_EQ(channel().volume, 32) << "the volume is not the sample's again";
}

TEST_F(FT2RulesEdgesTest, MultiRetrigBesideAReleaseWithAnInstrumentRestartsTheFadeButNotTheKey) {
  design.instruments[0].fadeout = 1024;  // 2048 a tick
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {kFileKeyOff, 1, 0, 27, 0x02};  // counting on from row 0: retriggers on ticks 8 and 10
  note(2) = {49, 0, 0, 0, 0};
  start();
  ticks(9);
  EXPECT_EQ(channel().fadeout, 65536 - 2048);
  EXPECT_TRUE(channel().keyOff);
  ticks(4);
  EXPECT_TRUE(channel().keyOff) << "the next note does not take the key back";
  EXPECT_EQ(channel().fadeout, 65536 - 3 * 2048);
}

// Found by the comparison at scale, settled by openmpt123 and the tracker's recording suite_retrig.
TEST_F(FT2RulesEdgesTest, MultiRetrigCountsOnFromE9xsTicksAndWithoutAnIntervalRetriggersEveryTick) {
  note(0) = {49, 1, 0, 0xE, 0x92};  // retriggers on ticks 2 and 4; tick 5 counts one
  note(1) = {0, 0, 0, 27, 0xD3};    // +16 on ticks 8 and 11
  start();
  ticks(8);
  EXPECT_EQ(channel().volume, 40);
  ticks(1);
  EXPECT_EQ(channel().volume, 56);
  ticks(2);
  EXPECT_EQ(channel().volume, 56);
  ticks(1);
  EXPECT_EQ(channel().volume, 64);

  note(0) = {49, 1, 0, 0, 0};
  note(1) = {0, 0, 0, 27, 0x90};  // +1 a retrigger, no interval ever set
  start();
  ticks(7);
  EXPECT_EQ(channel().volume, 41) << "retriggered on the row's first tick";
  ticks(5);
  EXPECT_EQ(channel().volume, 46);
}

// openmpt123 and xmp alike: a tremolo brings back no note its key off silenced; a volume does.
TEST_F(FT2RulesEdgesTest, ATremoloAfterAKeyOffThatSilencedANoteLeavesItSilent) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {kFileKeyOff, 0, 0, 7, 0x3F};
  note(2) = {0, 0, 0x30, 7, 0x3F};  // volume 32 under the tremolo
  start();
  ticks(9);
  EXPECT_NE(channel().volumeDelta, 0);
  EXPECT_EQ(voice().leftTarget, 0);
  ticks(5);
  EXPECT_GT(voice().leftTarget, 0);
}

// One pass ends where the song comes to a row it has played in the same state of its pattern
// loops: a loop that never ends is played once up to its first repeat.
TEST_F(FT2RulesEdgesTest, OnePassEndsWhereAnEndlessPatternLoopRepeats) {
  // Rows 1 and 2 twice, then 1, 2, 3 for ever: E61 on row 3 loops back to row 1 every time.
  note(1) = {0, 0, 0, 0xE, 0x60};
  note(2) = {0, 0, 0, 0xE, 0x61};
  note(3) = {0, 0, 0, 0xE, 0x61};
  start();
  const OfflineRenderer::PassEnd end = OfflineRenderer::onePass(song(), 44100);
  EXPECT_TRUE(end.endlessLoop);
  EXPECT_EQ(end.order, 0);
  EXPECT_EQ(end.row, 1);
  EXPECT_EQ(end.frame, 6 * 6 * 882) << "rows 0, 1, 2, 1, 2, 3";
}

TEST_F(FT2RulesEdgesTest, E9xRestartsTheAutoVibrato) {
  design.instruments[0].vibratoDepth = 8;
  design.instruments[0].vibratoRate = 16;
  note(0) = {49, 1, 0, 0xE, 0x93};
  start();
  ticks(4);  // the retrigger on tick 3
  EXPECT_EQ(channel().autoVibratoPosition, 16) << "one step from its start, not four";
  EXPECT_EQ(channel().autoVibratoTicks, 1);
}

TEST_F(FT2RulesEdgesTest, APanningEnvelopeHeldAtItsSustainBeforeTheKeyOffStaysThere) {
  XMEnvelopeSpec& e = design.instruments[0].panningEnvelope;
  e = {.points = {{0, 32}, {4, 64}, {8, 0}}, .sustain = 1, .type = kEnvelopeOn | kEnvelopeSustain};
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {kFileKeyOff, 0, 0, 0, 0};
  start();
  ticks(12);
  EXPECT_EQ(channel().panningEnvelope.value, 64);
  EXPECT_EQ(channel().panningEnvelope.tick, 4);

  e.points = {{0, 32}, {6, 64}, {10, 0}};  // reached on the key off's own tick: released
  start();
  ticks(9);
  EXPECT_EQ(channel().panningEnvelope.value, 32) << "tick 8, halfway down from the sustain";
}

TEST_F(FT2RulesEdgesTest, AnInstrumentNumberBesideATonePortamentoOnAFreshChannelNamesTheInstrument) {
  note(0) = {49, 1, 0, 0x3, 0x10};  // nothing to slide from: no note, but instrument 1 from here
  note(1) = {50, 0, 0, 0, 0};
  start();
  ticks(6);
  EXPECT_EQ(channel().sample, nullptr);
  ticks(1);
  ASSERT_NE(channel().sample, nullptr);
  EXPECT_EQ(channel().volume, 40);
}

TEST_F(FT2RulesEdgesTest, APatternLoopBesideAPatternDelayGoesBackToTheRowAfterItsStart) {
  design.speed = 1;
  note(1, 1) = {0, 0, 0, 0xE, 0x60};
  note(3, 0) = {0, 0, 0, 0xE, 0xE1};  // each play of row 3 twice
  note(3, 1) = {0, 0, 0, 0xE, 0x61};
  start();
  std::vector<int> played;
  for (int t = 0; t < 9; ++t) {
    ticks(1);
    played.push_back(song().row);
  }
  EXPECT_EQ(played, (std::vector<int>{0, 1, 2, 3, 3, 2, 3, 3, 4}));
}

// A pattern delay makes the row longer for what counts its ticks: ECx cuts on the row's x-th
// tick even past the speed, E9x retriggers every x ticks of the whole row (not again at each
// repeat's start), as openmpt123 and xmp play it.
TEST_F(FT2RulesEdgesTest, NoteCutsAndRetriggersCountTheTicksOfTheWholeDelayedRow) {
  volumeEnvelope() = {.points = {{0, 64}, {40, 0}}, .type = kEnvelopeOn};
  note(0, 0) = {49, 1, 0, 0xE, 0xC7};
  note(0, 1) = {0, 0, 0, 0xE, 0xE3};  // 24 ticks at speed 6
  start();
  ticks(7);
  EXPECT_EQ(channel().volume, 40);
  ticks(1);
  EXPECT_EQ(channel().volume, 0) << "cut on the row's eighth tick, the first repeat's second";

  note(0, 0) = {49, 1, 0, 0xE, 0x94};
  start();
  ticks(11);
  EXPECT_EQ(channel().volumeEnvelope.tick, 3) << "retriggered on ticks 4 and 8, not 6";
}

// Bends measured beside openmpt123, in the linear table's 64ths of a semitone: a sine at
// rate 50, depth 15, sweep 7 (steps of 548, the full 3840 from the eighth tick), and a square at rate 20,
// depth 12, sweep 5 (steps of 614: 11 on the fifth tick, not 12).
TEST_F(FT2RulesEdgesTest, TheAutoVibratosSweepStepsFromTheFirstTickAndItsBendIsCutTowardZero) {
  struct Case {
    uint8_t type, sweep, depth, rate;
    std::vector<int32_t> bends;
  };
  for (const Case& k : {Case{0, 7, 15, 50, {2, 2, -3, -8, -1, 11, 11, -5, -15, -4, 11, 12, -3}},
                        Case{1, 5, 12, 20, {2, 4, 7, 9, 11, 12, -12}}}) {
    Instrument ins{};
    ins.vibratoType = k.type;
    ins.vibratoSweep = k.sweep;
    ins.vibratoDepth = k.depth;
    ins.vibratoRate = k.rate;
    ft2::FT2Channel c{};
    for (size_t t = 0; t < k.bends.size(); ++t, ++c.autoVibratoTicks)
      EXPECT_EQ(ft2::autoVibratoBend(c, ins), k.bends[t]) << "type " << int{k.type} << ", tick " << t;
  }
}

// Two loops ending on one row (E61, E62), a loop beside a break, and a loop ending before the
// pattern does, as openmpt123 plays them. FastTracker 2's files (the title padded with spaces)
// count both loops at once (six times through), break at once and start the next pattern at the
// last loop's row; ModPlug Tracker's (the title ended by zero bytes) run one loop after the other
// (four times through), loop before the break and start the next pattern at its top.
TEST_F(FT2RulesEdgesTest, ModPlugTrackersFilesRunOneLoopAtATimeAndBeforeABreak) {
  using Rows = std::vector<std::pair<int, int>>;
  auto twice = [](Rows r, int times) {
    Rows out;
    while (times-- > 0) out.insert(out.end(), r.begin(), r.end());
    return out;
  };
  auto join = [](Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Rows fastTracker2 = join(twice({{0, 0}, {0, 1}}, 6), {{0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 1}, {1, 2}, {0, 1}});
  const Rows modPlug =
      join(twice({{0, 0}, {0, 1}}, 4), {{0, 2}, {0, 3}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {1, 1}, {1, 2}, {0, 0}});
  for (const auto& [title, expected] : {std::pair{"title padded        ", fastTracker2}, std::pair{"title", modPlug}}) {
    design = constantModule(2, 16);
    design.tracker = "FastTracker v2.00   ";
    design.name = title;
    design.speed = 1;
    design.patterns.resize(2);
    design.patterns[0].rows = 4;
    design.patterns[1].rows = 3;
    design.orders = {0, 1};
    note(1, 0) = {0, 0, 0, 0xE, 0x61};
    note(1, 1) = {0, 0, 0, 0xE, 0x62};
    note(2, 0) = {0, 0, 0, 0xE, 0x60};
    note(3, 0) = {0, 0, 0, 0xE, 0x61};
    note(3, 1) = {0, 0, 0, 0xD, 0x00};
    note(1, 1, 1) = {0, 0, 0, 0xE, 0x60};
    note(2, 1, 1) = {0, 0, 0, 0xE, 0x61};
    start();
    EXPECT_EQ(song().savedBy, expected == modPlug ? SavedBy::kModPlug : SavedBy::kFastTracker2);
    EXPECT_EQ(rows(static_cast<int>(expected.size())), expected) << title;
  }
}

// An envelope 64, 0, 32, 48 on ticks 0 to 3: the start ramps quickly (16 frames), the step down to
// 0 across its tick (882 frames at 125 BPM), the step back up from 0 quickly, the next across.
TEST_F(FT2RulesEdgesTest, AVolumeComingBackFromNothingRampsQuicklyAndOtherChangesAcrossTheTick) {
  volumeEnvelope() = {.points = {{0, 64}, {1, 0}, {2, 32}, {3, 48}}, .type = kEnvelopeOn};
  note(0) = {49, 1, 0, 0, 0};
  start();
  std::vector<int32_t> ramps;
  for (int t = 0; t < 4; ++t) {
    ticks(1);
    ramps.push_back(voice().rampLength);
  }
  EXPECT_EQ(ramps, (std::vector<int32_t>{16, 882, 16, 882}));
}

// An envelope 64, 32, 64, 0 at ticks 0, 4, 8, 16, its loop from the second point to the third and
// its sustain on the third: with the key down it goes back when it reaches the loop's end, sustain
// or not (64 at tick 8 is never heard), while one that Lxx sets past the loop's end plays on.
TEST_F(FT2RulesEdgesTest, AnEnvelopeLoopsAtItsEndEvenOnTheSustainPointButNotFromPastIt) {
  volumeEnvelope() = {.points = {{0, 64}, {4, 32}, {8, 64}, {16, 0}}, .sustain = 2, .loopStart = 1, .loopEnd = 2,
                      .type = kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop};
  note(0) = {49, 1, 0, 0, 0};
  note(2) = {0, 0, 0, effect::kEnvelopePosition, 10};
  start();
  std::vector<int32_t> values;
  for (int t = 0; t < 16; ++t) {
    ticks(1);
    values.push_back(channel().volumeEnvelope.value);
  }
  EXPECT_EQ(values, (std::vector<int32_t>{64, 56, 48, 40, 32, 40, 48, 56, 32, 40, 48, 56, 48, 40, 32, 24}));
}

// A panning envelope at its top takes a centred note all the way right in other trackers' files
// (256: the left side silent), to 255 in FastTracker 2's own, which keeps its pan in a byte: the
// left side at the square root of 1/256 of the constant-power level, 12288 x 40 / 64 = 7680.
TEST_F(FT2RulesEdgesTest, APanningEnvelopeTakesFastTracker2sOwnFilesTo255) {
  for (const char* title : {"title padded        ", "title"}) {
    design.tracker = "FastTracker v2.00   ";
    design.name = title;
    design.instruments[0].samples[0].panning = 128;
    design.instruments[0].panningEnvelope = {.points = {{0, 64}, {8, 64}}, .type = kEnvelopeOn};
    note(0) = {49, 1, 0, 0, 0};
    start();
    ticks(1);
    EXPECT_EQ(voice().leftTarget, song().savedBy == SavedBy::kFastTracker2 ? 480 : 0) << title;
  }
}
