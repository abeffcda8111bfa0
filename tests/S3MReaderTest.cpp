#include "SoundLib/xmplay/formats/S3MReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "S3MTestModules.h"
#include "SoundLib/xmplay/rules/RuleSets.h"
#include "SoundLib/xmplay/rules/st3/ST3Rules.h"
#include "players/LoadDamage.h"

namespace {
SongPtr load(const S3MModuleSpec& m, LoadFailure* failure = nullptr) {
  const std::vector<uint8_t> image = writeS3M(m);
  return loadModule(image.data(), image.size(), nullptr, failure);
}

std::string refusal(const S3MModuleSpec& m) {
  LoadFailure failure{};
  EXPECT_EQ(load(m, &failure), nullptr);
  return failure.text;
}
}  // namespace

TEST(S3MReader, TheTrackerFromTheVersionWordAndTheHeadersOwnValues) {
  struct Case {
    uint16_t version;
    uint8_t ultraClick;
    const char* name;
    SavedBy by;
  } cases[] = {
      {0x1320, 16, "Scream Tracker 3.20", SavedBy::kScreamTracker3},
      {0x1301, 8, "Scream Tracker 3.01", SavedBy::kScreamTracker3},
      {0x1320, 0, "ModPlug Tracker", SavedBy::kModPlug},  // its own 3.20, no ultra-click byte
      {0x3216, 16, "Impulse Tracker 2.16", SavedBy::kImpulseTracker},
      {0x4050, 0, "Schism Tracker", SavedBy::kSchismTracker},
      {0x5131, 0, "OpenMPT 1.31", SavedBy::kModPlug},
      {0x2104, 0, "Imago Orpheus 1.04", SavedBy::kImagoOrpheus},
      {0x7000, 0, "unknown tracker 7000", SavedBy::kOther},
  };
  for (const Case& c : cases) {
    S3MModuleSpec m = constantS3M();
    m.version = c.version;
    m.ultraClick = c.ultraClick;
    const SongPtr song = load(m);
    ASSERT_NE(song, nullptr) << c.name;
    EXPECT_STREQ(song->tracker, c.name);
    EXPECT_EQ(song->savedBy, c.by) << c.name;
    EXPECT_EQ(song->rules, &st3::kRules) << "Scream Tracker 3's rules by default";
    EXPECT_EQ(formatName(*song), "S3M");
  }

  S3MModuleSpec m = constantS3M();
  m.title = "a title";
  m.flags = s3m::kAmigaLimits;
  m.speed = 0;   // as 6
  m.tempo = 32;  // below 33: as 125
  m.globalVolume = 80;
  m.masterVolume = 0x30;  // mono, 48
  SongPtr song = load(m);
  ASSERT_NE(song, nullptr);
  EXPECT_STREQ(song->title, "a title");
  EXPECT_EQ(song->headerFlags, s3m::kAmigaLimits);
  EXPECT_EQ(song->defaultSpeed, 6);
  EXPECT_EQ(song->defaultBPM, 125);
  EXPECT_EQ(song->defaultGlobalVolume, 64);
  EXPECT_EQ(song->mixVolume, 48);
  EXPECT_FALSE(song->stereo);
  EXPECT_FALSE(song->gus);
  // Scream Tracker's Ultrasound build writes where the card holds each sample.
  m.samples[0].gusAddress = 0x100;
  EXPECT_TRUE(load(m)->gus);
  m.version = 0x3216;
  EXPECT_FALSE(load(m)->gus) << "only Scream Tracker's own files";
}

TEST(S3MReader, OrdersKeepTheirMarkersAndEndWhereTheSongDoes) {
  S3MModuleSpec m = constantS3M();
  m.patterns.resize(2);
  m.orders = {254, 0, 255, 7, 1, 255, 9, 255};
  SongPtr song = load(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->songLength, 5) << "the ends after the last order left off";
  const uint8_t expected[] = {kOrderSkip, 0, kOrderEnd, kOrderEnd, 1};  // pattern 7 is not there: an end
  for (int i = 0; i < 5; ++i) EXPECT_EQ(song->orders[i], expected[i]) << i;
  EXPECT_EQ(song->usedPatternCount, 2);

  m.orders = {254, 255, 9};
  EXPECT_EQ(refusal(m), "no orders to play");
  m.orders = {0};
  std::fill(std::begin(m.channelSettings), std::end(m.channelSettings), 255);
  EXPECT_EQ(refusal(m), "no channels in use");
  m = constantS3M();
  m.samples.resize(256);
  EXPECT_EQ(refusal(m), "256 samples (at most 255)");
  std::vector<uint8_t> image = writeS3M(constantS3M());
  image[44] = 'X';
  LoadFailure failure{};
  EXPECT_EQ(parseS3M(image.data(), image.size(), st3::kRules.read, &failure), nullptr);
  EXPECT_STREQ(failure.text, "not an S3M module (no \"SCRM\" at offset 44)");
  // Rules for other formats say which they play.
  image = writeS3M(constantS3M());
  EXPECT_EQ(loadModule(image.data(), image.size(), ruleSetNamed("ft2"), &failure), nullptr);
  EXPECT_STREQ(failure.text, "the FastTracker 2 rules play XM and MOD modules only");
}

