#include "SoundLib/xmplay/output/StreamLoad.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "TempDir.h"
#include "XMTestModules.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace {
XMModuleSpec eightPatterns() {
  XMModuleSpec m;
  m.channels = 4;
  m.patterns.resize(8);
  for (auto& p : m.patterns) p.rows = 64;
  m.orders = {0, 1, 9, 7};
  return m;
}

XMSampleSpec sampleOf(std::vector<int16_t> data, uint8_t loopType, uint32_t loopStart, uint32_t loopLength,
                      bool sixteen = false) {
  XMSampleSpec s;
  s.data = std::move(data);
  s.loopType = loopType;
  s.loopStart = loopStart;
  s.loopLength = loopLength;
  s.sixteenBit = sixteen;
  return s;
}

XMModuleSpec withSample(const XMSampleSpec& sample) {
  XMModuleSpec m;
  m.channels = 2;
  m.patterns.resize(1);
  XMInstrumentSpec ins;
  ins.samples.push_back(sample);
  m.instruments.push_back(ins);
  return m;
}

const Sample& firstSample(const Song& song) { return *song.instruments[0].samples[0]; }
}  // namespace

TEST(XMLoader, HeaderFieldsAndOrderTable) {
  XMModuleSpec m = eightPatterns();
  m.restartPosition = 2;
  m.speed = 3;
  m.bpm = 140;
  m.flags = 1;
  LoadedSong loaded(m, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Song& s = *loaded.song;
  EXPECT_EQ(s.songLength, 4);
  EXPECT_EQ(s.restartPosition, 2);
  EXPECT_EQ(s.channelCount, 4);
  EXPECT_EQ(s.defaultSpeed, 3);
  EXPECT_EQ(s.defaultBPM, 140);
  EXPECT_EQ(s.flags, 1);
  EXPECT_EQ(s.defaultGlobalVolume, 64);
  EXPECT_EQ(s.orders[2], 9);
  EXPECT_EQ(s.tickFunction, &intro::tickDriver);
}

TEST(XMLoader, OrderNamingPattern9Of8GivesTenPatternsTheLastTwoEmpty) {
  LoadedSong loaded(eightPatterns(), intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Song& s = *loaded.song;
  EXPECT_EQ(s.usedPatternCount, 10);
  EXPECT_EQ(s.allocatedPatternCount, 10);
  for (int p : {8, 9}) {
    EXPECT_EQ(s.patterns[p].rows, 64);
    for (int i = 0; i < 64 * 4; ++i) EXPECT_EQ(s.patterns[p].notes[i].note, 0);
  }
}

TEST(XMLoader, UsedCountBelowFileCountKeepsEveryFilePattern) {
  XMModuleSpec m = eightPatterns();
  m.orders = {0, 2};
  LoadedSong loaded(m, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(loaded.song->usedPatternCount, 3);
  EXPECT_EQ(loaded.song->allocatedPatternCount, 8);
}

TEST(XMLoader, PackedNotesUnpack) {
  XMModuleSpec m;
  m.channels = 3;
  m.patterns.resize(1);
  m.patterns[0].rows = 2;
  m.patterns[0].at(0, 0, 3) = {49, 1, 0x40, 0x3, 0x20};  // all five: stored plain
  m.patterns[0].at(0, 2, 3) = {97, 0, 0, 0, 0};          // key off
  m.patterns[0].at(1, 1, 3) = {0, 0, 0, 0xB, 0x02};
  LoadedSong loaded(m, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Note* n = loaded.song->patterns[0].notes;
  EXPECT_EQ(n[0].note, 49);
  EXPECT_EQ(n[0].instrument, 1);
  EXPECT_EQ(n[0].volume, 0x40);
  EXPECT_EQ(n[0].effect, 3);
  EXPECT_EQ(n[0].parameter, 0x20);
  EXPECT_EQ(n[1].note, 0);  // 0x80 alone: empty
  EXPECT_EQ(n[2].note, kKeyOff);
  EXPECT_EQ(n[4].effect, 0xB);
  EXPECT_EQ(n[4].parameter, 2);
}

TEST(XMLoader, HandPackedBytes) {
  // Header for one pattern of one row, three channels, packed by hand.
  XMModuleSpec m;
  m.channels = 3;
  m.patterns.resize(1);
  m.patterns[0].rows = 1;
  std::vector<uint8_t> image = writeXM(m);
  const uint8_t packed[] = {0x80, 97, 1, 0, 0, 0, 0x83, 200, 129};
  image[60 + 276 + 7] = sizeof packed;
  image.insert(image.end(), packed, packed + sizeof packed);
  LoadedSong loaded(image, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Note* n = loaded.song->patterns[0].notes;
  EXPECT_EQ(n[0].note, 0);
  EXPECT_EQ(n[1].note, kKeyOff) << "plain note 97";
  EXPECT_EQ(n[1].instrument, 1);
  EXPECT_EQ(n[2].note, 0) << "notes above 97 name nothing";
  EXPECT_EQ(n[2].instrument, 0) << "instruments above 128 become 0";
}

TEST(XMLoader, RawNote255IsKeyOff) {
  XMModuleSpec m;
  m.channels = 2;
  m.patterns.resize(1);
  m.patterns[0].rows = 1;
  std::vector<uint8_t> image = writeXM(m);
  const uint8_t packed[] = {0x81, 255, 0x81, 254};
  image[60 + 276 + 7] = sizeof packed;
  image.insert(image.end(), packed, packed + sizeof packed);
  LoadedSong loaded(image, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(loaded.song->patterns[0].notes[0].note, kKeyOff);
  EXPECT_EQ(loaded.song->patterns[0].notes[1].note, 0);
}

// A pattern of 0 rows has no notes, even with a packed size: the next header follows at once.
// It plays as one empty row.
TEST(XMLoader, ZeroRowPatternReadsNoNotesThenGetsOneEmptyRow) {
  XMModuleSpec m;
  m.channels = 2;
  m.patterns.resize(2);
  m.patterns[0].rows = 0;
  m.patterns[1].rows = 2;
  m.patterns[1].at(1, 1, 2) = {49, 1, 0, 0, 0};
  m.orders = {0, 1};
  std::vector<uint8_t> image = writeXM(m);
  image[60 + 276 + 7] = 10;  // the 0-row pattern's packed size
  LoadedSong loaded(image, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(loaded.song->patterns[0].rows, 1);
  EXPECT_EQ(loaded.song->patterns[0].notes[0].note, 0);
  EXPECT_EQ(loaded.song->patterns[0].notes[1].note, 0);
  ASSERT_EQ(loaded.song->patterns[1].rows, 2);
  EXPECT_EQ(loaded.song->patterns[1].notes[3].note, 49);
}

TEST(XMLoader, EightBitSamplesDeltaDecodeToHighBytes) {
  LoadedSong loaded(withSample(sampleOf({0, 1, -1, 127, -128, 5}, 0, 0, 0)), intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& s = firstSample(*loaded.song);
  EXPECT_EQ(s.bits, 16);
  EXPECT_EQ(s.length, 6u);
  EXPECT_EQ(s.loopMode, kLoopNone);
  EXPECT_EQ(s.loopStart, 0u);
  EXPECT_EQ(s.loopLength, 6u);
  const int16_t expected[] = {0, 256, -256, 32512, -32768, 1280, 0};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(s.data[i], expected[i]) << i;
}

TEST(XMLoader, SixteenBitSampleOf1000BytesIs500Frames) {
  std::vector<int16_t> data(500);
  for (int i = 0; i < 500; ++i) data[i] = static_cast<int16_t>(i * 60 - 15000);
  LoadedSong loaded(withSample(sampleOf(data, 1, 100, 50, true)), intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& s = firstSample(*loaded.song);
  EXPECT_EQ(s.length, 500u);
  EXPECT_EQ(s.loopStart, 100u);
  EXPECT_EQ(s.loopLength, 50u);
  EXPECT_EQ(s.data[499], 499 * 60 - 15000);
  EXPECT_EQ(s.data[150], s.data[100]) << "forward guard repeats the loop start";
}

TEST(XMLoader, TypeBitsAndLoops) {
  std::vector<int16_t> ramp(40);
  for (int i = 0; i < 40; ++i) ramp[i] = static_cast<int16_t>(i);
  {
    LoadedSong loaded(withSample(sampleOf(ramp, 3, 10, 20)), intro::kRules);
    const Sample& s = firstSample(*loaded.song);
    EXPECT_EQ(s.loopMode, kLoopPingPong) << "both bits: ping-pong wins";
    EXPECT_EQ(s.data[30], s.data[29]) << "ping-pong guard repeats the last loop frame";
  }
  {
    LoadedSong loaded(withSample(sampleOf(ramp, 1, 10, 0)), intro::kRules);
    const Sample& s = firstSample(*loaded.song);
    EXPECT_EQ(s.loopMode, kLoopNone) << "a forward loop of length 0 is no loop";
    EXPECT_EQ(s.loopStart, 0u);
    EXPECT_EQ(s.loopLength, 40u);
    EXPECT_EQ(s.data[40], 0) << "no guard written without a loop";
  }
  {
    LoadedSong loaded(withSample(sampleOf(ramp, 1, 30, 25)), intro::kRules);
    const Sample& s = firstSample(*loaded.song);
    EXPECT_EQ(s.loopMode, kLoopForward);
    EXPECT_EQ(s.loopStart, 30u);
    EXPECT_EQ(s.loopLength, 10u) << "a loop past the end is cut at the end";
    EXPECT_EQ(s.data[40], s.data[30]);
  }
  {
    // The FastTracker 2 rules repeat a short forward loop for the mixer up to 1024 frames and
    // more (here 52 x 20 = 1040), the guard after the last copy; the intro's leave it as it is.
    LoadedSong loaded(withSample(sampleOf(ramp, 1, 10, 20)), ft2::kRules);
    const Sample& s = firstSample(*loaded.song);
    EXPECT_EQ(s.loopLength, 20u);
    EXPECT_EQ(s.mixLoopLength, 1040u);
    EXPECT_EQ(s.data[30], s.data[10]);
    EXPECT_EQ(s.data[1049], s.data[29]);
    EXPECT_EQ(s.data[1050], s.data[10]);
    EXPECT_NE(s.data[29], s.data[10]);
    LoadedSong intro(withSample(sampleOf(ramp, 1, 10, 20)), intro::kRules);
    EXPECT_EQ(firstSample(*intro.song).mixLoopLength, 20u);
  }
  {
    LoadedSong loaded(withSample(sampleOf(ramp, 2, 50, 25)), intro::kRules);
    const Sample& s = firstSample(*loaded.song);
    EXPECT_EQ(s.loopMode, kLoopNone) << "a loop wholly past the end is no loop";
    EXPECT_EQ(s.loopLength, 40u);
  }
}

TEST(XMLoader, InstrumentsWithoutSamplesAndUnusedSlots) {
  XMModuleSpec m = withSample(sampleOf({1, 2, 3}, 0, 0, 0));
  m.instruments.insert(m.instruments.begin(), XMInstrumentSpec{});
  LoadedSong loaded(m, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Instrument& empty = loaded.song->instruments[0];
  EXPECT_EQ(empty.sampleCount, 0);
  for (const Sample* s : empty.samples) EXPECT_EQ(s, &emptySample);
  const Instrument& one = loaded.song->instruments[1];
  EXPECT_EQ(one.sampleCount, 1);
  EXPECT_NE(one.samples[0], &emptySample);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(one.samples[i], &emptySample);
}

TEST(XMLoader, FadeoutIsStoredDoubled) {
  XMModuleSpec m = withSample(sampleOf({1}, 0, 0, 0));
  m.instruments[0].fadeout = 40000;
  LoadedSong loaded(m, intro::kRules);
  EXPECT_EQ(loaded.song->instruments[0].fadeout, 80000u);
}

TEST(XMLoader, RejectsWhatItCannotPlay) {
  auto rejected = [](const XMModuleSpec& m) {
    LoadedSong loaded(m, intro::kRules);
    return loaded.song == nullptr;
  };
  XMModuleSpec m = withSample(sampleOf({1}, 0, 0, 0));
  m.channels = 33;
  EXPECT_TRUE(rejected(m)) << "more than 32 channels";
  m.channels = 0;
  EXPECT_TRUE(rejected(m)) << "no channels";
  m.channels = 2;
  m.orders.clear();
  EXPECT_TRUE(rejected(m)) << "no orders";
  m.orders = {0};
  m.instruments[0].samples.resize(17, m.instruments[0].samples[0]);
  EXPECT_TRUE(rejected(m)) << "17 samples";
  m.instruments[0].samples.resize(16);
  EXPECT_FALSE(rejected(m)) << "16 samples";
  m.patterns[0].rows = 257;
  EXPECT_TRUE(rejected(m)) << "257 rows";

  std::vector<uint8_t> image = writeXM(withSample(sampleOf({1}, 0, 0, 0)));
  image[9] = 'x';
  LoadedSong wrongId(image, intro::kRules);
  EXPECT_EQ(wrongId.song, nullptr);
}

TEST(XMLoader, RestartBeyondTheSongAndZeroTempoAreSettled) {
  XMModuleSpec m = withSample(sampleOf({1}, 0, 0, 0));
  m.restartPosition = 5;
  m.speed = 0;
  m.bpm = 0;
  LoadedSong loaded(m, intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(loaded.song->restartPosition, 0);
  EXPECT_EQ(loaded.song->defaultSpeed, 6);
  EXPECT_EQ(loaded.song->defaultBPM, 125);
}

TEST(XMLoader, SampleLengthBeyondTheImageIsCutToTheData) {
  XMSampleSpec s = sampleOf({10, 10, 10, 10}, 1, 0, 4);
  s.lengthOverride = 0x7FFFFFF0;
  LoadedSong loaded(withSample(s), intro::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& sample = firstSample(*loaded.song);
  EXPECT_EQ(sample.length, 4u);
  EXPECT_EQ(sample.data[3], 10 * 256);
}

class XMLoaderBothRules : public ::testing::TestWithParam<const RuleSet*> {};
INSTANTIATE_TEST_SUITE_P(RuleSets, XMLoaderBothRules, ::testing::Values(&intro::kRules, &ft2::kRules));

TEST_P(XMLoaderBothRules, EveryTruncationLoadsOrIsRejectedCleanly) {
  XMModuleSpec m = eightPatterns();
  m.patterns[0].at(0, 0, 4) = {49, 1, 0, 0, 0};
  m.instruments.push_back(withSample(sampleOf(std::vector<int16_t>(300, 7), 1, 10, 100)).instruments[0]);
  m.instruments.push_back(withSample(sampleOf(std::vector<int16_t>(200, -3), 2, 0, 50, true)).instruments[0]);
  const std::vector<uint8_t> whole = writeXM(m);
  for (size_t size = 0; size <= whole.size(); size += (size < 400 ? 1 : 7)) {
    // An exact-size copy, so reading past the cut would be caught by the sanitizers.
    LoadedSong loaded(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)), *GetParam());
    if (size < 17) {
      EXPECT_EQ(loaded.song, nullptr);
    }
    if (!loaded.song) continue;
    OfflineRenderer renderer(*loaded.song, 44100);
    renderer.render(4410);
  }
}

// What a file cut short held whole, for the players' warning: the patterns and instruments
// before the cut; the one it cuts is not.
TEST_P(XMLoaderBothRules, CutShortCountsThePatternsAndInstrumentsHeldWhole) {
  XMModuleSpec m = eightPatterns();
  for (auto& p : m.patterns) p.at(0, 0, 4) = {49, 1, 0, 0, 0};
  m.instruments.push_back(withSample(sampleOf(std::vector<int16_t>(300, 7), 1, 10, 100)).instruments[0]);
  XMModuleSpec patternsOnly = m;
  patternsOnly.instruments.clear();
  const size_t instrumentsAt = writeXM(patternsOnly).size();
  const std::vector<uint8_t> whole = writeXM(m);
  const std::pair<size_t, std::pair<int, int>> cuts[] = {
      {whole.size(), {8, 1}}, {whole.size() - 1, {8, 0}}, {instrumentsAt + 10, {8, 0}}, {336 + 9 + 1, {0, 0}}};
  for (const auto& [size, counts] : cuts) {
    LoadedSong loaded(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)), *GetParam());
    ASSERT_NE(loaded.song, nullptr) << size;
    EXPECT_EQ(loaded.song->filePatternCount, 8);
    EXPECT_EQ(loaded.song->instrumentCount, 1);
    EXPECT_EQ(std::pair(loaded.song->wholePatterns, loaded.song->wholeInstruments), counts) << size;
  }
}

TEST(XMLoader, ReleaseOfNoSongIsFalse) { EXPECT_FALSE(releaseSong(nullptr)); }

TEST_P(XMLoaderBothRules, ModulesFromElsewhereLoadOrAreRejectedAndRenderTenSeconds) {
  const std::filesystem::path dir = TESTDATA_DIR "/xm";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no ../shared/testdata/xm beside the repository";
  int loadedCount = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".xm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LoadedSong loaded(bytes, *GetParam());
    // Every real song plays by the FastTracker 2 rules.
    if (GetParam() == &ft2::kRules && entry.path().filename().string().rfind("song_", 0) == 0) {
      EXPECT_NE(loaded.song, nullptr) << entry.path();
    }
    if (!loaded.song) continue;
    ++loadedCount;
    OfflineRenderer renderer(*loaded.song, 44100);
    const std::vector<int16_t> frames = renderer.render(441000);
    EXPECT_EQ(frames.size(), 882000u) << entry.path();
  }
  EXPECT_GE(loadedCount, 15);
}

// Layouts other writers use, read under the FastTracker 2 rules.
namespace {
XMModuleSpec layoutModule() {
  XMModuleSpec m;
  m.channels = 2;
  m.orders = {0, 1};
  m.patterns.resize(2);
  m.patterns[0].rows = 3;
  m.patterns[1].rows = 5;
  m.patterns[0].at(1, 1, 2) = {50, 2, 0x30, 0xA, 0x0F};
  m.patterns[1].at(4, 0, 2) = {97, 0, 0, 0, 0};
  m.instruments.push_back(withSample(sampleOf({1, 2, 3, 4}, 0, 0, 0)).instruments[0]);
  m.instruments.push_back(withSample(sampleOf({-500, 700, 900}, 1, 1, 2, true)).instruments[0]);
  return m;
}

void expectLayoutModule(const Song* song) {
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->orders[1], 1);
  ASSERT_EQ(song->patterns[1].rows, 5);
  const Note& n = song->patterns[0].notes[1 * 2 + 1];
  EXPECT_EQ(n.note, 50);
  EXPECT_EQ(n.instrument, 2);
  EXPECT_EQ(n.volume, 0x30);
  EXPECT_EQ(n.parameter, 0x0F);
  EXPECT_EQ(song->patterns[1].notes[4 * 2].note, kKeyOff);
  const Sample& a = *song->instruments[0].samples[0];
  const Sample& b = *song->instruments[1].samples[0];
  EXPECT_EQ(a.data[3], 4 * 256);
  ASSERT_EQ(b.length, 3u);
  EXPECT_EQ(b.data[2], 900);
  EXPECT_EQ(b.loopStart, 1u);
}
}  // namespace

TEST(XMLoaderAsStored, HeaderAndPatternHeaderSizesAsTheFileGivesThem) {
  XMModuleSpec m = layoutModule();
  m.headerOrders = 2;  // only the orders used
  m.patternHeaderLength = 12;
  m.sampleHeaderSize = 44;
  LoadedSong loaded(m, ft2::kRules);
  expectLayoutModule(loaded.song);
  EXPECT_EQ(loaded.song->orders[2], 0) << "the rest of the table is empty";
}

TEST(XMLoaderAsStored, OlderLayoutsKeepInstrumentsFirstAndSampleDataLast) {
  for (uint16_t version : {0x0102, 0x0103}) {
    XMModuleSpec m = layoutModule();
    m.version = version;
    LoadedSong loaded(m, ft2::kRules);
    expectLayoutModule(loaded.song);
  }
}

TEST(XMLoaderAsStored, MoreThan16SamplesUpTo32AreKept) {
  XMModuleSpec m = withSample(sampleOf({1}, 0, 0, 0));
  XMInstrumentSpec& many = m.instruments[0];
  many.samples.clear();
  for (int k = 0; k < 40; ++k) many.samples.push_back(sampleOf({static_cast<int16_t>(k), 0}, 0, 0, 0));
  many.noteToSample[0] = 31;
  m.instruments.push_back(withSample(sampleOf({9, 9, 9}, 0, 0, 0)).instruments[0]);
  EXPECT_EQ(LoadedSong(m, intro::kRules).song, nullptr) << "the intro's rules keep FastTracker 2's 16";
  LoadedSong loaded(m, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Instrument& ins = loaded.song->instruments[0];
  EXPECT_EQ(ins.sampleCount, 32);
  EXPECT_EQ(ins.samples[31]->data[0], 31 * 256);
  EXPECT_EQ(loaded.song->instruments[1].samples[0]->data[2], 9 * 256) << "the dropped samples' data is skipped";
}

TEST(XMLoaderAsStored, ADPCMSamples) {
  XMSampleSpec s = sampleOf({0, 0, 0, 0}, 0, 0, 0);
  s.reserved = 0xAD;
  // Sixteen signed steps, then two a byte, the low nibble first.
  s.stored = {0, 1, 2, 4, 8, 16, 32, 64, 0xFF, 0xFE, 0xFC, 0xF8, 0xF0, 0xE0, 0xC0, 0x80, 0x21, 0x98};
  LoadedSong loaded(withSample(s), ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& sample = firstSample(*loaded.song);
  ASSERT_EQ(sample.length, 4u);
  EXPECT_EQ(sample.data[0], 1 * 256);
  EXPECT_EQ(sample.data[1], 3 * 256);
  EXPECT_EQ(sample.data[2], 2 * 256);
  EXPECT_EQ(sample.data[3], 0);
}

TEST(XMLoaderAsStored, TwoChannelSamplesAreMixedToOne) {
  XMSampleSpec s = sampleOf({100, 200, -4000}, 1, 1, 2, true);
  s.right = {300, -200, -4000};
  XMModuleSpec m = withSample(s);
  m.instruments.push_back(withSample(sampleOf({5}, 0, 0, 0)).instruments[0]);
  LoadedSong loaded(m, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  const Sample& sample = firstSample(*loaded.song);
  ASSERT_EQ(sample.length, 3u);
  EXPECT_EQ(sample.loopStart, 1u);
  EXPECT_EQ(sample.loopLength, 2u);
  EXPECT_EQ(sample.data[0], 200);
  EXPECT_EQ(sample.data[1], 0);
  EXPECT_EQ(sample.data[2], -4000);
  EXPECT_EQ(loaded.song->instruments[1].samples[0]->data[0], 5 * 256);
}
