// Pitch tables and the voice side of the FastTracker 2 rules: what a channel's note, volume,
// panning, envelopes and auto-vibrato come to on one tick, written to its mixer channel.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace ft2 {
namespace {
constexpr double kAmigaClock = 8363.0 * 1712;  // Hz x period: C-4 at 1712 plays at 8363 Hz
constexpr double kAmigaC0 = 1712.0 * 16;
// A channel at full volume panned to one side plays its sample at 3/8 of its level there, as the
// players people compare with play files of other trackers; room for several loud channels.
constexpr float kMasterGain = 0.375f;

float masterGain(const Song& song) {
  if (song.levels != MixLevels::kModPlug) return kMasterGain * song.levelScale;
  return modPlugGain(song.channelCount) * song.levelScale;
}

// Periods are looked up in sixteenths of a semitone, as the tracker's tables have them.
int32_t sixteenths(int realNote, int finetune) { return realNote * 16 + (finetune >> 3) + 16; }

// The auto-vibrato's sine over its 256-step cycle, -64..64, worked out once when the program
// starts.
struct SineTable {
  int8_t at[256];
  SineTable() {
    for (int p = 0; p < 256; ++p) at[p] = static_cast<int8_t>(std::lround(std::sin(p * (2 * std::numbers::pi / 256)) * 64));
  }
};
const SineTable kSine;

// Auto-vibrato waves over a 256-step cycle, -64..64, positive raising the pitch: sine, square,
// and two ramps, the first falling from the cycle's middle, the second rising to it.
int32_t autoVibratoWave(int type, int32_t p) {
  switch (type) {
    case 0: return kSine.at[p & 255];
    case 1: return p < 128 ? 64 : -64;
    case 2: return 64 - ((p + 128) & 255) / 2;
    case 3: return ((p + 127) & 255) / 2 - 63;
    default: return 0;
  }
}

// Linear panning: the two sides always add up to the channel's level; constant-power panning
// keeps their powers' sum instead (the centre 3 dB louder); full-centre panning plays the centre
// at full level on both sides and takes a side down only towards the other.
float panSide(const Song& song, int32_t towards) {
  const float share = static_cast<float>(towards) / 256;
  switch (song.levels) {
    case MixLevels::kConstantPower: return std::sqrt(share);
    case MixLevels::kFullCentre: return std::min(1.0f, 2 * share);
    default: return share;
  }
}

// An envelope has at most 12 points, whatever count a file gives.
constexpr int kEnvelopePoints = 12;

bool envelopeHolds(const EnvelopeState& e, const uint16_t* points, int count, uint8_t type, uint8_t sustain,
                   bool keyOff) {
  return (type & kEnvelopeSustain) && !keyOff && sustain < count && e.tick == points[2 * sustain];
}

// One tick of an envelope: the value where it stands, then a step on, held at the sustain point
// while the key is down and sent back to the loop start on coming to the loop end (before it can
// hold there; one that Lxx set past the end goes on; a loop that starts and ends on one point
// sends it nowhere). Past its last point it stays there.
void stepEnvelope(EnvelopeState& e, const uint16_t* points, int count, uint8_t type, uint8_t sustain,
                  uint8_t loopStart, uint8_t loopEnd, bool keyOff, bool keyOffReleases = true) {
  count = std::min(count, kEnvelopePoints);
  e.value = envelopeValue(points, count, e.tick);
  if (envelopeHolds(e, points, count, type, sustain, keyOff)) {
    e.sustained = true;
    return;
  }
  if (!keyOffReleases && e.sustained && envelopeHolds(e, points, count, type, sustain, false)) return;
  if (count > 0 && e.tick > points[2 * (count - 1)]) return;
  ++e.tick;
  if ((type & kEnvelopeLoop) && loopEnd < count && loopStart < loopEnd && e.tick == points[2 * loopEnd])
    e.tick = points[2 * loopStart];
}
}  // namespace

