// The IT reader: the header, the tracker's name, orders, the message and macros, instruments in
// both layouts and sample mode's, sample formats, compressed data (streams worked out by hand,
// round trips of the writer's compression, faults), packed patterns, files cut short, and every
// IT song and test module of ../shared/testdata.
#include "SoundLib/xmplay/formats/ITReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ITTestModules.h"
#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/formats/ITSamples.h"
#include "players/LoadDamage.h"

namespace {
std::string refusal(const ITModuleSpec& m, const ReadOptions& options = plainITOptions()) {
  LoadFailure failure{};
  EXPECT_EQ(readIT(m, &failure, options), nullptr);
  return failure.text;
}

const Note& at(const Song& song, int pattern, int row, int channel) {
  return song.patterns[pattern].notes[row * song.channelCount + channel];
}

// Where sample i's data starts in an image writeIT made.
uint32_t sampleDataAt(const std::vector<uint8_t>& image, const ITModuleSpec& m, size_t i) {
  const size_t pointers = 0xC0 + m.orders.size() + 4 * m.instruments.size();
  return le32(image.data() + le32(image.data() + pointers + 4 * i) + 0x48);
}

// Values that wander over the whole range, as a tracker's recordings do: a slow wave with noise.
std::vector<int16_t> wandering(size_t count, uint32_t seed) {
  std::vector<int16_t> v(count);
  int level = 0;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int step = static_cast<int>(seed >> 20) - 2048;  // -2048..2047
    // Some stretches quiet, some loud, so that the stream's width moves both ways.
    const int scale = (i / 3000) % 3 == 0 ? 1 : (i / 3000) % 3 == 1 ? 4 : 16;
    level = std::clamp(level + step * scale / 4, -32768, 32767);
    v[i] = static_cast<int16_t>(level);
  }
  return v;
}
}  // namespace

TEST(ITReader, TheHeaderAsStored) {
  ITModuleSpec m = constantIT();
  m.title = "a title";
  m.rowsPerBeat = 3;
  m.rowsPerMeasure = 12;
  m.flags = it::kStereo | it::kLinearSlides | it::kOldEffects | it::kCompatibleGxx;
  m.globalVolume = 200;  // above 128: as 128
  m.mixVolume = 100;
  m.speed = 0;   // as 6
  m.tempo = 30;  // below 31: as 125
  m.separation = 64;
  m.pitchWheelDepth = 12;
  const uint8_t pans[] = {0, 32, 64, 100, 0x80 | 16, 70};  // left, middle, right, surround, off, beyond the right
  std::copy(std::begin(pans), std::end(pans), m.channelPan);
  m.channelVolume[0] = 80;  // above 64: as 64
  m.channelVolume[1] = 17;
  SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->format, &it::kFormat);
  EXPECT_STREQ(song->title, "a title");
  EXPECT_EQ(song->rowsPerBeat, 3);
  EXPECT_EQ(song->rowsPerMeasure, 12);
  EXPECT_EQ(song->version, 0x0214);
  EXPECT_EQ(song->compatibleVersion, 0x0214);
  EXPECT_EQ(song->headerFlags, m.flags);
  EXPECT_EQ(song->headerSpecial, it::kHighlight) << "no history, macros or message written";
  EXPECT_TRUE(linearTable(*song));
  EXPECT_TRUE(song->stereo);
  EXPECT_EQ(song->defaultGlobalVolume, 128);
  EXPECT_EQ(song->mixVolume, 100);
  EXPECT_EQ(song->defaultSpeed, 6);
  EXPECT_EQ(song->defaultBPM, 125);
  EXPECT_EQ(song->panSeparation, 64);
  EXPECT_EQ(song->pitchWheelDepth, 12);
  const int16_t panning[] = {0, 128, 256, 128, 64, 256};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(song->channels[c].panning, panning[c]) << c;
  EXPECT_TRUE(song->channels[3].surround);
  EXPECT_FALSE(song->channels[2].surround);
  EXPECT_TRUE(song->channels[4].muted);
  EXPECT_FALSE(song->channels[5].muted);
  EXPECT_EQ(song->channels[0].volume, 64);
  EXPECT_EQ(song->channels[1].volume, 17);
  EXPECT_EQ(it::kFormat.describe(*song), "IT 2.14");
  EXPECT_STREQ(it::kFormat.name, "IT");
  EXPECT_STREQ(it::kFormat.defaultRules, "it");

  m = constantIT();
  m.flags = 0;  // mono, the Amiga table
  m.tempo = 250;
  m.compatibleWith = 0x0100;
  ReadOptions slow = plainITOptions();
  slow.maxBPM = 200;
  song = readIT(m, nullptr, slow);
  ASSERT_NE(song, nullptr);
  EXPECT_FALSE(song->stereo);
  EXPECT_FALSE(linearTable(*song));
  EXPECT_EQ(song->defaultBPM, 200) << "the rules' largest tempo";
  EXPECT_EQ(it::kFormat.describe(*song), "IT 1.00");
}

