#include "SoundLib/xmplay/formats/MODReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MODTestModules.h"
#include "SoundLib/xmplay/formats/AmigaPeriods.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/pt/PTRules.h"
#include "XMTestModules.h"
#include "players/LoadDamage.h"
#include "players/ModuleFacts.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace {
SongPtr load(const std::vector<uint8_t>& image, const RuleSet* rules = nullptr, LoadFailure* failure = nullptr) {
  return loadModule(image.data(), image.size(), rules, failure);
}
}  // namespace

TEST(MODLoader, SignaturesNameTheChannels) {
  const std::pair<const char*, int> cases[] = {{"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4}, {"4CHN", 4}, {"2CHN", 2},
                                                {"6CHN", 6}, {"8CHN", 8}, {"CD81", 8}, {"OKTA", 8}, {"10CH", 10},
                                                {"32CH", 32}, {"TDZ3", 3}};
  for (const auto& [signature, channels] : cases) {
    MODModuleSpec m = constantMOD();
    m.signature = signature;
    m.channels = channels;
    const SongPtr song = load(writeMOD(m));
    ASSERT_NE(song, nullptr) << signature;
    EXPECT_EQ(song->channelCount, channels) << signature;
    EXPECT_EQ(song->rules, &pt::kRules) << "ProTracker's rules by default";
    EXPECT_EQ(formatName(*song), std::string("MOD ") + signature);
  }
  MODModuleSpec tooMany = constantMOD();
  tooMany.signature = "33CH";
  tooMany.channels = 33;
  LoadFailure failure{};
  EXPECT_EQ(load(writeMOD(tooMany), nullptr, &failure), nullptr);
  EXPECT_STREQ(failure.text, "neither XM (no \"Extended Module: \" at its start), S3M (no \"SCRM\" at offset 44), IT (no \"IMPM\" at its start) nor MOD");
}

TEST(MODLoader, NotesSamplesAndHeader) {
  MODModuleSpec m = constantMOD();
  m.title = "a title";
  m.samples.resize(17);
  m.samples[16].name = "seventeen";
  m.samples[16].data.assign(100, 5);
  m.samples[16].finetune = -3;
  m.samples[16].volume = 70;
  m.patterns[0].at(3, 2, 4) = {kC2, 17, 0xA, 0x1F};
  m.patterns[0].at(4, 1, 4) = {1712, 0, 0, 0};  // an octave below ProTracker's
  m.patterns[0].at(5, 1, 4) = {430, 0, 0, 0};   // off the table: the nearest note
  const SongPtr song = load(writeMOD(m));
  ASSERT_NE(song, nullptr);
  EXPECT_STREQ(song->title, "a title");
  EXPECT_EQ(song->instrumentCount, 31);
  EXPECT_EQ(song->defaultSpeed, 6);
  EXPECT_EQ(song->defaultBPM, 125);
  EXPECT_FALSE(linearTable(*song));
  const Note& n = song->patterns[0].notes[3 * 4 + 2];
  EXPECT_EQ(n.note, 49) << "C-2 of ProTracker is the song's C-4";
  EXPECT_EQ(n.instrument, 17);
  EXPECT_EQ(n.effect, 0xA);
  EXPECT_EQ(n.parameter, 0x1F);
  EXPECT_EQ(song->patterns[0].notes[4 * 4 + 1].note, 25);
  EXPECT_EQ(song->patterns[0].notes[5 * 4 + 1].note, 49);
  const Instrument& ins = song->instruments[16];
  EXPECT_STREQ(ins.name, "seventeen");
  ASSERT_EQ(ins.sampleCount, 1);
  const Sample& s = *ins.samples[0];
  EXPECT_EQ(s.length, 100u);
  EXPECT_EQ(s.volume, 64);
  EXPECT_EQ(s.finetune, -48) << "-3 in sixteenths of a semitone, XM's measure";
  EXPECT_EQ(s.data[0], 5 * 256);
  EXPECT_EQ(s.loopMode, kLoopNone);
}

TEST(MODLoader, PeriodsAndNotes) {
  EXPECT_EQ(amiga::noteOfPeriod(428), 24);
  EXPECT_EQ(amiga::noteOfPeriod(856), 12);
  EXPECT_EQ(amiga::noteOfPeriod(113), 47);
  EXPECT_EQ(amiga::noteOfPeriod(1712), 0);
  EXPECT_EQ(amiga::noteOfPeriod(57), 59);
  EXPECT_EQ(amiga::noteOfPeriod(5000), 0);
  EXPECT_EQ(amiga::quarterPeriod(24, 0), 1712);
  EXPECT_EQ(amiga::quarterPeriod(12, 8), 907 * 4) << "C-1 at finetune -8";
  EXPECT_EQ(amiga::quarterPeriod(47, 7), 108 * 4) << "B-3 at finetune 7";
  EXPECT_EQ(amiga::quarterPeriod(0, 0), 856 * 8);
  EXPECT_EQ(amiga::quarterPeriod(59, 0), 113 * 2) << "half of B-3's";
  EXPECT_EQ(amiga::trackerTable(36), 850) << "past row 0's end: finetune 1's C-1";
  EXPECT_EQ(amiga::trackerTable(16 * 36), 0);
}

TEST(MODLoader, LoopsInWordsTheOneWordLoopIsNoneAndLoopsPastTheEnd) {
  MODModuleSpec m = constantMOD();
  m.samples.resize(5);
  for (MODSampleSpec& s : m.samples) {
    s.data.clear();
    for (int i = 0; i < 200; ++i) s.data.push_back(static_cast<int8_t>(i % 100));
  }
  m.samples[0].loopStart = 10;  // words
  m.samples[0].loopLength = 20;
  m.samples[1].loopStart = 0;
  m.samples[1].loopLength = 1;
  m.samples[2].loopStart = 120;  // 120 bytes: 60 + 30 words fit in 100
  m.samples[2].loopLength = 30;
  m.samples[3].loopStart = 90;  // past the end either way: cut at the end
  m.samples[3].loopLength = 60;
  m.samples[4].loopStart = 200;
  m.samples[4].loopLength = 4;
  const SongPtr song = load(writeMOD(m));
  ASSERT_NE(song, nullptr);
  auto sample = [&](int i) -> const Sample& { return *song->instruments[i].samples[0]; };
  EXPECT_EQ(sample(0).loopMode, kLoopForward);
  EXPECT_EQ(sample(0).loopStart, 20u);
  EXPECT_EQ(sample(0).loopLength, 40u);
  EXPECT_EQ(sample(0).mixLoopLength, 1040u) << "a short loop repeated for the mixer";
  EXPECT_EQ(sample(0).data[60], 20 * 256) << "the first copy of the loop, over frame 60's own value";
  EXPECT_EQ(sample(1).loopMode, kLoopNone);
  EXPECT_EQ(sample(2).loopStart, 120u);
  EXPECT_EQ(sample(2).loopLength, 60u);
  EXPECT_EQ(sample(3).loopStart, 180u);
  EXPECT_EQ(sample(3).loopLength, 20u);
  EXPECT_EQ(sample(4).loopMode, kLoopNone) << "a loop that starts past the end";
}

// ProTracker stores as many patterns as the highest entry of the whole order list names; where
// those would not fit beside the samples, the entries the song plays say how many.
TEST(MODLoader, PatternCountFromTheWholeOrderList) {
  MODModuleSpec m = constantMOD();
  m.orders = {0, 1};
  m.unplayedOrders = {2};
  m.patterns.resize(3);
  m.patterns[2].at(0, 0, 4) = {kC2, 1, 0, 0};
  const SongPtr all = load(writeMOD(m));
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->filePatternCount, 3);
  EXPECT_EQ(all->usedPatternCount, 2);
  EXPECT_EQ(all->instruments[0].samples[0]->data[0], 64 * 256) << "the samples follow the third pattern";

  m.unplayedOrders = {99};  // garbage after the song's length
  m.patterns.resize(2);
  const SongPtr played = load(writeMOD(m));
  ASSERT_NE(played, nullptr);
  EXPECT_EQ(played->filePatternCount, 2);
  EXPECT_EQ(played->wholeInstruments, 31);
}

