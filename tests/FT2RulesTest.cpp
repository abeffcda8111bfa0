#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "FT2RulesFixture.h"

// Worked values of how FastTracker 2 plays small modules, one effect or quirk at a time.
namespace {
class FT2RulesTest : public FT2RulesFixture {};
}  // namespace

TEST_F(FT2RulesTest, TheSongPointsToItsRuleSetAndItsTickFunction) {
  start();
  EXPECT_EQ(song().rules, &ft2::kRules);
  EXPECT_EQ(song().tickFunction, &ft2::tickDriver);
  LoadedSong intro(design, intro::kRules);
  EXPECT_EQ(intro.song->rules, &intro::kRules);
  EXPECT_EQ(intro.song->tickFunction, &intro::tickDriver);
}

TEST_F(FT2RulesTest, SpeedAndTempoEffectsChangeTheTick) {
  note(0) = {49, 1, 0, 0xF, 0x50};  // 80 BPM: 44100 x 2.5 / 80 = 1378.125 frames, whole frames
  note(1) = {0, 0, 0, 0xF, 0x03};   // speed 3
  start();
  ticks(1);
  EXPECT_EQ(song().samplesPerTick, 1378);
  EXPECT_EQ(song().bpm, 80);
  ticks(6);
  EXPECT_EQ(song().speed, 3);
  ticks(2);
  EXPECT_EQ(song().row, 1);
  ticks(1);
  EXPECT_EQ(song().row, 2) << "three ticks a row from the row that set it";
}

TEST_F(FT2RulesTest, PatternLoopPlaysRowsAgainAndTheNextPatternStartsAtTheLoop) {
  design.speed = 1;
  design.patterns.resize(2);
  design.patterns[0].rows = 4;
  design.patterns[1].rows = 4;
  design.orders = {0, 1};
  note(1, 1) = {0, 0, 0, 0xE, 0x60};
  note(3, 1) = {0, 0, 0, 0xE, 0x62};
  start();
  const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3},
                                                     {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3}};
  EXPECT_EQ(rows(13), expected);
}

TEST_F(FT2RulesTest, PatternLoopPlaysTheRowsTwiceInOnePass) {
  design.patterns[0].rows = 8;
  note(0, 1) = {0, 0, 0, 0xE, 0x60};
  note(7, 1) = {0, 0, 0, 0xE, 0x61};
  loaded = std::make_unique<LoadedSong>(design, ft2::kRules);
  ASSERT_NE(loaded->song, nullptr);
  OfflineRenderer renderer(*loaded->song, 44100);
  EXPECT_EQ(renderer.renderOnePass().size(), 2u * 16 * 6 * 882);
}

TEST_F(FT2RulesTest, PositionJumpAndPatternBreakOnOneRow) {
  design.speed = 1;
  design.patterns.resize(3);
  for (auto& p : design.patterns) p.rows = 8;
  design.orders = {0, 1, 2};
  note(2, 0) = {0, 0, 0, 0xB, 2};  // jump, then a later channel's break: row 5 of order 2
  note(2, 1) = {0, 0, 0, 0xD, 0x05};
  start();
  EXPECT_EQ(rows(4).back(), std::make_pair(2, 5));

  note(2, 0) = {0, 0, 0, 0xD, 0x05};  // a break, then a later channel's jump: the top of order 2
  note(2, 1) = {0, 0, 0, 0xB, 2};
  start();
  EXPECT_EQ(rows(4).back(), std::make_pair(2, 0));
}

TEST_F(FT2RulesTest, VolumeEnvelopeFrom64To0ReachesZeroAtTick10) {
  auto& e = design.instruments[0].volumeEnvelope;
  e.points = {{0, 64}, {10, 0}};
  e.type = kEnvelopeOn;
  note(0) = {49, 1, 0, 0, 0};
  start();
  int32_t previous = 65;
  for (int t = 0; t <= 10; ++t) {
    ticks(1);
    const int32_t value = channel().volumeEnvelope.value;
    EXPECT_LT(value, previous) << "tick " << t;
    if (t == 0) {
      EXPECT_EQ(value, 64);
    } else if (t == 5) {
      EXPECT_EQ(value, 32);
    }
    previous = value;
  }
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(voice().leftTarget, 0);
}

