// Periods and the voice side of the ProTracker rules: the tables' lookups, notes started and
// samples swapped on the channel's voice, and the period, volume and panning the hardware plays,
// written to the mixer once a tick.
#include <algorithm>

#include "SoundLib/xmplay/rules/pt/PTRules.h"

namespace pt {
namespace {
// The Amiga's PAL clock, for quarter periods: period 428 plays 3546895 / 428 = 8287 Hz.
constexpr uint64_t kQuarterClock = uint64_t{3546895} * 4;
constexpr int kRowLength = amiga::kTrackerNotes;

// Where a period stands in ProTracker's table of a finetune: the first of its notes at or above
// it (the period at or below). The tracker compares 37 entries, the last being the next
// finetune's first.
int trackerIndex(int32_t period, int finetune) {
  const int row = (finetune & 15) * kRowLength;
  int i = 0;
  while (i <= kRowLength && 4 * amiga::trackerTable(row + i) > period) ++i;
  return row + i;
}

int fiveOctaveNote(int32_t period, int finetune) {
  int note = 0;
  while (note + 1 < amiga::kNotes && notePeriod(note, finetune) > period) ++note;
  return note;
}

// The players people compare with play a MOD of up to four channels at one level and quieter
// as it has more, in proportion, down to half of it from eight channels on (1 channel as 2), in
// 64ths, as measured with openmpt123.
float channelGain(int channels) { return static_cast<float>(256 / std::clamp(channels, 2, 8)) / 64; }
}  // namespace

int32_t arpeggioPeriod(const State& s, int32_t period, int finetune, int semitones) {
  if (s.fiveOctaves) return notePeriod(std::min(fiveOctaveNote(period, finetune) + semitones, amiga::kNotes - 1), finetune);
  // Past its row's end the table goes on into the next finetune's (lower notes); past the last
  // row's end, nothing: the period is left as it is.
  const int32_t read = 4 * amiga::trackerTable(trackerIndex(period, finetune) + semitones);
  return read ? read : period;
}

int32_t semitonePeriod(const State& s, int32_t period, int finetune) {
  if (s.fiveOctaves) return notePeriod(fiveOctaveNote(period, finetune), finetune);
  const int32_t read = 4 * amiga::trackerTable(trackerIndex(period, finetune));
  return read ? read : period;
}

void choosePeriodRange(State& s, const Song& song) {
  s.fiveOctaves = false;
  const int lowest = amiga::kSongNoteOfC0 + amiga::kFirstTrackerNote;
  const int highest = lowest + amiga::kTrackerNotes - 1;
  for (int p = 0; p < song.usedPatternCount && !s.fiveOctaves; ++p) {
    const Pattern& pattern = song.patterns[p];
    for (int i = 0; i < pattern.rows * song.channelCount; ++i) {
      const uint8_t note = pattern.notes[i].note;
      if (note && (note < lowest || note > highest)) {
        s.fiveOctaves = true;
        break;
      }
    }
  }
  s.lowestPeriod = s.fiveOctaves ? notePeriod(amiga::kNotes - 1, 7) : 4 * 113;
  s.highestPeriod = s.fiveOctaves ? notePeriod(0, 8) : 4 * 856;
}

void triggerVoice(XMPlayer& player, PTChannel& c) {
  c.heardPeriod = c.period;
  c.mixer = takeVoiceFadingOut(player, c.mixer);  // the sound it leaves fades out quickly
  MixerChannel& m = *c.mixer;
  startVoice(m, c.sample);
  c.started = true;
  c.voiceSample = c.sample;
  if (!m.sample) return;
  // An offset past the end leaves the note a word of the sample, then its loop.
  const Sample& s = *m.sample;
  const uint32_t end = s.loopStart + s.loopLength;
  if (!c.offsetPastEnd && c.start < end)
    m.position = c.start;
  else if (s.loopMode == kLoopForward)
    m.position = s.loopStart;
  else
    m.sample = nullptr;
}

void swapSample(PTChannel& c) {
  // Before the first note the hardware plays nothing, and the next note starts the sample.
  if (!c.started || !c.sample) return;
  MixerChannel& m = *c.mixer;
  const Sample* before = c.voiceSample;
  c.voiceSample = c.sample;
  if (m.sample) {
    m.queued = c.sample == m.sample ? nullptr : c.sample;
    return;
  }
  // Nothing sounds. Where the channel plays an empty sample, the new one starts at once from its
  // beginning; where its sound has played to the end, nothing starts until the next note.
  if (before && !before->data && c.sample->data) startVoice(m, c.sample);
}

void setPeriod(MixerChannel& m, int32_t period, int32_t rate) {
  if (period <= 0) return;
  const uint64_t step = (kQuarterClock << 32) / (static_cast<uint64_t>(period) * static_cast<uint64_t>(rate));
  m.step = static_cast<uint32_t>(step >> 32);
  m.stepFraction = static_cast<uint32_t>(step);
}

void updateVoice(XMPlayer& player, const Song& song, PTChannel& c) {
  MixerChannel& m = *c.mixer;
  setPeriod(m, c.heardPeriod, player.rate);
  // Linear panning about the middle, spread by the separation: 50 % (the default) as openmpt123
  // and xmp play, channels at a quarter and three quarters; 100 % hard left and right.
  const float position =
      std::clamp(static_cast<float>(c.pan) * static_cast<float>(player.separation) / (50.0f * 128), -1.0f, 1.0f);
  const float level = static_cast<float>(std::clamp(c.heardVolume, 0, 64)) / 64 * 0.5f * channelGain(song.channelCount) *
                      player.targetScale;
  m.rampLength = 0;
  m.leftTarget = static_cast<int32_t>(level * (1 - position) / 2 + 0.5f);
  m.rightTarget = static_cast<int32_t>(level * (1 + position) / 2 + 0.5f);
}

}  // namespace pt
