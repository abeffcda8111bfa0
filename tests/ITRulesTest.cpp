#include "SoundLib/xmplay/rules/it/ITRules.h"

#include <gtest/gtest.h>

#include <vector>

#include "ITTestModules.h"
#include "SoundLib/xmplay/formats/Formats.h"

// Worked values of Impulse Tracker's rules: pitch, envelopes, the MIDI macros' filter settings,
// and a voice's level.
namespace {
Envelope envelope(std::vector<EnvelopePoint> points, uint8_t flags = kEnvelopeOn) {
  Envelope e{};
  e.flags = flags;
  e.count = static_cast<uint8_t>(points.size());
  for (size_t i = 0; i < points.size(); ++i) e.points[i] = points[i];
  return e;
}

// The ticks an envelope's position visits from 0, `count` of them.
std::vector<int> walk(const Envelope& e, int count, bool keyOn) {
  it::EnvelopePosition at{};
  std::vector<int> ticks;
  for (int i = 0; i < count; ++i) {
    ticks.push_back(at.tick);
    it::advanceEnvelope(e, at, keyOn);
  }
  return ticks;
}
}  // namespace

TEST(ITPitch, NotesFromTheSamplesC5Frequency) {
  EXPECT_EQ(it::noteFrequency(61, 8363), int64_t{8363} * 65536) << "C-5 plays at the sample's frequency";
  EXPECT_EQ(it::noteFrequency(73, 22050), int64_t{44100} * 65536);
  EXPECT_EQ(it::noteFrequency(49, 8000), int64_t{4000} * 65536);
  EXPECT_EQ(it::notePeriod(61, 8363), 1712);
  EXPECT_EQ(it::notePeriod(73, 8363), 856);
  EXPECT_EQ(it::notePeriod(49, 8363), 3424);
  EXPECT_EQ(it::notePeriod(61, 16726), 856) << "twice the frequency, half the period";
  EXPECT_EQ(it::shiftFrequency(1000 * 65536, 768), 2000 * 65536) << "768 units an octave";
  EXPECT_EQ(it::shiftFrequency(1000 * 65536, -768), 500 * 65536);
  EXPECT_EQ(it::shiftFrequency(12345, 0), 12345);
}

TEST(ITEnvelopes, ValuesBetweenPointsAndHeldAfterTheLast) {
  const Envelope e = envelope({{0, 64}, {10, 32}, {20, 0}});
  EXPECT_EQ(it::envelopeValue(e, 0), 64);
  EXPECT_EQ(it::envelopeValue(e, 5), 48);
  EXPECT_EQ(it::envelopeValue(e, 15), 16);
  EXPECT_EQ(it::envelopeValue(e, 20), 0);
  EXPECT_EQ(it::envelopeValue(e, 99), 0);
  EXPECT_EQ(it::envelopeValue(envelope({{0, -32}, {4, 32}}), 1), -16) << "panning and pitch go below 0";
}

TEST(ITEnvelopes, SustainLoopWhileHeldThenTheLoopThenTheEnd) {
  Envelope e = envelope({{0, 0}, {2, 10}, {4, 20}, {6, 30}}, kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop);
  e.sustainStart = 1;
  e.sustainEnd = 2;
  e.loopStart = 0;
  e.loopEnd = 3;
  EXPECT_EQ(walk(e, 8, true), (std::vector<int>{0, 1, 2, 3, 4, 2, 3, 4}));
  EXPECT_EQ(walk(e, 9, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0, 1}));
  e.flags = kEnvelopeOn;
  const std::vector<int> end = walk(e, 9, false);
  EXPECT_EQ(end.back(), 7) << "one past the last point: the envelope has ended";
  EXPECT_EQ(it::envelopeValue(e, end.back()), 30);
  // A sustain loop of one point holds it.
  e = envelope({{0, 0}, {3, 40}, {9, 0}}, kEnvelopeOn | kEnvelopeSustain);
  e.sustainStart = e.sustainEnd = 1;
  EXPECT_EQ(walk(e, 6, true), (std::vector<int>{0, 1, 2, 3, 3, 3}));
}