TEST(MODLoader, FLT8StoresEachPatternAsTwoHalves) {
  MODModuleSpec m = constantMOD(8);
  m.signature = "FLT8";
  m.orders = {1, 0};
  m.patterns.resize(2);
  m.patterns[1].at(2, 6, 8) = {kD2, 2, 0xC, 0x20};
  const SongPtr song = load(writeMOD(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->channelCount, 8);
  EXPECT_EQ(song->orders[0], 1) << "the file's entries count halves";
  EXPECT_EQ(song->filePatternCount, 2);
  const Note& n = song->patterns[1].notes[2 * 8 + 6];
  EXPECT_EQ(n.instrument, 2);
  EXPECT_EQ(n.parameter, 0x20);
}

TEST(MODLoader, DigitalTrackerSkipsItsFourBytesAfterTheSignature) {
  MODModuleSpec m = constantMOD(6);
  m.signature = "FA06";
  m.patterns[0].at(2, 5, 6) = {kD2, 2, 0xC, 0x20};
  std::vector<uint8_t> image = writeMOD(m);
  std::fill_n(image.begin() + 1084, 4, 0xFF);  // what they hold is no note
  const SongPtr song = load(image);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->channelCount, 6);
  EXPECT_EQ(formatName(*song), "MOD FA06");
  EXPECT_EQ(modTrackerOf(song->signature), "Digital Tracker (FA06)");
  EXPECT_EQ(song->patterns[0].notes[0].effect, 0);
  const Note& n = song->patterns[0].notes[2 * 6 + 5];
  EXPECT_EQ(n.instrument, 2);
  EXPECT_EQ(n.parameter, 0x20);
  EXPECT_EQ(song->instruments[0].samples[0]->data[0], 64 * 256) << "the samples right after the pattern";
  EXPECT_EQ(song->wholeInstruments, 31);

  m.signature = "FA09";  // Digital Tracker had 4 to 8 channels
  m.channels = 9;
  const std::vector<uint8_t> nine = writeMOD(m);
  EXPECT_EQ(recogniseMOD(nine.data(), nine.size()).channels, 0);
}