TEST_F(FT2RulesTest, EnvelopeHoldsAtSustainUntilKeyOffThenFades) {
  auto& ins = design.instruments[0];
  ins.volumeEnvelope.points = {{0, 64}, {4, 32}, {8, 0}};
  ins.volumeEnvelope.type = kEnvelopeOn | kEnvelopeSustain;
  ins.volumeEnvelope.sustain = 1;
  ins.fadeout = 4096;  // 1/8 of full volume a tick
  note(0) = {49, 1, 0, 0, 0};
  note(2) = {97, 0, 0, 0, 0};
  start();
  ticks(12);
  EXPECT_EQ(channel().volumeEnvelope.value, 32);
  EXPECT_EQ(channel().volumeEnvelope.tick, 4);
  ticks(2);
  EXPECT_EQ(channel().volumeEnvelope.value, 24) << "released: on towards the last point";
  EXPECT_EQ(channel().fadeout, 65536 - 2 * 8192);
}

TEST_F(FT2RulesTest, KeyOffWithoutEnvelopeCutsAtOnceAndAVolumeBringsItBack) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {97, 0, 0, 0, 0};
  note(2) = {0, 0, 0x40, 0, 0};
  start();
  ticks(6);
  EXPECT_GT(voice().leftTarget, 0);
  ticks(1);
  EXPECT_EQ(channel().volume, 0);
  EXPECT_EQ(voice().leftTarget, 0);
  EXPECT_EQ(channel().fadeout, 65536) << "the instrument has no fadeout";
  ticks(6);
  EXPECT_GT(voice().leftTarget, 0);
}

TEST_F(FT2RulesTest, NoteDelayStartsTheNoteOnItsTick) {
  note(1) = {49, 1, 0x30, 0xE, 0xD3};
  start();
  ticks(6 + 3);
  EXPECT_EQ(voice().sample, nullptr);
  ticks(1);
  ASSERT_NE(voice().sample, nullptr);
  EXPECT_EQ(channel().volume, 32) << "with the delayed note's volume column";
}

TEST_F(FT2RulesTest, PatternDelayWithNoteDelayStartsTheNoteInEveryRepeat) {
  note(1, 0) = {49, 1, 0, 0xE, 0xD2};
  note(1, 1) = {0, 0, 0, 0xE, 0xE2};
  start();
  ticks(6);
  // A start moves a sounding voice to its partner channel; the first finds the channel silent.
  std::vector<int> starts;
  for (int t = 0; t < 18; ++t) {
    const MixerChannel* before = &voice();
    const bool sounding = voice().sample != nullptr;
    ticks(1);
    if (&voice() != before || (!sounding && voice().sample)) starts.push_back(t);
  }
  EXPECT_EQ(starts, (std::vector<int>{2, 8, 14}));
}

TEST_F(FT2RulesTest, ArpeggioFollowsTheTickCountDown) {
  note(0) = {61, 1, 0, 0, 0x37};  // at speed 6: base, +7, +3
  start();
  const int32_t base = linearPeriod(60);
  const int32_t expected[6] = {0, -7 * 64, -3 * 64, 0, -7 * 64, -3 * 64};
  for (int t = 0; t < 6; ++t) {
    ticks(1);
    EXPECT_EQ(channel().period, base);
    EXPECT_EQ(channel().periodDelta, expected[t]) << "tick " << t;
  }
}