TEST(ITMacros, TheDefaultsAndEmbeddedMacrosSetTheFilter) {
  Song song{};
  it::ITChannel c{};
  c.cutoff = 127;
  XMPlayer player;
  it::runMacro(player, song, c, 0x40);
  EXPECT_EQ(c.cutoff, 0x40) << "SF0: Z00 to Z7F the cutoff";
  it::runMacro(player, song, c, 0x85);
  EXPECT_EQ(c.resonance, 40) << "Z80 to Z8F the resonance in steps of 8";
  c.macro = 1;
  it::runMacro(player, song, c, 0x10);
  EXPECT_EQ(c.cutoff, 0x40) << "SF1 sends nothing by default";

  song.macros.embedded = true;
  std::snprintf(song.macros.parametered[1], 33, "F0 F0 01 z");
  std::snprintf(song.macros.fixed[0x10], 33, "F0F0007F");
  it::runMacro(player, song, c, 0x22);
  EXPECT_EQ(c.resonance, 0x22);
  it::runMacro(player, song, c, 0x90);
  EXPECT_EQ(c.cutoff, 127);
  std::snprintf(song.macros.fixed[0x11], 33, "F0F002z");  // another message: nothing
  it::runMacro(player, song, c, 0x91);
  EXPECT_EQ(c.cutoff, 127);
  EXPECT_EQ(c.resonance, 0x22);
}

TEST(ITLevels, EveryVolumeOfTheChainCounts) {
  Song song{};
  song.globalVolume = 64;  // of 128
  Instrument instrument{};
  instrument.globalVolume = 64;  // of 128
  Sample sample{};
  sample.globalVolume = 32;  // of 64
  it::ITVoice v{};
  v.instrument = &instrument;
  v.sample = &sample;
  v.volume = 64;
  v.channelVolume = 32;
  v.fade = 65536 / 2;
  EXPECT_FLOAT_EQ(it::voiceGain(song, v, 64), 1.0f / 32);
  EXPECT_FLOAT_EQ(it::voiceGain(song, v, 16), 1.0f / 128);
  v.swing = -50;
  EXPECT_FLOAT_EQ(it::voiceGain(song, v, 64), 1.0f / 64) << "the random volume's swing";
}

namespace {
// An instruments-mode song: notes on channel 0 at rows 0 and 1 (C-5 then `second`), the
// instrument's new-note action and duplicate check as given (as the file stores them).
ITModuleSpec twoNotes(uint8_t action, uint8_t check = 0, uint8_t duplicate = 0, int second = 64) {
  ITModuleSpec m = constantIT();
  m.flags |= it::kInstruments;
  ITInstrumentSpec ins;
  ins.mapAll(1);
  ins.newNoteAction = action;
  ins.duplicateCheck = check;
  ins.duplicateAction = duplicate;
  ins.fadeout = 8;
  m.instruments.push_back(ins);
  put(m, 0, {0, 60, 1});
  put(m, 1, {0, second, 1});
  return m;
}

struct Played {
  SongPtr song;
  XMPlayer player;
  explicit Played(const ITModuleSpec& m, int ticks = 7) {
    const std::vector<uint8_t> image = writeIT(m);
    song = loadModule(image.data(), image.size(), nullptr, nullptr);
    if (!song) return;
    configureOutput(player, 44100);
    songStart(player, *song);
    for (int i = 0; i < ticks; ++i) song->tickFunction(player, *song);
  }
  // The notes sounding in the background, behind the channels' own.
  std::vector<const it::ITVoice*> background() {
    std::vector<const it::ITVoice*> notes;
    for (int i = kChannelVoices; i < player.voiceCount; ++i)
      if (player.mixer[i].sample && it::state(player).voices[i].instrument) notes.push_back(&it::state(player).voices[i]);
    return notes;
  }
};
}  // namespace