TEST(ITReader, TheTrackerFromTheVersionWords) {
  struct Case {
    uint16_t created, compatible;
    uint32_t reserved;
    const char* name;
    SavedBy by;
  } cases[] = {
      {0x0214, 0x0214, 0xE419D69E, "Impulse Tracker 2.14", SavedBy::kImpulseTracker},
      {0x0106, 0x0100, 0, "Impulse Tracker 1.06", SavedBy::kImpulseTracker},
      {0x0215, 0x0214, 0xE40C6886, "Impulse Tracker 2.14p1", SavedBy::kImpulseTracker},
      {0x0217, 0x0214, 0xE41F489E, "Impulse Tracker 2.14p3", SavedBy::kImpulseTracker},
      {0x0217, 0x0215, 0xE41C5F46, "Impulse Tracker 2.15", SavedBy::kImpulseTracker},
      {0x0217, 0x0200, 0, "ModPlug Tracker", SavedBy::kModPlug},  // Impulse Tracker's words, nothing reserved
      {0x0214, 0x0202, 0, "ModPlug Tracker", SavedBy::kModPlug},
      {0x0217, 0x0200, 0xE4000000, "Impulse Tracker 2.14p3", SavedBy::kImpulseTracker},
      {0x0888, 0x0888, 0, "OpenMPT 1.17", SavedBy::kModPlug},
      {0x5129, 0x0214, 0x54504D4F, "OpenMPT 1.29", SavedBy::kModPlug},
      {0x1020, 0x0214, 0, "Schism Tracker 0.20", SavedBy::kSchismTracker},
      {0x136C, 0x0214, 0, "Schism Tracker", SavedBy::kSchismTracker},
      {0x0214, 0x0214, 0x49424843, "ChibiTracker", SavedBy::kOther},
      {0x7123, 0x0214, 0, "unknown tracker 7123", SavedBy::kOther},
  };
  for (const Case& c : cases) {
    ITModuleSpec m = constantIT();
    m.createdWith = c.created;
    m.compatibleWith = c.compatible;
    m.reserved = c.reserved;
    const SongPtr song = readIT(m);
    ASSERT_NE(song, nullptr) << c.name;
    EXPECT_STREQ(song->tracker, c.name);
    EXPECT_EQ(song->savedBy, c.by) << c.name;
  }
}

TEST(ITReader, OrdersKeepTheirMarkersAndEndWhereTheSongDoes) {
  ITModuleSpec m = constantIT();
  m.patterns.resize(2);
  m.orders = {254, 0, 255, 7, 1, 255, 9, 255};
  SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->songLength, 5) << "the ends after the last order left off";
  const uint8_t expected[] = {kOrderSkip, 0, kOrderEnd, kOrderEnd, 1};  // pattern 7 is not there: an end
  for (int i = 0; i < 5; ++i) EXPECT_EQ(song->orders[i], expected[i]) << i;
  EXPECT_EQ(song->usedPatternCount, 2);
  EXPECT_EQ(song->filePatternCount, 2);

  m.orders = {254, 255, 9};
  EXPECT_EQ(refusal(m), "no orders to play");
  m.orders = {};
  EXPECT_EQ(refusal(m), "no orders to play");
}

TEST(ITReader, BadHeadersAreRefusedInOneLine) {
  std::vector<uint8_t> image = writeIT(constantIT());
  LoadFailure failure{};
  image[0] = 'X';
  EXPECT_EQ(readIT(image, &failure), nullptr);
  EXPECT_STREQ(failure.text, "not an IT module (no \"IMPM\" at its start)");
  EXPECT_FALSE(it::kFormat.recognise(image.data(), image.size()));
  image[0] = 'I';
  EXPECT_TRUE(it::kFormat.recognise(image.data(), image.size()));
  EXPECT_FALSE(it::kFormat.recognise(image.data(), 0xBF)) << "the header cut short";
  EXPECT_EQ(readIT(std::vector<uint8_t>(image.begin(), image.begin() + 100), &failure), nullptr);
  EXPECT_STREQ(failure.text, "not an IT module (no \"IMPM\" at its start)");

  ITModuleSpec m = constantIT();
  m.patterns.resize(257);
  EXPECT_EQ(refusal(m), "257 patterns (at most 256)");
  m = constantIT();
  m.samples.resize(256);
  EXPECT_EQ(refusal(m), "256 samples (at most 255)") << "sample mode: an instrument a sample";
  m.flags |= it::kInstruments;
  EXPECT_NE(readIT(m), nullptr) << "instruments name up to 4000 samples";
  m.instruments.resize(256);
  EXPECT_EQ(refusal(m), "256 instruments (at most 255)");
  m = constantIT();
  m.patterns[0].rows.resize(201);
  ReadOptions options = plainITOptions();
  options.maxRows = 200;
  EXPECT_EQ(refusal(m, options), "pattern 0 has 201 rows (at most 200)");
  m.patterns[0].rows.resize(200);
  EXPECT_NE(readIT(m, nullptr, options), nullptr);
}

TEST(ITReader, TheMessageAndTheMidiMacros) {
  ITModuleSpec m = constantIT();
  m.message = "first line\nsecond line\n";
  SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->headerSpecial & it::kMessage, it::kMessage);
  EXPECT_EQ(song->message, "first line\nsecond line\n") << "carriage returns as line breaks";
  EXPECT_FALSE(song->macros.embedded);
  EXPECT_STREQ(song->macros.global[0], "");

  // A carriage return and line feed is one break; the text ends at its first zero byte.
  std::vector<uint8_t> image = writeIT(m);
  const uint32_t messageAt = le32(image.data() + 0x38);
  const char raw[] = "a\r\nb\0c";
  std::copy(raw, raw + 6, image.begin() + messageAt);
  EXPECT_EQ(readIT(image)->message, "a\nb");

  // The macros follow the edit history.
  m.editHistoryEntries = 3;
  m.embedMacros = true;
  m.macros.global[0] = "FF";
  m.macros.global[3] = "9c n v";
  m.macros.parametered[0] = "F0F000z";
  m.macros.parametered[15] = std::string(32, 'A');  // the whole field: no terminator in the file
  m.macros.fixed[0] = "F0F00100";
  m.macros.fixed[127] = "F0F0017F";
  song = readIT(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->headerSpecial & (it::kEditHistory | it::kMidiConfiguration), it::kEditHistory | it::kMidiConfiguration);
  EXPECT_TRUE(song->macros.embedded);
  EXPECT_STREQ(song->macros.global[0], "FF");
  EXPECT_STREQ(song->macros.global[3], "9c n v");
  EXPECT_STREQ(song->macros.global[8], "");
  EXPECT_STREQ(song->macros.parametered[0], "F0F000z");
  EXPECT_EQ(std::string(song->macros.parametered[15]), std::string(32, 'A'));
  EXPECT_STREQ(song->macros.fixed[0], "F0F00100");
  EXPECT_STREQ(song->macros.fixed[127], "F0F0017F");
  EXPECT_EQ(song->message, "first line\nsecond line\n") << "the message after them";
}