TEST(S3MReader, ChannelSidesPansAndTheSilentOnes) {
  S3MModuleSpec m = constantS3M();
  const uint8_t settings[] = {0, 8, 0x81, 255, 16, 9};  // L1 R1, L2 disabled, unused, AdLib A1, R2
  std::copy(std::begin(settings), std::end(settings), m.channelSettings);
  SongPtr song = load(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->channelCount, 6) << "up to the last one in use";
  const bool muted[] = {false, false, true, true, true, false};
  const int pans[] = {51, 204, 51, 51, 51, 204};  // 3 and 12 of 15 steps
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(song->channels[c].muted, muted[c]) << c;
    EXPECT_EQ(song->channels[c].panning, pans[c]) << c;
  }
  EXPECT_TRUE(song->channels[5].rightSide);
  EXPECT_FALSE(song->channels[2].rightSide);
  EXPECT_EQ(song->adlibChannels, 1);
  EXPECT_EQ(formatName(*song), "S3M, 1 AdLib channel silent (not synthesised)");
  EXPECT_EQ(silentNote(*song), "1 AdLib channel silent (not synthesised)");

  // Mono puts every channel in the middle, but a pan the file stores counts all the same.
  m.masterVolume = 0x30;
  m.storePans = true;
  m.pans[0] = 0x20 | 15;
  m.pans[1] = 7;  // bit 5 clear: the default
  song = load(m);
  EXPECT_EQ(song->channels[0].panning, 256);
  EXPECT_EQ(song->channels[1].panning, 128);
  EXPECT_EQ(song->channels[5].panning, 128);
}

TEST(S3MReader, SampleFormatsLoopsAndAdLibInstruments) {
  S3MModuleSpec m = constantS3M();
  m.unsignedSamples = false;
  S3MSampleSpec eight;
  eight.sixteenBit = false;
  eight.data = {8000, -8000, 127, 0};
  eight.volume = 70;
  eight.c2spd = 22050;
  eight.loop = true;
  eight.loopStart = 1, eight.loopEnd = 4;
  S3MSampleSpec stereo;
  stereo.stereo = true;
  stereo.data = {100, -100, 200, -200, 300, -300};
  stereo.loop = true;
  stereo.loopStart = stereo.loopEnd = 2;  // no length: no loop
  S3MSampleSpec adlib;
  adlib.type = 2;
  adlib.name = "organ";
  m.samples = {m.samples[0], eight, stereo, adlib};
  for (bool unsignedSamples : {false, true}) {
    m.unsignedSamples = unsignedSamples;
    const SongPtr song = load(m);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->instrumentCount, 4);
    const Sample& a = *song->instruments[1].samples[0];
    EXPECT_EQ(a.storedBits, 8);
    EXPECT_EQ(a.length, 4u);
    EXPECT_EQ(a.data[0], 7936) << "the high byte only";
    EXPECT_EQ(a.data[1], -8192);
    EXPECT_EQ(a.volume, 64);
    EXPECT_EQ(a.c5Speed, 22050u);
    EXPECT_EQ(a.loopMode, kLoopForward);
    EXPECT_EQ(a.loopStart, 1u);
    EXPECT_EQ(a.loopLength, 3u);
    const Sample& b = *song->instruments[2].samples[0];
    EXPECT_TRUE(b.stereo);
    EXPECT_EQ(b.length, 3u);
    const int16_t frames[] = {100, -100, 200, -200, 300, -300};  // left and right side by side
    for (int i = 0; i < 6; ++i) EXPECT_EQ(b.data[i], frames[i]) << i;
    EXPECT_EQ(b.loopMode, kLoopNone);
    const Sample& c = *song->instruments[3].samples[0];
    EXPECT_TRUE(c.adlib);
    EXPECT_EQ(c.length, 0u);
    EXPECT_STREQ(song->instruments[3].name, "organ");
  }
}