// SoundTracker 2.6 and Ice Tracker store tracks of one channel; each position names four, and
// positions may share them. Each position becomes a pattern of its own.
TEST(MODLoader, TracksMakeAPatternForEachPosition) {
  for (const char* signature : {"MTN", "IT10"}) {
    MODModuleSpec m = constantMOD();
    m.signature = signature;
    m.orders = {1, 0, 1};
    m.patterns.resize(2);
    m.patterns[0].at(0, 0, 4) = {kC2, 1, 0, 0};
    m.patterns[1].at(3, 2, 4) = {kD2, 2, 0xC, 0x20};
    std::vector<uint8_t> image = writeMOD(m);
    const SongPtr song = load(image);
    ASSERT_NE(song, nullptr) << signature;
    EXPECT_EQ(formatName(*song), std::string("MOD ") + signature);
    EXPECT_EQ(song->channelCount, 4);
    EXPECT_EQ(song->instrumentCount, 31);
    EXPECT_EQ(song->songLength, 3);
    EXPECT_EQ(song->filePatternCount, 3);
    EXPECT_EQ(song->orders[2], 2);
    for (int p : {0, 2}) {
      const Note& n = song->patterns[p].notes[3 * 4 + 2];
      EXPECT_EQ(n.note, 51) << "D-2 at position " << p;
      EXPECT_EQ(n.instrument, 2);
      EXPECT_EQ(n.parameter, 0x20);
    }
    EXPECT_EQ(song->patterns[1].notes[0].instrument, 1);
    EXPECT_EQ(song->instruments[0].samples[0]->data[0], 64 * 256) << "the samples right after the 8 tracks";
    EXPECT_EQ(song->wholePatterns, 3);
    EXPECT_EQ(song->wholeInstruments, 31);

    // Position 1's first channel names track 8, one past those stored: an empty track; track 9
    // is past what the count allows, and the file is no module of tracks.
    constexpr size_t kTable = 952;
    image[kTable + 4] = 8;
    const SongPtr empty = load(image);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->patterns[1].notes[0].instrument, 0);
    image[kTable + 4] = 9;
    EXPECT_EQ(load(image), nullptr);
  }
  EXPECT_EQ(modTrackerOf("MTN"), "SoundTracker 2.6 (MTN)");
  EXPECT_EQ(modTrackerOf("IT10"), "Ice Tracker (IT10)");
}

