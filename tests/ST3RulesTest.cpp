#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "RulesFixture.h"
#include "S3MTestModules.h"
#include "SoundLib/xmplay/formats/S3MReader.h"

// Worked values of how Scream Tracker 3 plays small S3M modules, one command or quirk at a time.
// Channels 0 to 3 are L1 R1 L2 R2; the one sample holds a constant at 8363 Hz.
namespace {
using letter::kSpecial;

class ST3RulesTest : public RulesFixture<LoadedS3M, S3MModuleSpec> {
 protected:
  ST3RulesTest() : RulesFixture(st3::kRules, constantS3M()) {}
  void cell(int row, S3MCell c, int pattern = 0) { put(design, row, c, pattern); }
  // A note with the sample on channel ch, with a command.
  void note(int row, int ch, int pitch, uint8_t command = 0, uint8_t parameter = 0) {
    cell(row, {static_cast<uint8_t>(ch), pitch, 1, -1, command, parameter});
  }
  void command(int row, int ch, uint8_t command, uint8_t parameter) {
    cell(row, {static_cast<uint8_t>(ch), -1, 0, -1, command, parameter});
  }
  st3::ST3Channel& channel(int i = 0) { return st3::state(player).channels[i]; }
  // The channel's volume over the next ticks, one a tick.
  std::vector<int> volumes(int n, int ch = 0) {
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
      ticks(1);
      seen.push_back(channel(ch).volume);
    }
    return seen;
  }
  std::vector<int> periods(int n, int ch = 0) {
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
      ticks(1);
      seen.push_back(channel(ch).period);
    }
    return seen;
  }
};
}  // namespace

TEST(ST3Periods, NotesFromTheSamplesCFrequency) {
  EXPECT_EQ(st3::notePeriod(49, 8363), 1712) << "C-4";
  EXPECT_EQ(st3::notePeriod(61, 8363), 856) << "C-5";
  EXPECT_EQ(st3::notePeriod(60, 8363), 907) << "B-4";
  EXPECT_EQ(st3::notePeriod(49, 16726), 856) << "twice the frequency, an octave up";
  EXPECT_EQ(st3::notePeriod(1, 8363), 27392) << "C-0";
  EXPECT_EQ(st3::notePeriod(49, 0), 1712) << "no frequency: 8363";
  EXPECT_EQ(st3::semitonePeriod(1700, 8363), 1712);
  EXPECT_EQ(st3::semitonePeriod(1650, 8363), 1616);
}

TEST_F(ST3RulesTest, ANoteStartsAtItsPeriodAndTheStepPlaysItsFrequency) {
  note(0, 0, kC4);
  note(0, 1, 0x50);  // C-5
  start();
  EXPECT_EQ(song().tickFunction, &st3::tickDriver);
  ticks(1);
  EXPECT_EQ(channel(0).period, 1712);
  EXPECT_EQ(channel(1).period, 856);
  const MixerChannel& v = *channel(0).mixer;
  EXPECT_NEAR((v.step + v.stepFraction / 4294967296.0) * 44100, 8363, 0.01);
  EXPECT_EQ(song().samplesPerTick, 882) << "125 BPM";
}

TEST_F(ST3RulesTest, ACFrequencyBelow1024PlaysAt1024) {
  design.samples[0].c2spd = 500;
  note(0, 0, kC4);
  start();
  ticks(1);
  EXPECT_EQ(channel(0).period, st3::notePeriod(49, 1024));
  EXPECT_EQ(channel(0).period, 13981);  // 1712 * 8363 / 1024, down
}

TEST_F(ST3RulesTest, MostCommandsShareOneMemoryOfTheLastNonZeroParameter) {
  note(0, 0, kC4, letter::kPortamentoDown, 0x02);
  command(1, 0, letter::kPortamentoUp, 0x00);  // the 02 of E
  command(2, 0, 0, 0x01);                      // no command, but its parameter is remembered
  command(3, 0, letter::kPortamentoDown, 0x00);
  start();
  EXPECT_EQ(periods(6), (std::vector<int>{1712, 1720, 1728, 1736, 1744, 1752}));
  EXPECT_EQ(periods(6), (std::vector<int>{1752, 1744, 1736, 1728, 1720, 1712}));
  periods(6);
  EXPECT_EQ(periods(3), (std::vector<int>{1712, 1716, 1720}));
}

TEST_F(ST3RulesTest, FineAndExtraFineSlidesOnTheFirstTickOnly) {
  note(0, 0, kC4, letter::kPortamentoDown, 0xF2);
  command(1, 0, letter::kPortamentoUp, 0xE3);
  start();
  EXPECT_EQ(periods(6), (std::vector<int>(6, 1720)));
  EXPECT_EQ(periods(6), (std::vector<int>(6, 1717)));
}