namespace {
// FastTracker 2's Amiga periods of octave 4 in sixteenths of a semitone, as openmpt123 plays
// them: C's sixteen below it (its negative finetunes), then C to B. ProTracker's periods (eight
// finetunes a semitone, doubled) with the steps between them filled in; past B's highest the
// table ends. The other octaves are these shifted, the bits shifted out dropped.
constexpr int16_t kAmigaOctave4[208] = {
    1814, 1807, 1800, 1794, 1788, 1781, 1774, 1768, 1762, 1756, 1750, 1743, 1736, 1730, 1724, 1718,
    1712, 1706, 1700, 1694, 1688, 1682, 1676, 1670, 1664, 1658, 1652, 1646, 1640, 1634, 1628, 1622,
    1616, 1610, 1604, 1598, 1592, 1587, 1582, 1576, 1570, 1564, 1558, 1553, 1548, 1542, 1536, 1530,
    1524, 1519, 1514, 1509, 1504, 1498, 1492, 1487, 1482, 1477, 1472, 1466, 1460, 1455, 1450, 1445,
    1440, 1435, 1430, 1424, 1418, 1413, 1408, 1403, 1398, 1393, 1388, 1383, 1378, 1373, 1368, 1362,
    1356, 1353, 1350, 1345, 1340, 1335, 1330, 1325, 1320, 1315, 1310, 1306, 1302, 1297, 1292, 1286,
    1280, 1276, 1272, 1268, 1264, 1260, 1256, 1251, 1246, 1242, 1238, 1233, 1228, 1224, 1220, 1214,
    1208, 1205, 1202, 1198, 1194, 1189, 1184, 1180, 1176, 1172, 1168, 1164, 1160, 1155, 1150, 1145,
    1140, 1137, 1134, 1130, 1126, 1122, 1118, 1114, 1110, 1106, 1102, 1098, 1094, 1090, 1086, 1081,
    1076, 1073, 1070, 1067, 1064, 1060, 1056, 1052, 1048, 1044, 1040, 1036, 1032, 1029, 1026, 1021,
    1016, 1013, 1010, 1007, 1004, 1000, 996, 992, 988, 985, 982, 978, 974, 971, 968, 964,
    960, 957, 954, 951, 948, 944, 940, 937, 934, 930, 926, 923, 920, 917, 914, 910,
    906, 903, 900, 897, 894, 890, 886, 883, 880, 877, 874, 871, 868, 865, 862, 862,
};

int32_t amigaPeriod(int realNote, int finetune) {
  const int32_t octave4 = kAmigaOctave4[realNote % 12 * 16 + (finetune >> 3) + 16];
  return octave4 * 16 >> (realNote / 12);
}

// The linear period at a place in the table, in sixteenths of a semitone (see sixteenths).
int32_t linearPeriodAt(int32_t i) { return 7744 - 4 * i; }

// An arpeggio reads the tracker's table, which ends at B-7 with the highest finetune: a note
// above that plays as that one.
constexpr int32_t kArpeggioCeiling = 95 * 16 + 15 + 16;
}  // namespace

int32_t notePeriod(const Song& song, int realNote, int finetune) {
  realNote = std::clamp(realNote, 0, 118);
  return linearTable(song) ? linearPeriodAt(sixteenths(realNote, finetune)) : amigaPeriod(realNote, finetune);
}

namespace {
// Where a period lies between the notes of its table, in semitones from C-0.
double fractionalNote(const Song& song, int32_t period, int finetune) {
  if (linearTable(song)) return (7680.0 - 4 * (finetune >> 3) - period) / 64;
  return 12 * std::log2(kAmigaC0 / std::max(period, kMinPeriod)) - (finetune >> 3) / 16.0;
}
}  // namespace

int32_t periodPlusSemitones(const Song& song, int32_t period, int semitones, int finetune) {
  // From the table's nearest note, so an arpeggio after a slide plays notes of the table.
  const int note = std::clamp(static_cast<int>(std::lround(fractionalNote(song, period, finetune))) + semitones, 0, 118);
  if (linearTable(song)) return linearPeriodAt(std::min(sixteenths(note, finetune), kArpeggioCeiling));
  return note > 95 ? amigaPeriod(95, 127) : amigaPeriod(note, finetune);
}

int32_t periodToSemitone(const Song& song, int32_t period, int finetune, bool slidingDown) {
  const double note = fractionalNote(song, period, finetune);
  // The nearest semitone; halfway, the one the slide comes from.
  return notePeriod(song, static_cast<int>(slidingDown ? std::floor(note + 0.5) : std::ceil(note - 0.5)), finetune);
}

double frequency(const Song& song, int32_t period) {
  period = std::clamp(period, kMinPeriod, kMaxPeriod);
  if (linearTable(song)) return 8363.0 * std::exp2((4608 - period) / 768.0);
  return kAmigaClock / period;
}

int32_t envelopeValue(const uint16_t* points, int count, int32_t tick) {
  count = std::min(count, kEnvelopePoints);
  if (count <= 0) return 64;
  int i = 0;
  while (i + 1 < count && tick >= points[2 * (i + 1)]) ++i;
  const int32_t x0 = points[2 * i], y0 = std::min<int32_t>(points[2 * i + 1], 64);
  if (i + 1 >= count || tick <= x0) return y0;
  const int32_t x1 = points[2 * (i + 1)], y1 = std::min<int32_t>(points[2 * (i + 1) + 1], 64);
  if (x1 <= x0) return y1;
  return y0 + (y1 - y0) * (tick - x0) / (x1 - x0);
}

void triggerInstrument(FT2Channel& c) {
  c.volumeEnvelope = {0, 64, false};
  c.panningEnvelope = {0, 32, false};
  c.fadeout = 65536;
  c.keyOff = false;
  c.releasedWithInstrument = false;
  c.autoVibratoPosition = 0;
  c.autoVibratoTicks = 0;
  c.tremorOn = false;
  c.tremorCount = 0;
}