TEST(ITReader, SampleModeMakesAnInstrumentOfEachSample) {
  ITModuleSpec m = constantIT();
  ITSampleSpec second = m.samples[0];
  second.name = "second";
  m.samples.push_back(second);
  const SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->instrumentCount, 2);
  ASSERT_EQ(song->sampleCount, 2);
  EXPECT_EQ(song->wholeInstruments, 2);
  for (int i = 0; i < 2; ++i) {
    const Instrument& ins = song->instruments[i];
    EXPECT_EQ(ins.sampleCount, 1);
    EXPECT_EQ(ins.samples[0], song->samples[i]);
    for (int n = 0; n < kKeyboardNotes; ++n) {
      EXPECT_EQ(ins.keyboard[n].note, n + 1) << n;
      EXPECT_EQ(ins.keyboard[n].sample, i + 1) << n;
    }
    EXPECT_EQ(ins.volume.flags | ins.panning.flags | ins.pitch.flags, 0);
    EXPECT_EQ(ins.newNoteAction, NewNoteAction::kCut);
    EXPECT_EQ(ins.duplicateCheck, DuplicateCheck::kOff);
    EXPECT_EQ(ins.globalVolume, 128);
    EXPECT_FALSE(ins.hasPanning);
    EXPECT_EQ(ins.fadeout, 0u);
    EXPECT_EQ(ins.filterCutoff, -1);
    EXPECT_EQ(ins.filterResonance, -1);
    EXPECT_TRUE(ins.whole);
  }
  EXPECT_STREQ(song->instruments[1].name, "second");
}

TEST(ITReader, InstrumentsInTheLaterLayout) {
  ITModuleSpec m = constantIT();
  m.flags |= it::kInstruments;
  m.samples.push_back(m.samples[0]);
  ITInstrumentSpec ins;
  ins.name = "lead";
  ins.newNoteAction = 3;
  ins.duplicateCheck = 2;
  ins.duplicateAction = 1;
  ins.fadeout = 256;
  ins.pitchPanSeparation = -8;
  ins.pitchPanCentre = 48;
  ins.globalVolume = 100;
  ins.defaultPan = 16;  // bit 7 clear: used
  ins.randomVolume = 150;  // above 100: as 100
  ins.randomPan = 30;
  ins.filterCutoff = 0x80 | 100;
  ins.filterResonance = 0x20;  // bit 7 clear: none
  for (int n = 0; n < 120; ++n) {
    ins.keyNote[n] = static_cast<uint8_t>(n < 60 ? n : n - 12);
    ins.keySample[n] = n < 60 ? 1 : 2;
  }
  ins.keySample[119] = 9;  // no such sample
  ins.volume = {1 | 2 | 4, 0, 1, 2, 2, {{0, 64}, {10, 32}, {20, 70}}};  // on, loop 0-1, sustain at 2; 70 as 64
  ins.panning = {1 | 8, 0, 0, 0, 0, {{0, -32}, {5, 32}, {7, -40}}};      // on, carry
  ins.pitch = {0x80 | 1 | 2, 1, 4, 0, 0, {{0, 0}, {300, 16}}};         // a filter envelope; its loop past the end
  m.instruments = {ins, ITInstrumentSpec{}};
  m.instruments[1].stored = false;
  const SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->instrumentCount, 2);
  const Instrument& a = song->instruments[0];
  EXPECT_STREQ(a.name, "lead");
  EXPECT_EQ(a.newNoteAction, NewNoteAction::kFade);
  EXPECT_EQ(a.duplicateCheck, DuplicateCheck::kSample);
  EXPECT_EQ(a.duplicateAction, DuplicateAction::kNoteOff);
  EXPECT_EQ(a.fadeout, 256u * 64) << "on the 65536 scale";
  EXPECT_EQ(a.pitchPanSeparation, -8);
  EXPECT_EQ(a.pitchPanCentre, 49);
  EXPECT_EQ(a.globalVolume, 100);
  EXPECT_TRUE(a.hasPanning);
  EXPECT_EQ(a.defaultPanning, 64);
  EXPECT_EQ(a.randomVolume, 100);
  EXPECT_EQ(a.randomPanning, 30);
  EXPECT_EQ(a.filterCutoff, 100);
  EXPECT_EQ(a.filterResonance, -1);
  EXPECT_EQ(a.keyboard[0].note, 1);
  EXPECT_EQ(a.keyboard[0].sample, 1);
  EXPECT_EQ(a.keyboard[72].note, 61);
  EXPECT_EQ(a.keyboard[72].sample, 2);
  EXPECT_EQ(a.keyboard[119].sample, kMissingSample) << "a sample the file does not hold";
  ASSERT_EQ(a.sampleCount, 2) << "the samples the keyboard names";
  EXPECT_EQ(a.samples[0], song->samples[0]);
  EXPECT_EQ(a.samples[1], song->samples[1]);

  EXPECT_EQ(a.volume.flags, kEnvelopeOn | kEnvelopeLoop | kEnvelopeSustain);
  ASSERT_EQ(a.volume.count, 3);
  EXPECT_EQ(a.volume.loopStart, 0);
  EXPECT_EQ(a.volume.loopEnd, 1);
  EXPECT_EQ(a.volume.sustainStart, 2);
  EXPECT_EQ(a.volume.points[1].tick, 10);
  EXPECT_EQ(a.volume.points[1].value, 32);
  EXPECT_EQ(a.volume.points[2].value, 64);
  EXPECT_EQ(a.panning.flags, kEnvelopeOn | kEnvelopeCarry);
  EXPECT_EQ(a.panning.points[0].value, -32);
  EXPECT_EQ(a.panning.points[1].value, 32);
  EXPECT_EQ(a.panning.points[2].value, -32);
  EXPECT_EQ(a.pitch.flags, kEnvelopeOn | kEnvelopeFilter) << "a loop whose end is not a point is none";
  EXPECT_EQ(a.pitch.points[1].tick, 300);

  // An instrument the file does not store: every key itself on no sample.
  const Instrument& b = song->instruments[1];
  EXPECT_EQ(b.sampleCount, 0);
  EXPECT_EQ(b.keyboard[5].note, 6);
  EXPECT_EQ(b.keyboard[5].sample, 0);
  EXPECT_EQ(b.volume.flags, 0);
  EXPECT_TRUE(b.whole);

  ReadOptions one = plainITOptions();
  one.maxSamplesPerInstrument = 1;
  EXPECT_EQ(refusal(m, one), "instrument 1 has 2 samples (at most 1)");
}