TEST_F(FT2RulesTest, ArpeggioPastSixteenTicksLeftReadsOnIntoTheSine) {
  design.speed = 19;
  note(0) = {61, 1, 0, 0, 0x37};
  start();
  // Ticks left 18, 17: +7 (the sine's non-zero entries); 16: base (its first entry); 15: base.
  const int32_t expected[5] = {0, -7 * 64, -7 * 64, 0, 0};
  for (int t = 0; t < 5; ++t) {
    ticks(1);
    EXPECT_EQ(channel().periodDelta, expected[t]) << "tick " << t;
  }
}

TEST_F(FT2RulesTest, InstrumentWithoutNoteTakesTheSoundingSamplesVolume) {
  XMInstrumentSpec quiet = design.instruments[0];
  quiet.samples[0].volume = 32;
  design.instruments.push_back(quiet);
  note(0) = {49, 1, 0x20, 0, 0};
  note(1) = {0, 1, 0, 0, 0};
  note(2) = {0, 2, 0, 0, 0};
  note(3) = {49, 0, 0, 0, 0};
  start();
  ticks(1);
  EXPECT_EQ(channel().volume, 16);
  ticks(6);
  EXPECT_EQ(channel().volume, 64);
  ticks(6);
  EXPECT_EQ(channel().volume, 64) << "instrument 2 names no new sample yet";
  ticks(6);
  EXPECT_EQ(channel().sample, loaded->song->instruments[1].samples[0]) << "its sample plays from the next note";
}

TEST_F(FT2RulesTest, NoteWithTonePortamentoSlidesInsteadOfRestarting) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {53, 1, 0x30, 3, 0x20};
  start();
  ticks(6);
  MixerChannel* first = &voice();
  first->position = 300;
  ticks(1);
  EXPECT_EQ(&voice(), first);
  EXPECT_EQ(voice().position, 300u);
  EXPECT_EQ(channel().tonePortamentoTarget, linearPeriod(52));
  EXPECT_EQ(channel().volume, 32);
  ticks(1);
  EXPECT_EQ(channel().period, linearPeriod(48) - 128);
}

TEST_F(FT2RulesTest, RetrigOnTheFirstTickOnlyAsE90) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {0, 0, 0, 0xE, 0x93};
  note(2) = {0, 0, 0, 0xE, 0x90};
  start();
  ticks(6);
  MixerChannel* sounding = &voice();
  ticks(1);
  EXPECT_EQ(&voice(), sounding) << "E93 waits for tick 3";
  ticks(3);
  EXPECT_NE(&voice(), sounding);
  sounding = &voice();
  ticks(2 + 1);
  EXPECT_NE(&voice(), sounding) << "E90 restarts at once";
}

TEST_F(FT2RulesTest, MultiRetrigCountsFromTheNoteAndScalesTheVolume) {
  note(0) = {49, 1, 0, 27, 0x63};  // every 3 ticks, volume x 5/8
  start();
  ticks(2);
  EXPECT_EQ(channel().volume, 64);
  ticks(1);
  EXPECT_EQ(channel().volume, 40);
  ticks(3);
  EXPECT_EQ(channel().volume, 25);
}

// The retrigger ticks and volumes of three rows of Rxy, as the tracker plays them.
TEST_F(FT2RulesTest, MultiRetrigCountsAcrossRowsButNotWhereTheVolumeColumnSetsTheVolume) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {0, 0, 0, 27, 0x73};     // every 3 ticks, halving, counted from the row's first tick
  note(2) = {0, 0, 0x38, 27, 0x73};  // volume 40: the first tick left out, every retrigger at 40
  note(3) = {49, 1, 0, 27, 0x71};    // every tick but the note's own
  start();
  std::vector<std::pair<int, int>> triggers;  // (tick, volume)
  const MixerChannel* sounding = nullptr;
  for (int t = 0; t < 24; ++t) {
    ticks(1);
    if (&voice() != sounding) triggers.emplace_back(t, channel().volume);
    sounding = &voice();
  }
  const std::vector<std::pair<int, int>> expected = {{0, 64},  {9, 32},  {13, 40}, {16, 40}, {18, 64},
                                                     {19, 32}, {20, 16}, {21, 8},  {22, 4},  {23, 2}};
  EXPECT_EQ(triggers, expected);
}