TEST_F(ST3RulesTest, VolumeSlidesAndTheirFirstTicks) {
  note(0, 0, kC4, letter::kVolumeSlide, 0x04);  // down 4 on the ticks after the first
  command(1, 0, letter::kVolumeSlide, 0x0F);    // D0F: down 15 on every tick, the first too
  cell(2, {1, kC4, 1, 40, letter::kVolumeSlide, 0x2F});  // DxF: up 2 once
  command(3, 1, letter::kVolumeSlide, 0xF3);    // DFy: down 3 once
  start();
  EXPECT_EQ(volumes(6), (std::vector<int>{64, 60, 56, 52, 48, 44}));
  EXPECT_EQ(volumes(4), (std::vector<int>{29, 14, 0, 0}));
  ticks(2);
  EXPECT_EQ(volumes(6, 1), (std::vector<int>{42, 42, 42, 42, 42, 42}));
  EXPECT_EQ(volumes(6, 1), (std::vector<int>{39, 39, 39, 39, 39, 39}));
}

TEST_F(ST3RulesTest, FastSlidesByTheFlagOrVersion300) {
  for (const auto& [flags, version] : {std::pair<uint16_t, uint16_t>{s3m::kFastVolumeSlides, 0x1320}, {0, 0x1300}}) {
    design = constantS3M();
    design.flags = flags;
    design.version = version;
    note(0, 0, kC4, letter::kVolumeSlide, 0x04);
    start();
    EXPECT_EQ(volumes(3), (std::vector<int>{60, 56, 52})) << version;
  }
}

TEST_F(ST3RulesTest, TheAmigaLimitsWhereTheFlagsAskAndAPeriodSlidToNothingStops) {
  design.flags = s3m::kAmigaLimits;
  note(0, 0, 0x5B, letter::kPortamentoUp, 0x10);    // B-5 (453), up to the limit
  note(0, 1, 0x30, letter::kPortamentoDown, 0xFF);  // C-3 (3424), down
  note(0, 2, 0x20);                                 // C-2: at the limit from its start
  note(0, 3, 0x6B);                                 // B-6 too
  start();
  EXPECT_EQ(periods(3), (std::vector<int>{453, 452, 452}));
  EXPECT_EQ(channel(1).period, 3424);
  EXPECT_EQ(channel(2).period, 3424);
  EXPECT_EQ(channel(3).period, 452);

  design = constantS3M();
  note(0, 0, 0x50, letter::kPortamentoUp, 0x7F);  // 856, 508 a tick
  start();
  EXPECT_EQ(periods(3), (std::vector<int>{856, 348, 0}));
  EXPECT_EQ(channel(0).sample, nullptr) << "silent until the next note";
}

TEST_F(ST3RulesTest, TremorArpeggioAndRetriggerVolumes) {
  note(0, 0, kC4, letter::kTremor, 0x21);  // on 3 ticks, off 2
  note(0, 1, kC4, letter::kArpeggio, 0x47);
  note(0, 2, kC4, letter::kRetrig, 0x62);  // every 2 ticks, volume x 2/3
  design.speed = 12;
  start();
  std::vector<bool> muted;
  std::vector<int> arpeggio, retrig;
  for (int i = 0; i < 8; ++i) {
    ticks(1);
    muted.push_back(channel(0).tremorMuted);
    arpeggio.push_back(channel(1).arpeggioPeriod ? channel(1).arpeggioPeriod : channel(1).period);
    retrig.push_back(channel(2).volume);
  }
  EXPECT_EQ(muted, (std::vector<bool>{false, false, false, true, true, false, false, false}));
  EXPECT_EQ(arpeggio, (std::vector<int>{1712, 1356, 1140, 1712, 1356, 1140, 1712, 1356}));  // C, E, G
  EXPECT_EQ(retrig, (std::vector<int>{64, 64, 42, 42, 28, 28, 18, 18}));
}

TEST_F(ST3RulesTest, SampleOffsetsPastTheEndAndTheOffsetANoteKeeps) {
  S3MSampleSpec once = design.samples[0];
  once.loop = false;
  design.samples.push_back(once);
  note(0, 0, kC4, letter::kSampleOffset, 0x04);  // frame 1024
  note(0, 1, kC4, letter::kSampleOffset, 0x10);  // past the loop's end: its start
  cell(0, {2, kC4, 2, -1, letter::kSampleOffset, 0x10});  // past a sample without a loop: nothing
  cell(1, {0, kC4, 0, -1, 0, 0});  // no number: where the last offset started
  cell(2, {0, kC4, 1, -1, 0, 0});  // a number: from the top
  start();
  ticks(1);
  EXPECT_EQ(channel(0).mixer->position, 1024u);
  EXPECT_EQ(channel(1).mixer->position, 0u);
  EXPECT_EQ(channel(1).mixer->sample, channel(1).sample);
  EXPECT_EQ(channel(2).mixer->sample, nullptr);
  ticks(6);
  EXPECT_EQ(channel(0).mixer->position, 1024u);
  ticks(6);
  EXPECT_EQ(channel(0).mixer->position, 0u);
}