TEST(MODLoader, FifteenSampleModulesAreRecognisedWithCare) {
  MODModuleSpec m = constantMOD();
  m.signature = "";
  m.restart = 120;
  m.patterns[0].at(0, 0, 4) = {kC2, 15, 0, 0};
  m.samples.resize(15);
  const std::vector<uint8_t> image = writeMOD(m);
  const SongPtr song = load(image);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->instrumentCount, 15);
  EXPECT_EQ(song->defaultBPM, 125);
  EXPECT_EQ(formatName(*song), "MOD 15 samples");
  EXPECT_EQ(song->patterns[0].notes[0].instrument, 15);

  m.restart = 110;  // SoundTracker's tempo: the timer at (240 - 110) x 122 CIA ticks
  EXPECT_EQ(load(writeMOD(m))->defaultBPM, 112);

  // What else would pass for one is refused: a volume beyond 64, a finetune (SoundTracker had
  // none), a tempo byte beyond 220, a pattern beyond the image, no sample with sound.
  const auto changed = [&image](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = image;
    bytes[at] = value;
    return bytes;
  };
  constexpr size_t kSample1 = 20, kTempoByte = 471;
  EXPECT_EQ(load(changed(kSample1 + 25, 65)), nullptr);
  EXPECT_EQ(load(changed(kSample1 + 24, 1)), nullptr);
  EXPECT_NE(load(changed(kTempoByte, 220)), nullptr);
  EXPECT_EQ(load(changed(kTempoByte, 221)), nullptr);
  EXPECT_EQ(load(std::vector<uint8_t>(image.begin(), image.begin() + 600 + 1000)), nullptr);
  EXPECT_EQ(load(std::vector<uint8_t>(4000, 'a')), nullptr);
  MODModuleSpec silent = m;
  for (MODSampleSpec& s : silent.samples) s.data.clear();
  EXPECT_EQ(load(writeMOD(silent)), nullptr);

  // A few stray bytes in the text are forgiven: 5 in the title, 48 in all; a sixth in the title
  // or a 49th in all is other bytes than a name's.
  std::vector<uint8_t> stray = image;
  std::fill_n(stray.begin(), 5, 7);
  std::fill_n(stray.begin() + 20 + 2 * 30, 22, 0xE9);
  std::fill_n(stray.begin() + 20 + 3 * 30, 21, 1);
  EXPECT_NE(load(stray), nullptr);
  stray[20 + 3 * 30 + 21] = 1;
  EXPECT_EQ(load(stray), nullptr);
  std::vector<uint8_t> title = image;
  std::fill_n(title.begin(), 6, 7);
  EXPECT_EQ(load(title), nullptr);

  // The samples may run past the end of the file by one sample's most, 64 KB, and no more: here
  // both samples' 5000 bytes are cut off and a third sample says it holds 60536 (30268 words).
  std::vector<uint8_t> cutShort(image.begin(), image.end() - 5000);
  cutShort[20 + 2 * 30 + 22] = 30268 >> 8;
  cutShort[20 + 2 * 30 + 23] = 30268 & 255;
  EXPECT_NE(load(cutShort), nullptr);
  cutShort[20 + 2 * 30 + 23] = 30269 & 255;
  EXPECT_EQ(load(cutShort), nullptr);
}

// Neither a module of another format nor any other file in the test data passes for a MOD,
// least of all for a 15-sample module, which has no signature to tell it by.
TEST(MODLoader, OtherFilesAreNotTakenForOne) {
  const std::vector<uint8_t> xm = writeXM(constantModule());
  EXPECT_EQ(recogniseMOD(xm.data(), xm.size()).channels, 0);
  const std::filesystem::path dir = TESTDATA_DIR;
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no ../shared/testdata beside the repository";
  int count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string folder = entry.path().parent_path().filename().string();
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || folder.rfind("mod-", 0) == 0 || extension == ".md" || extension == ".txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const MODLayout layout = recogniseMOD(bytes.data(), bytes.size());
    EXPECT_EQ(layout.channels, 0) << entry.path();
    EXPECT_EQ(layout.packer, nullptr) << entry.path();
    ++count;
  }
  EXPECT_GE(count, 200);
}

// A module a packer rewrote is refused by the packer's name. A module whose title merely starts
// as a packer's mark is read as what it is.
TEST(MODLoader, PackedModulesAreRefusedByName) {
  std::vector<uint8_t> ac1d(3000, 0);
  ac1d[0] = 2;
  ac1d[1] = 0x7F;
  ac1d[2] = 0xAC;
  ac1d[3] = 0x1D;
  LoadFailure failure{};
  EXPECT_EQ(load(ac1d, nullptr, &failure), nullptr);
  EXPECT_STREQ(failure.text, "packed with AC1D Packer: not played");
  std::vector<uint8_t> hornet = writeMOD(constantMOD());
  std::memcpy(hornet.data() + 1080, "HRT!", 4);
  EXPECT_EQ(load(hornet, nullptr, &failure), nullptr);
  EXPECT_STREQ(failure.text, "packed with Hornet Packer: not played");

  MODModuleSpec m = constantMOD();
  m.title = "SNT!";
  ASSERT_NE(load(writeMOD(m)), nullptr) << "the signature says M.K.";
  m.title = "STIMULATION";
  m.signature = "";
  const SongPtr soundTracker = load(writeMOD(m));
  ASSERT_NE(soundTracker, nullptr);
  EXPECT_EQ(soundTracker->instrumentCount, 15);
}