TEST(ITReader, InstrumentsInTheLayoutBefore200) {
  ITModuleSpec m = constantIT();
  m.flags |= it::kInstruments;
  m.compatibleWith = 0x0100;
  ITInstrumentSpec ins;
  ins.name = "old";
  ins.mapAll(1);
  ins.keyNote[0] = 12;
  ins.newNoteAction = 2;
  ins.duplicateCheck = 1;
  ins.fadeout = 32;
  ins.globalVolume = 50;  // the old layout has none: 128
  ins.volume = {1 | 4, 0, 0, 1, 2, {{0, 64}, {4, 48}, {30, 0}}};  // on, sustain 1-2
  m.instruments = {ins};
  const SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  const Instrument& a = song->instruments[0];
  EXPECT_STREQ(a.name, "old");
  EXPECT_EQ(a.newNoteAction, NewNoteAction::kNoteOff);
  EXPECT_EQ(a.duplicateCheck, DuplicateCheck::kNote);
  EXPECT_EQ(a.duplicateAction, DuplicateAction::kCut);
  EXPECT_EQ(a.fadeout, 32u * 128) << "twice the later layout's steps";
  EXPECT_EQ(a.globalVolume, 128);
  EXPECT_FALSE(a.hasPanning);
  EXPECT_EQ(a.filterCutoff, -1);
  EXPECT_EQ(a.keyboard[0].note, 13);
  EXPECT_EQ(a.keyboard[0].sample, 1);
  EXPECT_EQ(a.volume.flags, kEnvelopeOn | kEnvelopeSustain);
  ASSERT_EQ(a.volume.count, 3) << "the node points up to tick 255";
  EXPECT_EQ(a.volume.sustainStart, 1);
  EXPECT_EQ(a.volume.sustainEnd, 2);
  EXPECT_EQ(a.volume.points[1].tick, 4);
  EXPECT_EQ(a.volume.points[1].value, 48);
  EXPECT_EQ(a.volume.points[2].tick, 30);
  EXPECT_EQ(a.panning.flags | a.pitch.flags, 0);
}