TEST_F(FT2RulesTest, TremorSilenceOutlastsTheEffect) {
  note(0) = {49, 1, 0, 29, 0x21};  // on 3 ticks, off 2
  start();
  ticks(4);
  EXPECT_GT(voice().leftTarget, 0);
  ticks(1);
  EXPECT_EQ(voice().leftTarget, 0);
  ticks(1 + 6);
  EXPECT_EQ(voice().leftTarget, 0) << "the next row has no effect and stays silent";
}

TEST_F(FT2RulesTest, GlissandoHoldsEachSemitone) {
  note(0) = {61, 1, 0, 0xE, 0x31};
  note(1) = {68, 0, 0, 3, 0x04};  // 16 a tick: a semitone every four ticks
  start();
  ticks(6);
  const int32_t base = linearPeriod(60);
  const int32_t heard[6] = {base, base, base, base - 64, base - 64, base - 64};
  for (int t = 0; t < 6; ++t) {
    ticks(1);
    EXPECT_EQ(channel().period + channel().periodDelta, heard[t]) << "tick " << t;
  }
}

TEST_F(FT2RulesTest, SampleOffsetPastTheEndPlaysNothing) {
  note(0) = {49, 1, 0, 9, 0x10};
  note(1) = {49, 1, 0, 9, 0xFF};
  design.instruments[0].samples[0].loopType = 0;
  start();
  ticks(1);
  EXPECT_EQ(voice().position, 0x1000u);
  ticks(6);
  EXPECT_EQ(voice().sample, nullptr);
}

TEST_F(FT2RulesTest, PitchTables) {
  design.flags = 0;
  start();
  EXPECT_EQ(ft2::notePeriod(song(), 48, 0), 1712) << "C-4 plays at 8363 Hz";
  EXPECT_EQ(ft2::notePeriod(song(), 60, 0), 856);
  EXPECT_EQ(ft2::notePeriod(song(), 48, -128), 1814) << "a semitone down";
  // Sixteenths between ProTracker's eighths, and octaves shifted with the low bits dropped.
  EXPECT_EQ(ft2::notePeriod(song(), 60, -8), 859) << "halfway between 862 and 856";
  EXPECT_EQ(ft2::notePeriod(song(), 72, -64), 440) << "881 halved";
  EXPECT_EQ(ft2::notePeriod(song(), 78, 0), 302) << "F#-6: 1208 / 4";
  EXPECT_EQ(ft2::notePeriod(song(), 59, 120), 862) << "past B's highest the table ends";
  EXPECT_DOUBLE_EQ(ft2::frequency(song(), 1712), 8363.0);
  song().flags = 1;
  // Finetune in sixteenths of a semitone, four period units each.
  EXPECT_EQ(ft2::notePeriod(song(), 48, -28), linearPeriod(48) + 16);
  EXPECT_EQ(ft2::notePeriod(song(), 48, 127), linearPeriod(48) - 60);
  EXPECT_DOUBLE_EQ(ft2::frequency(song(), linearPeriod(48)), 8363.0);
}

TEST_F(FT2RulesTest, SlidesRampAcrossTheirTickWhereSetVolumesAndNotesAreQuick) {
  note(0) = {49, 1, 0, 0xA, 0x08};
  note(1) = {0, 0, 0, 0xC, 0x10};
  start();
  ticks(1);
  EXPECT_EQ(voice().rampLength, 16) << "a note ramps up in 16 frames";
  ticks(1);
  EXPECT_EQ(voice().rampLength, song().samplesPerTick);
  ticks(5);
  EXPECT_EQ(voice().rampLength, 16) << "as does a volume set on the row";
}