TEST(S3MReader, PackedRowsAsNotesVolumesAndLetters) {
  S3MModuleSpec m = constantS3M();
  put(m, 0, {0, kC4, 1, 40, 1, 3});         // C-4, instrument 1, volume 40, A03
  put(m, 0, {0, 0x4B, 1, -1, 0, 0});        // the channel again on the row: B-4 over C-4
  put(m, 1, {1, 0x4B, 0, 65, 8, 0x40});     // B-4; a volume above 64 is 64
  put(m, 2, {0, -1, 0, 160, 0, 0});         // 128 to 192: a pan
  put(m, 1, {2, -1, 0, -1, 'T', 0x96});     // T96 stored as the letter's character
  put(m, 2, {2, 254, 0, -1, 0, 0});         // ^^, the cut
  put(m, 3, {3, 0xA5, 0, 0, 19, 0xD2});     // past B-9: B-9; volume 0
  put(m, 3, {1, 0x2E, 0, -1, 0, 0});        // octave 2, semitone 14: D-3
  put(m, 3, {2, 0xF3, 0, -1, 0, 0});        // no note
  put(m, 4, {12, kC4, 1, 64, 0, 0});        // past the song's channels: dropped
  put(m, 63, {0, 0x10, 0, -1, 0, 0});       // the last row
  const SongPtr song = load(m);
  ASSERT_NE(song, nullptr);
  const Pattern& p = song->patterns[0];
  ASSERT_EQ(p.rows, 64);
  auto at = [&](int row, int ch) { return p.notes[row * song->channelCount + ch]; };
  EXPECT_EQ(at(0, 0).note, 60) << "the last cell's note, the first one's volume and command";
  EXPECT_EQ(at(0, 0).instrument, 1);
  EXPECT_EQ(at(0, 0).volume, 0x10 + 40);
  EXPECT_EQ(at(0, 0).effect, 1);
  EXPECT_EQ(at(0, 0).parameter, 3);
  EXPECT_EQ(at(1, 1).note, 60);
  EXPECT_EQ(at(1, 1).volume, 0x10 + 64);
  EXPECT_EQ(at(2, 0).volume, 160);
  EXPECT_EQ(at(1, 1).effect, 8);
  EXPECT_EQ(at(1, 2).effect, 20);
  EXPECT_EQ(at(1, 2).parameter, 0x96);
  EXPECT_EQ(at(2, 2).note, kNoteCut);
  EXPECT_EQ(at(3, 3).note, 120);
  EXPECT_EQ(at(3, 1).note, 3 * 12 + 2 + 1);
  EXPECT_EQ(at(3, 2).note, 0);
  EXPECT_EQ(at(3, 3).volume, 0x10);
  EXPECT_EQ(at(3, 3).effect, 19);
  for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(at(4, ch).note, 0) << ch;
  EXPECT_EQ(at(63, 0).note, 13);
  // A channel the header disables keeps no cells: they neither sound nor steer the song.
  m.channelSettings[2] |= 0x80;
  const SongPtr disabled = load(m);
  ASSERT_NE(disabled, nullptr);
  EXPECT_EQ(disabled->patterns[0].notes[2 * disabled->channelCount + 2].note, 0);
  EXPECT_EQ(disabled->patterns[0].notes[1 * disabled->channelCount + 2].effect, 0);
  EXPECT_TRUE(disabled->channels[2].muted);
}

TEST(S3MReader, AFileCutShortPlaysWhatItHolds) {
  S3MModuleSpec m = constantS3M();
  put(m, 0, {0, kC4, 1, -1, 0, 0});
  const std::vector<uint8_t> image = writeS3M(m);
  // The sample's data is the file's last part: half of it is half the sample.
  const size_t cut = image.size() - 2000;
  SongPtr song = loadModule(image.data(), cut, nullptr, nullptr);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->instruments[0].samples[0]->length, 1000u);
  EXPECT_FALSE(song->instruments[0].whole);
  bool refuse = false;
  EXPECT_EQ(damageMessage(*song, refuse), "ends early: 1 of 1 patterns and 0 of 1 instruments read whole; playing what is there");
  EXPECT_FALSE(refuse);
  // Cut before any of the data: nothing to play.
  song = loadModule(image.data(), image.size() - 4000, nullptr, nullptr);
  ASSERT_NE(song, nullptr);
  damageMessage(*song, refuse);
  EXPECT_TRUE(refuse);
  // Every shorter cut loads or is refused with a reason.
  for (size_t size = 0; size < image.size(); size += 7) {
    LoadFailure failure{};
    if (!loadModule(image.data(), size, nullptr, &failure)) {
      EXPECT_NE(failure.text[0], 0) << size;
    }
  }
}