TEST(ITReader, SampleFormatsLoopsAndSettings) {
  ITModuleSpec m = constantIT();
  const std::vector<int16_t> values = {8000, -8000, 127, 0, 32767, -32768};
  std::vector<ITSampleSpec> samples;
  for (bool sixteen : {true, false})
    for (bool isSigned : {true, false})
      for (int coding = 0; coding < 3; ++coding) {  // plain, differences, big-endian
        if (coding == 2 && !sixteen) continue;
        ITSampleSpec s;
        s.data = values;
        s.sixteenBit = sixteen;
        s.signedValues = isSigned;
        s.deltaValues = coding == 1;
        s.bigEndian = coding == 2;
        samples.push_back(s);
      }
  m.samples = samples;
  SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->sampleCount, static_cast<int>(samples.size()));
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = *song->samples[i];
    SCOPED_TRACE(testing::Message() << "sample " << i << (samples[i].sixteenBit ? " 16-bit" : " 8-bit")
                                    << (samples[i].signedValues ? " signed" : " unsigned")
                                    << (samples[i].deltaValues ? " differences" : "")
                                    << (samples[i].bigEndian ? " big-endian" : ""));
    EXPECT_EQ(s.storedBits, samples[i].sixteenBit ? 16 : 8);
    EXPECT_EQ(s.bits, 16);
    ASSERT_EQ(s.length, 6u);
    for (size_t k = 0; k < values.size(); ++k) {
      const int expected = samples[i].sixteenBit ? values[k] : (values[k] >> 8) * 256;  // the high byte only
      EXPECT_EQ(s.data[k], expected) << k;
    }
  }

  ITSampleSpec stereo;
  stereo.stereo = true;
  stereo.data = {100, -100, 200, -200, 300, -300};
  ITSampleSpec stereo8 = stereo;
  stereo8.sixteenBit = false;
  stereo8.data = {256, -256, 512, -512, 768, -768};
  ITSampleSpec looped;
  looped.data.assign(100, 1000);
  looped.loop = true;
  looped.loopStart = 10, looped.loopEnd = 60;
  looped.sustain = true, looped.sustainPingPong = true;
  looped.sustainStart = 20, looped.sustainEnd = 40;
  looped.c5Speed = 22050;
  looped.globalVolume = 80;  // above 64: as 64
  looped.volume = 40;
  looped.defaultPan = 0x80 | 48;
  looped.vibratoSpeed = 10, looped.vibratoDepth = 20, looped.vibratoRate = 30, looped.vibratoType = 2;
  looped.name = "looped";
  ITSampleSpec pingPong = looped;
  pingPong.pingPong = true;
  pingPong.sustain = false;
  pingPong.loopEnd = 500;  // past the end: to the end
  pingPong.defaultPan = 48;  // bit 7 clear: not used
  ITSampleSpec empty;
  empty.data.assign(50, 1);
  empty.present = false;
  m.samples = {stereo, stereo8, looped, pingPong, empty};
  song = readIT(m);
  ASSERT_NE(song, nullptr);
  for (int k = 0; k < 2; ++k) {
    const Sample& s = *song->samples[k];
    const std::vector<int16_t>& frames = k == 0 ? stereo.data : stereo8.data;  // left and right side by side
    EXPECT_TRUE(s.stereo);
    EXPECT_EQ(s.fileChannels, 2);
    ASSERT_EQ(s.length, 3u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.data[i], frames[i]) << k << " " << i;
  }
  const Sample& a = *song->samples[2];
  EXPECT_EQ(a.loopMode, kLoopForward);
  EXPECT_EQ(a.loopStart, 10u);
  EXPECT_EQ(a.loopLength, 50u);
  EXPECT_EQ(a.sustainMode, kLoopPingPong);
  EXPECT_EQ(a.sustainStart, 20u);
  EXPECT_EQ(a.sustainLength, 20u);
  EXPECT_EQ(a.c5Speed, 22050u);
  EXPECT_EQ(a.globalVolume, 64);
  EXPECT_EQ(a.volume, 40);
  EXPECT_TRUE(a.hasPanning);
  EXPECT_EQ(a.panning, 192);
  EXPECT_EQ(a.vibratoRate, 10) << "IT's speed";
  EXPECT_EQ(a.vibratoDepth, 20);
  EXPECT_EQ(a.vibratoSweep, 30) << "IT's rate";
  EXPECT_EQ(a.vibratoType, 2);
  EXPECT_STREQ(a.name, "looped");
  const Sample& b = *song->samples[3];
  EXPECT_EQ(b.loopMode, kLoopPingPong);
  EXPECT_EQ(b.loopLength, 90u);
  EXPECT_EQ(b.sustainMode, kLoopNone);
  EXPECT_FALSE(b.hasPanning);
  EXPECT_EQ(song->samples[4]->length, 0u) << "no data flagged";
  EXPECT_EQ(song->wholeInstruments, 5);

  // A short forward loop is repeated for the mixer where the rules ask it; not where a sustain
  // loop may hold the frames after it.
  ReadOptions repeat = plainITOptions();
  repeat.shortestMixedLoop = 200;
  song = readIT(m, nullptr, repeat);
  EXPECT_EQ(song->samples[2]->mixLoopLength, 50u);
  m.samples[2].sustain = false;
  song = readIT(m, nullptr, repeat);
  EXPECT_EQ(song->samples[2]->mixLoopLength, 200u);
  EXPECT_EQ(song->samples[2]->data[10 + 150], 1000);
}