TEST_F(FT2RulesTest, LinearPanningAtThreeEighthsOfFullScale) {
  design.instruments[0].samples[0].panning = 64;
  note(0) = {49, 1, 0, 0, 0};
  start();
  ticks(1);
  EXPECT_EQ(voice().leftTarget, static_cast<int32_t>(32768 * 0.375 * 0.75 + 0.5));
  EXPECT_EQ(voice().rightTarget, static_cast<int32_t>(32768 * 0.375 * 0.25 + 0.5));
}

// ModPlug Tracker's files (FastTracker 2's name, a title ended by zero bytes) play at 1/4 on one
// side with up to 4 channels and at 96/128 of that with 8; FastTracker 2's own (the title padded
// with spaces) pan with constant power at 3/8 and ramp over 5 ms, not the set's 16 frames.
TEST_F(FT2RulesTest, LevelsByTheTrackerThatWroteTheFile) {
  design.tracker = "FastTracker v2.00   ";
  design.instruments[0].samples[0].panning = 0;
  note(0) = {49, 1, 0, 0, 0};
  start();
  EXPECT_EQ(song().levels, MixLevels::kModPlug);
  EXPECT_EQ(player.rampLength, 16);
  ticks(1);
  EXPECT_EQ(voice().leftTarget, 8192);
  design.channels = 8;
  start();
  ticks(1);
  EXPECT_EQ(voice().leftTarget, 6144);
  design.name = "twenty letters title";
  design.instruments[0].samples[0].panning = 128;
  start();
  EXPECT_EQ(song().levels, MixLevels::kConstantPower);
  EXPECT_EQ(player.rampLength, 220);
  ticks(1);
  EXPECT_EQ(voice().leftTarget, 8689);
  EXPECT_EQ(voice().rightTarget, 8689);
}

// T12: on for 2 ticks, off for 3, counted on every tick but a row's first, across rows (so the
// silence over a row's start lasts 4); an instrument number brings the volume back and starts
// the count again.
TEST_F(FT2RulesTest, TremorPhasesCountAcrossRowsAndRestartWithAnInstrument) {
  design.speed = 4;
  note(0) = {49, 1, 0, effect::kTremor, 0x12};
  note(1) = {0, 0, 0, effect::kTremor, 0x00};
  note(2) = {0, 1, 0, effect::kTremor, 0x00};
  start();
  std::string heard;
  for (int t = 0; t < 12; ++t) {
    ticks(1);
    heard += voice().leftTarget > 0 ? 'x' : '.';
  }
  EXPECT_EQ(heard, "xxx....xxxx.");
}

// A note whose instrument does not exist silences the channel, but an instrument number after
// it brings back the volume of the last sample that played.
TEST_F(FT2RulesTest, InstrumentNumberAfterAnInvalidOneRestoresTheLastSamplesVolume) {
  design.instruments[0].samples[0].volume = 40;
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {49, 9, 0x18, 0, 0};
  note(2) = {0, 1, 0, 0, 0};
  start();
  ticks(7);
  EXPECT_EQ(voice().sample, nullptr);
  EXPECT_EQ(channel().volume, 8);
  ticks(6);
  EXPECT_EQ(channel().volume, 40);
}

// A note delay without a note plays the channel's last note again, with the row's instrument.
TEST_F(FT2RulesTest, NoteDelayWithoutANotePlaysTheLastNoteWithTheRowsInstrument) {
  XMInstrumentSpec other = design.instruments[0];
  other.samples[0].relativeNote = 12;
  design.instruments.push_back(other);
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {0, 2, 0, 0xE, 0xD2};
  start();
  ticks(6 + 2);
  const int32_t before = channel().period;
  ticks(1);
  EXPECT_EQ(channel().sample, loaded->song->instruments[1].samples[0]);
  EXPECT_EQ(before - channel().period, 768) << "an octave up: instrument 2's sample plays C-4";
  EXPECT_EQ(voice().position, 0u);
}