TEST_F(ST3RulesTest, CutsStopTheVoiceUntilAnInstrumentNumberAndDelaysHoldTheCell) {
  note(0, 0, kC4, kSpecial, 0xC2);
  note(0, 1, kC4, kSpecial, 0xD3);
  note(0, 2, kC4, kSpecial, 0xC0);  // SC0: nothing
  note(0, 3, kC4, kSpecial, 0xD0);  // SD0: the cell never plays
  cell(1, {0, -1, 0, 40, 0, 0});    // a volume does not bring the cut note back
  cell(2, {0, 255, 1, -1, 0, 0});   // an instrument number alone does, from the top
  start();
  ticks(1);
  EXPECT_EQ(channel(1).mixer->sample, nullptr);
  ticks(1);
  EXPECT_NE(channel(0).mixer->sample, nullptr);
  ticks(1);
  EXPECT_EQ(channel(0).mixer->sample, nullptr) << "cut on tick 2";
  EXPECT_EQ(channel(1).mixer->sample, nullptr);
  ticks(1);
  EXPECT_EQ(channel(1).period, 1712) << "delayed to tick 3";
  EXPECT_NE(channel(2).mixer->sample, nullptr);
  EXPECT_EQ(channel(3).mixer->sample, nullptr);
  EXPECT_EQ(channel(3).period, 0);
  ticks(3);
  EXPECT_EQ(channel(0).volume, 40);
  EXPECT_EQ(channel(0).mixer->sample, nullptr);
  ticks(6);
  EXPECT_NE(channel(0).mixer->sample, nullptr);
  EXPECT_EQ(channel(0).mixer->position, 0u);
  EXPECT_EQ(channel(0).volume, 64);
}

TEST_F(ST3RulesTest, OnePatternLoopForTheWholeSong) {
  command(0, 0, kSpecial, 0xB0);  // the loop's start, on one channel
  command(2, 1, kSpecial, 0xB1);  // its end, on another
  command(4, 2, kSpecial, 0xB1);  // after the loop's done, from row 3
  design.speed = 1;
  start();
  const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 0}, {0, 1}, {0, 2},
                                                     {0, 3}, {0, 4}, {0, 3}, {0, 4}, {0, 5}};
  EXPECT_EQ(rows(11), expected);
}

TEST_F(ST3RulesTest, RowDelaysTheLeftChannelsFirstAndFineDelaysForImpulseTrackersFiles) {
  command(0, 1, kSpecial, 0xE4);  // R1
  command(0, 2, kSpecial, 0xE2);  // L2: the left one counts
  command(1, 0, kSpecial, 0x62);  // two ticks more, in Impulse Tracker's files only
  design.speed = 2;
  for (uint16_t version : {uint16_t{0x1320}, uint16_t{0x3216}}) {
    design.version = version;
    start();
    int ticksOfRow0 = 0;
    while (song().row == 0 || ticksOfRow0 == 0) {
      ticks(1);
      ++ticksOfRow0;
    }
    EXPECT_EQ(ticksOfRow0, 2 * 3 + 1) << "the row three times, then the next row's first tick";
    int ticksOfRow1 = 1;
    while (song().row == 1) {
      ticks(1);
      ++ticksOfRow1;
    }
    EXPECT_EQ(ticksOfRow1 - 1, version == 0x1320 ? 2 : 4) << std::hex << version;
  }
}

TEST_F(ST3RulesTest, SpeedTempoGlobalVolumeAndPanning) {
  command(0, 0, letter::kSetSpeed, 0);     // ignored
  command(0, 1, letter::kTempo, 0x1F);     // below 32: ignored
  command(0, 2, letter::kGlobalVolume, 65);  // above 64: ignored
  command(0, 3, letter::kSetPanning, 0x40);
  command(1, 0, letter::kSetSpeed, 3);
  command(1, 1, letter::kTempo, 150);
  command(1, 2, letter::kGlobalVolume, 32);
  command(1, 3, kSpecial, 0x8F);
  cell(1, {1, -1, 0, 128 + 16, 0, 0});  // the volume column's pan: a quarter from the left
  start();
  ticks(1);
  EXPECT_EQ(song().speed, 6);
  EXPECT_EQ(song().bpm, 125);
  EXPECT_EQ(song().globalVolume, 64);
  EXPECT_EQ(channel(3).panning, 128);
  EXPECT_EQ(channel(0).panning, 51);
  ticks(6);
  EXPECT_EQ(song().speed, 3);
  EXPECT_EQ(song().bpm, 150);
  EXPECT_EQ(song().globalVolume, 32);
  EXPECT_EQ(channel(3).panning, 256);
  EXPECT_EQ(channel(1).panning, 64);
}