// Streams worked out by hand, bit by bit (low bits first). 8-bit: 5 at the widest width (9); a
// change to 3 bits (0x100 | 2); 3 and -1; a change from 3 bits (the value 4, then 3 bits of 6: to
// 8, one past the current width counting one more); 0x90 at 8 bits, which wraps (124 to 131 are
// that width's changes); a change from 8 bits to 2 (the border 123 plus 2); 1 at 2 bits.
TEST(ITDecompressor, WorkedBlocks) {
  const std::vector<uint8_t> eight = {0x06, 0x00, 0x05, 0x04, 0xEE, 0x34, 0x64, 0x5F};
  int16_t out[5] = {};
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 5, false, false, out, 1), 8);
  const int16_t once[] = {5 * 256, 8 * 256, 7 * 256, -105 * 256, -104 * 256};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], once[i]) << i;
  // 2.15's: the sums summed again.
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 5, false, true, out, 1), 8);
  const int16_t twice[] = {5 * 256, 13 * 256, 20 * 256, -85 * 256, 67 * 256};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], twice[i]) << i;
  EXPECT_EQ(compressedITBytes(eight.data(), eight.size(), 5, false), 8);

  // 16-bit, into every other value: 256 at 17 bits; a change to 5 (0x10000 | 4); -1; a change from
  // 5 bits (16, then 4 bits of 14: to 16); 0x9000 at 16 bits, which wraps.
  const std::vector<uint8_t> sixteen = {0x08, 0x00, 0x00, 0x01, 0x08, 0x00, 0x7E, 0xE8, 0x00, 0x90};
  int16_t pairs[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_EQ(decompressIT(sixteen.data(), sixteen.size(), 3, true, false, pairs, 2), 10);
  const int16_t expected[] = {256, 1, 255, 1, -28417, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(pairs[i], expected[i]) << i;

  // Faults: the block's bytes past the data; a stream that runs out before its values; a change to
  // a width of 0 (0x1FF at 9 bits).
  EXPECT_EQ(decompressIT(eight.data(), 7, 5, false, false, out, 1), kITBlocksPastTheEnd);
  EXPECT_EQ(compressedITBytes(eight.data(), 7, 5, false), kITBlocksPastTheEnd);
  EXPECT_EQ(decompressIT(eight.data(), 1, 5, false, false, out, 1), kITBlocksPastTheEnd) << "no room for the count";
  EXPECT_EQ(decompressIT(eight.data(), eight.size(), 6, false, false, out, 1), kITBlocksUndecodable);
  const std::vector<uint8_t> zeroWidth = {0x02, 0x00, 0xFF, 0x01};
  EXPECT_EQ(decompressIT(zeroWidth.data(), zeroWidth.size(), 1, false, false, out, 1), kITBlocksUndecodable);
  const std::vector<uint8_t> tooShort = {0x01, 0x00, 0x00};  // a byte cannot hold 9 values
  EXPECT_EQ(compressedITBytes(tooShort.data(), tooShort.size(), 9, false), kITBlocksUndecodable);
  // 16-bit: 0x10011 at 17 bits changes to 18 bits, which the stream has not.
  const std::vector<uint8_t> tooWide = {0x03, 0x00, 0x11, 0x00, 0x01};
  EXPECT_EQ(decompressIT(tooWide.data(), tooWide.size(), 1, true, false, out, 1), kITBlocksUndecodable);
}

TEST(ITDecompressor, RoundTripsOfManyBlocks) {
  for (bool sixteen : {false, true})
    for (bool it215 : {false, true}) {
      SCOPED_TRACE(testing::Message() << (sixteen ? "16-bit" : "8-bit") << (it215 ? " 2.15" : " 2.14"));
      // Three blocks and a part, with quiet and loud stretches, silence and the extremes.
      const size_t block = sixteen ? 0x4000 : 0x8000;
      std::vector<int16_t> values = wandering(3 * block + 1234, sixteen ? 7 : 11);
      std::fill(values.begin() + 100, values.begin() + 400, 0);
      values[500] = 32767, values[501] = -32768, values[502] = 32767;
      if (!sixteen)
        for (int16_t& v : values) v = static_cast<int16_t>(v & 0xFF00);  // what 8 bits hold
      const std::vector<uint8_t> packed = compressIT(values, sixteen, it215);
      std::vector<int16_t> out(values.size(), 1);
      ASSERT_EQ(compressedITBytes(packed.data(), packed.size(), static_cast<uint32_t>(values.size()), sixteen),
                static_cast<int64_t>(packed.size()));
      ASSERT_EQ(decompressIT(packed.data(), packed.size(), static_cast<uint32_t>(values.size()), sixteen, it215,
                             out.data(), 1),
                static_cast<int64_t>(packed.size()));
      size_t differ = 0;
      for (size_t i = 0; i < values.size(); ++i) differ += out[i] != values[i];
      EXPECT_EQ(differ, 0u);
      EXPECT_LT(packed.size(), values.size() * (sixteen ? 2 : 1)) << "smaller than the plain values";
    }
}

TEST(ITReader, CompressedSamplesReadAsTheyWereWritten) {
  ITModuleSpec m = constantIT();
  m.samples.clear();
  for (bool sixteen : {false, true})
    for (ITCompression compression : {ITCompression::kIT214, ITCompression::kIT215})
      for (bool stereo : {false, true}) {
        ITSampleSpec s;
        s.sixteenBit = sixteen;
        s.compression = compression;
        s.stereo = stereo;
        s.data = wandering(stereo ? 2 * 0x9000 : 0x9000, static_cast<uint32_t>(m.samples.size()));
        if (!sixteen)
          for (int16_t& v : s.data) v = static_cast<int16_t>(v & 0xFF00);
        m.samples.push_back(s);
      }
  const SongPtr song = readIT(m);
  ASSERT_NE(song, nullptr);
  EXPECT_TRUE(song->warnings.empty());
  for (size_t i = 0; i < m.samples.size(); ++i) {
    const ITSampleSpec& written = m.samples[i];
    const Sample& s = *song->samples[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(s.stereo, written.stereo);
    ASSERT_EQ(s.length, 0x9000u);
    size_t differ = 0;
    for (size_t k = 0; k < written.data.size(); ++k) differ += s.data[k] != written.data[k];
    EXPECT_EQ(differ, 0u);
  }
}

TEST(ITReader, ACompressedSampleThatDoesNotDecodeIsSilentWithAWarning) {
  ITModuleSpec m = constantIT();
  m.samples[0].compression = ITCompression::kIT214;
  m.samples[0].data = wandering(5000, 3);
  m.samples[0].name = "kick";
  m.samples.push_back(m.samples[0]);
  m.samples[1].name = "snare";
  std::vector<uint8_t> image = writeIT(m);
  // The first sample's stream changes to a width of 0 at once: 0x1FF at 9 bits.
  const uint32_t first = sampleDataAt(image, m, 0);
  image[first + 2] = 0xFF;
  image[first + 3] |= 1;
  SongPtr song = readIT(image);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->length, 0u);
  EXPECT_EQ(song->samples[0]->loopMode, kLoopNone);
  EXPECT_EQ(song->samples[1]->length, 5000u) << "the next one is read";
  ASSERT_EQ(song->warnings.size(), 1u);
  EXPECT_EQ(song->warnings[0], "sample 1 (\"kick\") does not decompress: silent");
  EXPECT_EQ(silentNote(*song), "sample 1 (\"kick\") does not decompress: silent");
  EXPECT_EQ(it::kFormat.describe(*song), "IT 2.14, sample 1 (\"kick\") does not decompress: silent");
  EXPECT_TRUE(song->instruments[0].whole) << "the file is whole";

  // A stream cut by the file's end: the sample is silent and the instrument not whole.
  image = writeIT(m);
  const uint32_t second = sampleDataAt(image, m, 1);
  song = readIT(std::vector<uint8_t>(image.begin(), image.begin() + second + 40));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->length, 5000u);
  EXPECT_EQ(song->samples[1]->length, 0u);
  ASSERT_EQ(song->warnings.size(), 1u);
  EXPECT_EQ(song->warnings[0], "sample 2 (\"snare\") is cut short: silent");
  EXPECT_FALSE(song->instruments[1].whole);
  EXPECT_EQ(song->wholeInstruments, 1);

  // A header that claims far more values than the blocks hold asks for no memory.
  m.samples.resize(1);
  m.samples[0].statedLength = 0x7FFFFFFF;
  song = readIT(m);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->length, 0u);
  EXPECT_EQ(song->warnings.size(), 1u);
}