// A delayed key off starts the envelopes again and releases them, the sample playing on; K00 on a
// row is a key off in place of the row's note, which does not play.
TEST_F(FT2RulesTest, DelayedKeyOffRestartsThenReleasesAndK00ReplacesTheNote) {
  design.instruments[0].volumeEnvelope = {{{0, 64}, {7, 0}}, 0, 0, 0, 1};
  note(0) = {49, 1, 0, 0, 0};
  note(2) = {kFileKeyOff, 0, 0, 0xE, 0xD2};
  note(4) = {61, 1, 0, effect::kKeyOff, 0};
  start();
  ticks(12 + 2);
  const MixerChannel voiceBefore = voice();
  EXPECT_FALSE(channel().keyOff);
  EXPECT_EQ(channel().volumeEnvelope.value, 0) << "the envelope ran down";
  ticks(1);
  EXPECT_TRUE(channel().keyOff);
  EXPECT_EQ(channel().volumeEnvelope.value, 64) << "from its start";
  EXPECT_EQ(voice().position, voiceBefore.position);
  const int32_t period = channel().period;
  ticks(9 + 1);
  EXPECT_EQ(channel().period, period) << "C-5 beside K00 is not played";
  EXPECT_TRUE(channel().keyOff);
}

// Only a note beside a tone portamento sets its target: a plain note later leaves it, and a tone
// portamento without a note goes on towards it.
TEST_F(FT2RulesTest, TonePortamentoTargetOutlastsPlainNotes) {
  note(0) = {49, 1, 0, 0, 0};
  note(1) = {61, 0, 0, 0x3, 0x10};
  note(2) = {49, 1, 0, 0, 0};
  note(3) = {0, 0, 0, 0x3, 0x10};
  start();
  ticks(12 + 1);
  const int32_t c4 = channel().period;
  ticks(5 + 6);
  EXPECT_EQ(c4 - channel().period, 5 * 0x10 * 4);
}

// The arpeggio's table ends at B-7 with the highest finetune (linear period 1540): C-8 an octave
// up plays there, a little below C-8 itself (1536).
TEST_F(FT2RulesTest, ArpeggioStopsAtTheEndOfTheTable) {
  design.instruments[0].samples[0].relativeNote = 36;
  note(0) = {61, 1, 0, 0x0, 0xCC};
  start();
  ticks(1);
  EXPECT_EQ(channel().period, 1536);
  ticks(1);
  EXPECT_EQ(channel().period + channel().periodDelta, 1540);
}

// With its sample's relative note a note past B-9 is no note: nothing restarts and the period
// stays, while the instrument number beside it still restores the volume.
TEST_F(FT2RulesTest, NotesPastTheRangeAreIgnored) {
  design.instruments[0].samples[0].relativeNote = 30;
  note(0) = {89, 1, 0x20, 0, 0};  // E-7 + 30: B-9, the last note
  note(1) = {90, 1, 0, 0, 0};     // F-7 + 30: past it
  start();
  ticks(6 + 2);
  EXPECT_EQ(channel().period, 7680 - 118 * 64);
  EXPECT_EQ(channel().volume, 64);
  EXPECT_EQ(channel().mixer, &player.mixer[0]) << "a restart would have moved to the partner voice";
}

// Beside a note delay the volume column's fine slides are lost; a set volume still acts on the
// delayed tick.
TEST_F(FT2RulesTest, NoteDelayLosesTheColumnsFineSlides) {
  note(0) = {49, 1, 0x30, 0, 0};
  note(1) = {0, 0, 0x9F, 0xE, 0xD2};
  note(2) = {0, 0, 0x18, 0xE, 0xD2};
  start();
  ticks(6 + 6);
  EXPECT_EQ(channel().volume, 32);
  ticks(2);
  EXPECT_EQ(channel().volume, 32);
  ticks(1);
  EXPECT_EQ(channel().volume, 8);
}