TEST_F(ST3RulesTest, TheMasterVolumeSetsTheLevel) {
  note(0, 0, kC4);
  const auto level = [&](uint8_t master, uint16_t version = 0x1320, uint16_t gus = 1) {
    design.masterVolume = master;
    design.version = version;
    design.samples[0].gusAddress = gus;
    start();
    ticks(1);
    return channel(0).mixer->leftTarget + channel(0).mixer->rightTarget;
  };
  const int full = level(0x80 | 64);
  EXPECT_NEAR(full, 32768 * 64 / 128, 1) << "64 of 128";
  EXPECT_NEAR(level(0x80 | 48), full * 48 / 64, 1);
  EXPECT_EQ(level(0x80 | 0), level(0x80 | 48)) << "0 as 48";
  EXPECT_EQ(level(0x80 | 8), level(0x80 | 16)) << "at least 16";
  EXPECT_NEAR(level(64), full * 128 / 176, 1) << "mono";
  EXPECT_EQ(level(64, 0x5131), full) << "but not for OpenMPT's files";
  EXPECT_EQ(level(0x80 | 100, 0x1320, 0x200), level(0x80 | 48)) << "the Ultrasound build's as 48";
}

TEST_F(ST3RulesTest, TheSongStartsAtItsFirstPatternAndStepsOverMarkers) {
  design.patterns.resize(2);
  design.orders = {254, 1, 254, 0, 255, 1};
  design.speed = 1;
  start();
  const std::vector<std::pair<int, int>> seen = rows(64 * 3);
  EXPECT_EQ(seen[0], (std::pair<int, int>{1, 0}));
  EXPECT_EQ(seen[64], (std::pair<int, int>{3, 0}));
  EXPECT_EQ(seen[128], (std::pair<int, int>{1, 0})) << "255 ends the song: round again";

  // Every way from the start returns to an end before the one pattern: it plays all the same.
  design.orders = {255, 254, 255, 0};
  start();
  EXPECT_EQ(rows(65)[64], (std::pair<int, int>{3, 0}));
}

TEST_F(ST3RulesTest, AnInstrumentNumberAloneSwapsTheSampleWhereTheVoiceIs) {
  S3MSampleSpec other = design.samples[0];
  other.data.assign(2000, -8000);
  design.samples.push_back(other);
  note(0, 0, kC4);
  note(0, 1, kC4);
  cell(1, {0, -1, 2, -1, 0, 0});
  start();
  ticks(1);
  channel(0).mixer->position = channel(1).mixer->position = 500;  // as if mixed so far
  ticks(6);
  EXPECT_EQ(channel(0).mixer->sample, channel(0).sample);
  EXPECT_EQ(channel(0).sample, song().instruments[1].samples[0]);
  EXPECT_EQ(channel(0).mixer->position, 500u) << "not started again";
}

TEST_F(ST3RulesTest, ANumberPastTheSamplesLeavesTheChannelSilentFromItsNoteOn) {
  note(0, 0, kC4);
  note(0, 1, kC4);
  cell(1, {0, -1, 9, -1, 0, 0});  // alone: left alone
  cell(2, {1, 0x42, 9, -1, 0, 0});
  cell(3, {1, 0x44, 0, -1, 0, 0});
  start();
  ticks(12);
  EXPECT_EQ(channel(0).sample, song().instruments[0].samples[0]);
  ticks(6);
  EXPECT_EQ(channel(1).sample->length, 0u) << "the note plays nothing";
  ticks(6);
  EXPECT_EQ(channel(1).sample->length, 0u) << "nor does the next";
}

TEST_F(ST3RulesTest, BothNibblesSlideDownTempoOnTheFirstTickAndVibratoFromIt) {
  note(0, 0, kC4, letter::kVolumeSlide, 0x32);  // both nibbles: down 2, as D02
  note(0, 1, kC4, letter::kVibrato, 0x48);
  command(1, 1, letter::kVibrato, 0x48);
  command(1, 2, letter::kTempo, 150);
  start();
  std::vector<int> vibrato;
  for (int i = 0; i < 7; ++i) {
    ticks(1);
    vibrato.push_back(channel(1).periodDelta);
  }
  EXPECT_EQ(channel(0).volume, 54);
  EXPECT_EQ(song().samplesPerTick, 44100 * 5 / (2 * 150)) << "heard from the row's first tick";
  // 127 sin, times 8/16, a step of 4 of 64 on every tick but the first; the next row's first
  // tick plays where the last one left it.
  EXPECT_EQ(vibrato, (std::vector<int>{0, 0, 24, 45, 58, 63, 58}));
}