TEST(ITReader, PackedRowsAsNotesVolumesAndLetters) {
  ITModuleSpec m = constantIT();
  m.patterns.resize(3);
  m.orders = {0, 1, 2};
  put(m, 0, {0, 60, 1, 40, 1, 3});        // C-5, instrument 1, volume 40, A03
  put(m, 1, {1, 0, 0, 0, 8, 0x40});       // C-0, instrument byte 0, volume 0, H40
  put(m, 2, {2, 119, -1, 212, 0, 0});     // B-9; the last volume-column byte
  put(m, 3, {3, 255, -1, 213, 0, 0});     // note off; a volume byte beyond 212 is none
  put(m, 4, {0, 254, -1, -1, 26, 0xFF});  // cut, Z
  put(m, 5, {1, 200, -1, 128, 0, 0});     // anything else above 119 fades; pan 0
  put(m, 6, {9, 60, 1, -1, 0, 0});        // the highest channel used: 10 channels
  put(m, 10, {5, 60, 1, 40, 1, 3});
  put(m, 11, {5, 60, 1, 40, 1, 3});       // the same again: the mask and "the last" of each
  put(m, 12, {5, 61, 1, 40, 1, 3});       // a new note, the rest as before
  put(m, 63, {0, 60, 1, 40, 1, 3});
  // The same channel twice on a row: the later cell stands.
  put(m, 7, {2, 10, 1, -1, 0, 0});
  put(m, 7, {2, 20, 2, -1, 0, 0});
  m.patterns[1].rows.resize(32);
  put(m, 31, {4, 50, 2, 10, 4, 0x11}, 1);
  m.patterns[2].stored = false;
  for (bool memory : {true, false}) {
    m.packMemory = memory;
    SCOPED_TRACE(memory ? "with the channels' memories" : "every value written");
    const SongPtr song = readIT(m);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->channelCount, 10);
    const Note& a = at(*song, 0, 0, 0);
    EXPECT_EQ(a.note, 61);
    EXPECT_EQ(a.instrument, 1);
    EXPECT_EQ(a.volume, 41) << "the byte plus one";
    EXPECT_EQ(a.effect, 1);
    EXPECT_EQ(a.parameter, 3);
    const Note& b = at(*song, 0, 1, 1);
    EXPECT_EQ(b.note, 1);
    EXPECT_EQ(b.instrument, 0);
    EXPECT_EQ(b.volume, 1);
    EXPECT_EQ(b.effect, 8);
    EXPECT_EQ(b.parameter, 0x40);
    EXPECT_EQ(at(*song, 0, 2, 2).note, 120);
    EXPECT_EQ(at(*song, 0, 2, 2).volume, 213);
    EXPECT_EQ(at(*song, 0, 3, 3).note, kKeyOff);
    EXPECT_EQ(at(*song, 0, 3, 3).volume, 0);
    EXPECT_EQ(at(*song, 0, 4, 0).note, kNoteCut);
    EXPECT_EQ(at(*song, 0, 4, 0).effect, 26);
    EXPECT_EQ(at(*song, 0, 4, 0).parameter, 0xFF);
    EXPECT_EQ(at(*song, 0, 5, 1).note, kNoteFade);
    EXPECT_EQ(at(*song, 0, 5, 1).volume, 129);
    EXPECT_EQ(at(*song, 0, 6, 9).note, 61);
    EXPECT_EQ(at(*song, 0, 7, 2).note, 21);
    EXPECT_EQ(at(*song, 0, 7, 2).instrument, 2);
    for (int row : {10, 11, 12, 63}) {
      const Note& n = at(*song, 0, row, row == 63 ? 0 : 5);
      EXPECT_EQ(n.note, row == 12 ? 62 : 61) << row;
      EXPECT_EQ(n.instrument, 1) << row;
      EXPECT_EQ(n.volume, 41) << row;
      EXPECT_EQ(n.effect, 1) << row;
      EXPECT_EQ(n.parameter, 3) << row;
    }
    EXPECT_EQ(at(*song, 0, 8, 0).note, 0) << "an empty row";
    EXPECT_EQ(song->patterns[1].rows, 32);
    EXPECT_EQ(at(*song, 1, 31, 4).note, 51);
    EXPECT_EQ(at(*song, 1, 31, 4).effect, 4);
    EXPECT_EQ(song->patterns[2].rows, 64) << "not stored: 64 empty rows";
    EXPECT_EQ(at(*song, 2, 0, 0).note, 0);
    EXPECT_EQ(song->wholePatterns, 3);
  }
  // Nothing in any pattern: one channel.
  EXPECT_EQ(readIT(constantIT())->channelCount, 1);
  ITModuleSpec wide = constantIT();
  put(wide, 0, {63, 60, 1, -1, 0, 0});
  EXPECT_EQ(readIT(wide)->channelCount, 64);
}