TEST(ITNewNotes, TheNoteBeforeGoesOnByTheInstrumentsAction) {
  {
    Played p(twoNotes(1));  // continue
    ASSERT_NE(p.song, nullptr);
    EXPECT_EQ(p.song->rules, &it::kRules);
    ASSERT_EQ(p.background().size(), 1u);
    EXPECT_TRUE(p.background()[0]->keyOn);
    EXPECT_EQ(p.background()[0]->note, 61);
    EXPECT_EQ(p.background()[0]->channel, 0);
  }
  {
    Played p(twoNotes(2));  // note off: without a volume envelope it fades
    ASSERT_EQ(p.background().size(), 1u);
    EXPECT_FALSE(p.background()[0]->keyOn);
    EXPECT_TRUE(p.background()[0]->fading);
  }
  {
    Played p(twoNotes(3));  // fade
    ASSERT_EQ(p.background().size(), 1u);
    EXPECT_TRUE(p.background()[0]->keyOn);
    EXPECT_TRUE(p.background()[0]->fading);
  }
  EXPECT_TRUE(Played(twoNotes(0)).background().empty()) << "cut";
  // Faded out: 65536 in steps of 8 x 64 is 128 ticks.
  EXPECT_TRUE(Played(twoNotes(3), 7 + 129).background().empty());
  EXPECT_EQ(Played(twoNotes(3), 7 + 120).background().size(), 1u);

  ITModuleSpec samples = twoNotes(1);
  samples.flags &= ~it::kInstruments;
  EXPECT_TRUE(Played(samples).background().empty()) << "sample mode cuts";

  ITModuleSpec overridden = twoNotes(1);
  overridden.patterns[0].rows[0][0].command = letter::kSpecial;
  overridden.patterns[0].rows[0][0].parameter = 0x73;
  EXPECT_TRUE(Played(overridden).background().empty()) << "S73 cuts this note instead";
}

TEST(ITNewNotes, DuplicatesOfTheNewNoteTakeTheDuplicateAction) {
  EXPECT_TRUE(Played(twoNotes(1, 1, 0, 60)).background().empty()) << "the same note: cut";
  EXPECT_EQ(Played(twoNotes(1, 1, 0, 64)).background().size(), 1u) << "another note is no duplicate";
  EXPECT_TRUE(Played(twoNotes(1, 3, 0, 64)).background().empty()) << "the same instrument: cut";
  Played off(twoNotes(1, 2, 1, 64));  // the same sample: note off
  ASSERT_EQ(off.background().size(), 1u);
  EXPECT_FALSE(off.background()[0]->keyOn);
}

TEST(ITFlow, ALoopsStartStaysFromPatternToPatternAndPastTheEndGoesOn) {
  ITModuleSpec m = constantIT();
  m.speed = 1;
  m.patterns.resize(2);
  m.orders = {0, 1, 0};
  put(m, 63, {0, -1, -1, -1, letter::kSpecial, 0xB1});     // back to row 0 once, then the start is row 64
  put(m, 2, {0, -1, -1, -1, letter::kSpecial, 0xB1}, 1);  // a loop to row 64: the next pattern
  Played p(m, 64 * 2 + 3);
  ASSERT_NE(p.song, nullptr);
  EXPECT_EQ(p.song->orderPosition, 1);
  EXPECT_EQ(p.song->row, 2);
  p.song->tickFunction(p.player, *p.song);
  EXPECT_EQ(p.song->orderPosition, 2);
  EXPECT_EQ(p.song->row, 0);
}

// A number alone plays the channel's last note again where the channel is silent or the number
// names another instrument; a note cut in the pattern leaves no note to play. An offset beside a
// tone portamento is taken.
TEST(ITNumbersAlone, PlayTheLastNoteWhereTheChannelIsSilent) {
  ITModuleSpec m = constantIT();
  m.samples.push_back(m.samples[0]);
  put(m, 0, {0, 60, 1, -1, letter::kSpecial, 0xC1});  // cut on tick 1
  put(m, 1, {0, -1, 1});
  put(m, 2, {0, 254});
  put(m, 3, {0, -1, 1});
  put(m, 4, {0, 60, 1});
  put(m, 5, {0, -1, 2});
  put(m, 6, {0, 60, -1, 194, letter::kSampleOffset, 4});
  auto channelAt = [&](int row) {
    Played p(m, 6 * row + 2);
    return std::pair{p.player.mixer[0].sample, p.player.mixer[0].position};
  };
  EXPECT_NE(channelAt(1).first, nullptr) << "after SCx";
  EXPECT_EQ(channelAt(3).first, nullptr) << "after ^^^";
  Played p(m, 6 * 5 + 2);
  ASSERT_NE(p.song, nullptr);
  EXPECT_EQ(p.player.mixer[0].sample, p.song->samples[1]) << "another instrument";
  const auto [sample, position] = channelAt(6);
  EXPECT_NE(sample, nullptr);
  EXPECT_GE(position, 1024u) << "O04 taken beside the slide";
  EXPECT_LT(position, 1200u);
}