// Starts, cuts and set volumes ramp over the player's ramp, the rules' short one (see kRules); the
// voice a new note leaves behind fades out as quickly.
void triggerVoice(XMPlayer& player, FT2Channel& c, uint32_t offset) {
  c.quickRamp = true;
  c.mixer = takeVoiceFadingOut(player, c.mixer);
  MixerChannel& m = *c.mixer;
  startVoice(m, c.sample);
  if (!m.sample || offset == 0) return;
  // A looped sample ends where its loop does; an offset past the end plays nothing.
  const Sample& s = *m.sample;
  if (offset < s.loopStart + s.loopLength)
    m.position = offset;
  else
    m.sample = nullptr;
}

void stopVoice(XMPlayer& player, FT2Channel& c) {
  c.mixer = takeVoiceFadingOut(player, c.mixer);
  c.mixer->sample = nullptr;
}

void updateVoice(XMPlayer& player, const Song& song, FT2Channel& c) {
  const Instrument& ins = *c.instrument;
  stepEnvelope(c.volumeEnvelope, ins.volumeEnvelope, ins.volumePoints, ins.volumeType, ins.volumeSustain,
               ins.volumeLoopStart, ins.volumeLoopEnd, c.keyOff);
  // A panning envelope held at its sustain before the key off stays there (one that reaches it on
  // the key off's tick goes on).
  stepEnvelope(c.panningEnvelope, ins.panningEnvelope, ins.panningPoints, ins.panningType, ins.panningSustain,
               ins.panningLoopStart, ins.panningLoopEnd, c.keyOff, false);
  const bool volumeEnvelope = ins.volumeType & kEnvelopeOn;
  // The fade runs after a key off with or without an envelope: a note cut by its key off and
  // given a volume again fades out.
  if (c.keyOff) c.fadeout = std::max<int32_t>(0, c.fadeout - static_cast<int32_t>(ins.fadeout));

  MixerChannel& m = *c.mixer;
  // A key off that silenced a note without a volume envelope leaves it silent under a tremolo.
  const bool cut = c.keyOff && !volumeEnvelope && c.volume == 0;
  const int32_t volume = c.tremorMuted || cut ? 0 : std::clamp(c.volume + c.volumeDelta, 0, 64);
  const float envelope = volumeEnvelope ? static_cast<float>(c.volumeEnvelope.value) : 64.0f;
  const float gain = static_cast<float>(volume) * envelope * static_cast<float>(c.fadeout) *
                     static_cast<float>(song.globalVolume) * (1.0f / (64.0f * 64 * 65536 * 64));
  int32_t pan = std::clamp(c.panning, 0, 255);
  // A panning envelope may take other trackers' files all the way right (256); FastTracker 2 keeps
  // its pan in a byte.
  const int32_t rightmost = song.savedBy == SavedBy::kFastTracker2 ? 255 : 256;
  if (ins.panningType & kEnvelopeOn)
    pan = std::clamp(pan + (c.panningEnvelope.value - 32) * (128 - std::abs(pan - 128)) / 32, 0, rightmost);
  const float level = gain * masterGain(song) * player.targetScale;
  // A volume that comes back from nothing is heard at once too, whatever brought it (an envelope,
  // a slide); any other change ramps across the tick, one down to nothing as well (the tracker's
  // recordings have an envelope's last step to 0 so: suite_Porta-Pickup).
  m.rampLength = c.quickRamp || c.silent ? player.rampLength : song.samplesPerTick;
  c.quickRamp = false;
  c.silent = gain == 0;
  m.leftTarget = static_cast<int32_t>(level * panSide(song, 256 - pan) + 0.5f);
  m.rightTarget = static_cast<int32_t>(level * panSide(song, pan) + 0.5f);

  int32_t period = c.period + c.periodDelta;
  if (ins.vibratoDepth != 0) period -= autoVibratoBend(c, ins);
  ++c.autoVibratoTicks;
  // The step is worked out again only when the period has changed since the last tick.
  if (!c.stepKnown || c.stepPeriod != period) {
    setFrequency(m, frequency(song, period), player.rate);
    c.stepPeriod = period;
    c.step = m.step;
    c.stepFraction = m.stepFraction;
    c.stepKnown = true;
  } else {
    m.step = c.step;
    m.stepFraction = c.stepFraction;
  }
}

int32_t autoVibratoBend(FT2Channel& c, const Instrument& ins) {
  int32_t depth = ins.vibratoDepth * 256;
  if (ins.vibratoSweep != 0)
    depth = static_cast<int32_t>(std::min<int64_t>(depth, (int64_t{c.autoVibratoTicks} + 1) * (depth / ins.vibratoSweep)));
  c.autoVibratoPosition = (c.autoVibratoPosition + ins.vibratoRate) & 255;
  return autoVibratoWave(ins.vibratoType, c.autoVibratoPosition) * depth / 16384;
}

void setFrequency(MixerChannel& m, double frequency, int32_t rate) {
  // Far outside the audible range a slide could ask for more than 32 bits of frames a frame.
  const double f = std::clamp(frequency, 100.0, 4e9);
  const uint64_t step = static_cast<uint64_t>(f / rate * 4294967296.0);
  m.step = static_cast<uint32_t>(step >> 32);
  m.stepFraction = static_cast<uint32_t>(step);
}

}  // namespace ft2