TEST(ITReader, AFileCutShortPlaysWhatItHolds) {
  ITModuleSpec m = constantIT();
  put(m, 0, {0, 60, 1, -1, 0, 0});
  const std::vector<uint8_t> image = writeIT(m);
  // The sample's data is the file's last part: half of it is half the sample.
  SongPtr song = readIT(std::vector<uint8_t>(image.begin(), image.end() - 2000));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->length, 1000u);
  EXPECT_EQ(song->samples[0]->loopLength, 1000u) << "the loop within what is there";
  EXPECT_FALSE(song->instruments[0].whole);
  bool refuse = false;
  EXPECT_EQ(damageMessage(*song, refuse), "ends early: 1 of 1 patterns and 0 of 1 instruments read whole; playing what is there");
  EXPECT_FALSE(refuse);
  // A stereo sample cut short keeps the frames both sides still have.
  ITModuleSpec stereo = constantIT();
  stereo.samples[0].stereo = true;
  stereo.samples[0].data = wandering(2000, 5);  // 1000 frames
  const std::vector<uint8_t> both = writeIT(stereo);
  song = readIT(std::vector<uint8_t>(both.begin(), both.end() - 800));  // the right side's last 400
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(song->samples[0]->length, 600u);
  EXPECT_EQ(song->samples[0]->data[2 * 599 + 1], stereo.samples[0].data[2 * 599 + 1]);

  // Every shorter cut, compressed data too, loads or is refused with a reason.
  m.samples[0].compression = ITCompression::kIT215;
  m.samples[0].data = wandering(3000, 9);
  m.message = "message";
  m.embedMacros = true;
  const std::vector<uint8_t> packed = writeIT(m);
  for (size_t size = 0; size < packed.size(); size += 5) {
    LoadFailure failure{};
    song = readIT(std::vector<uint8_t>(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size)), &failure);
    if (!song) {
      EXPECT_NE(failure.text[0], 0) << size;
    }
  }
}

namespace {
std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The README's table: each file's tracker as openmpt123 names it and its channels.
struct Listed {
  std::string tracker;
  int channels;
};
std::map<std::string, Listed> listedSongs(const std::filesystem::path& readme) {
  std::map<std::string, Listed> songs;
  std::ifstream in(readme);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    std::string cell;
    while (std::getline(row, cell, '|')) {
      const size_t first = cell.find_first_not_of(' '), last = cell.find_last_not_of(' ');
      cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    if (cells.size() >= 6 && cells[1].size() > 3 && cells[1].substr(cells[1].size() - 3) == ".it")
      songs[cells[1]] = {cells[3], std::atoi(cells[4].c_str())};
  }
  return songs;
}

SavedBy familyOf(const std::string& tracker) {
  if (tracker.rfind("Impulse Tracker", 0) == 0) return SavedBy::kImpulseTracker;
  if (tracker.rfind("ModPlug Tracker", 0) == 0 || tracker.rfind("OpenMPT", 0) == 0) return SavedBy::kModPlug;
  if (tracker.rfind("Schism Tracker", 0) == 0) return SavedBy::kSchismTracker;
  return SavedBy::kOther;
}

void expectAllParse(const std::filesystem::path& dir, int atLeast, const std::map<std::string, Listed>& listed = {}) {
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no " << dir.string() << " beside the repository";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".it") continue;
    const std::string name = entry.path().filename().string();
    const std::vector<uint8_t> bytes = fileBytes(entry.path());
    LoadFailure failure{};
    const SongPtr song = readIT(bytes, &failure);
    EXPECT_NE(song, nullptr) << name << ": " << failure.text;
    if (!song) continue;
    ++count;
    bool refuse = false;
    EXPECT_EQ(damageMessage(*song, refuse), "") << name;
    EXPECT_EQ(silentNote(*song), "") << name << ": every compressed sample decodes";
    EXPECT_TRUE(hasSound(*song)) << name;
    const auto it = listed.find(name);
    if (it == listed.end()) continue;
    // OpenMPT keeps a channel count of its own beside the patterns, which openmpt123 lists: its
    // files may list more channels than their patterns use.
    const bool openMPT = song->version >> 12 == 5 || song->version == 0x0888;
    if (openMPT) {
      EXPECT_LE(song->channelCount, it->second.channels) << name;
    } else {
      EXPECT_EQ(song->channelCount, it->second.channels) << name;
    }
    // UNMO3 writes Impulse Tracker's words; openmpt123 tells it by what else it leaves.
    if (it->second.tracker.rfind("UNMO3", 0) != 0) {
      EXPECT_EQ(song->savedBy, familyOf(it->second.tracker))
          << name << ": " << song->tracker << ", listed as " << it->second.tracker;
    }
  }
  EXPECT_GE(count, atLeast);
}
}  // namespace

TEST(ITReader, RealSongsAllParse) {
  const std::filesystem::path dir = TESTDATA_DIR "/it-songs";
  const std::map<std::string, Listed> listed = listedSongs(dir / "README.md");
  if (std::filesystem::exists(dir)) {
    EXPECT_GE(listed.size(), 30u) << "the README's table";
  }
  expectAllParse(dir, 30, listed);
}

TEST(ITReader, ImpulseTrackersTestModulesAllParse) { expectAllParse(TESTDATA_DIR "/it-impulse", 100); }