TEST(MODLoader, CutShortPlaysWhatIsThereAndCutBeforeTheSamplesHasNothing) {
  MODModuleSpec m = constantMOD();
  m.patterns[0].at(0, 1, 4) = {kC2, 2, 0, 0};
  const std::vector<uint8_t> image = writeMOD(m);
  const SongPtr samplesCut = load(std::vector<uint8_t>(image.begin(), image.end() - 500));
  ASSERT_NE(samplesCut, nullptr);
  EXPECT_EQ(samplesCut->wholePatterns, 1);
  EXPECT_EQ(samplesCut->wholeInstruments, 30);
  EXPECT_EQ(samplesCut->instruments[1].samples[0]->length, 500u);
  bool refuse = true;
  EXPECT_EQ(damageMessage(*samplesCut, refuse), "ends early: 1 of 1 patterns and 30 of 31 instruments read whole; playing what is there");
  EXPECT_FALSE(refuse);

  const SongPtr patternCut = load(std::vector<uint8_t>(image.begin(), image.begin() + 1084 + 300));
  ASSERT_NE(patternCut, nullptr);
  EXPECT_EQ(patternCut->wholePatterns, 0);
  damageMessage(*patternCut, refuse);
  EXPECT_TRUE(refuse) << "no sample has a frame";
}

TEST(MODLoader, EachFormatPlaysByItsTrackersRulesAndRefusesRulesForTheOther) {
  const std::vector<uint8_t> mod = writeMOD(constantMOD());
  const std::vector<uint8_t> xm = writeXM(constantModule());
  EXPECT_EQ(load(xm)->rules, &ft2::kRules);
  LoadFailure failure{};
  EXPECT_EQ(load(mod, &intro::kRules, &failure), nullptr);
  EXPECT_STREQ(failure.text, "the intro's rules play XM modules only");
  EXPECT_EQ(load(xm, &pt::kRules, &failure), nullptr);
  EXPECT_STREQ(failure.text, "the ProTracker rules play MOD modules only");

  // FastTracker 2 loads a MOD as one-sample instruments in the middle, on the Amiga table.
  MODModuleSpec m = constantMOD();
  m.samples[0].finetune = 7;
  const SongPtr asFT2 = load(writeMOD(m), &ft2::kRules);
  ASSERT_NE(asFT2, nullptr);
  EXPECT_EQ(asFT2->rules, &ft2::kRules);
  const Sample& s = *asFT2->instruments[0].samples[0];
  EXPECT_EQ(s.finetune, 112);
  EXPECT_EQ(s.panning, 128);
  EXPECT_EQ(s.relativeNote, 0);
  EXPECT_EQ(asFT2->instruments[0].noteToSample[48], 0);
}

TEST(MODLoader, RealSongsAllLoad) {
  const std::filesystem::path dir = TESTDATA_DIR "/mod-songs";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no ../shared/testdata/mod-songs beside the repository";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mod") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LoadFailure failure{};
    const SongPtr song = load(bytes, nullptr, &failure);
    EXPECT_NE(song, nullptr) << entry.path() << ": " << failure.text;
    if (!song) continue;
    ++count;
    bool refuse = false;
    EXPECT_EQ(damageMessage(*song, refuse), "") << entry.path();
  }
  EXPECT_GE(count, 100);
}

// Trackers before ProTracker's CIA timing took every Fxx for a speed: a song that would last ten
// minutes or more with its F21 as a tempo of 33, and less with it as a speed, is played so. One
// that is as long either way keeps the tempo.
TEST(MODLoader, FxxFrom32IsASpeedWhereATempoWouldMakeThePassTenMinutesLong) {
  MODModuleSpec m = constantMOD();
  m.patterns.resize(2);
  m.patterns[0].at(0, 0, 4) = {0, 0, 0xF, 0x21};
  m.patterns[0].at(1, 0, 4) = {0, 0, 0xF, 0x06};
  m.orders.assign(21, 1);
  m.orders[0] = 0;
  const SongPtr vblank = load(writeMOD(m));
  ASSERT_NE(vblank, nullptr);
  EXPECT_TRUE(vblank->vblankTiming);
  EXPECT_EQ(OfflineRenderer::passFrames(*vblank, 44100), int64_t{33 + (21 * 64 - 1) * 6} * 882);

  m.patterns[0].at(0, 0, 4) = {0, 0, 0xF, 0x3F};
  m.patterns[0].at(1, 0, 4) = {};
  m.orders.assign(40, 1);
  m.orders[0] = 0;
  const SongPtr tempo = load(writeMOD(m));
  ASSERT_NE(tempo, nullptr);
  EXPECT_FALSE(tempo->vblankTiming) << "F3F as a speed would make it longer still";
}
