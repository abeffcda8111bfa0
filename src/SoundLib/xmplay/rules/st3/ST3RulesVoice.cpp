// Periods and the voice side of Scream Tracker 3's rules: a note's period from the sample's C-4
// frequency, the limits slides keep to, and what a channel gives the mixer once a tick.
#include <algorithm>
#include <cstdlib>

#include "SoundLib/xmplay/formats/S3MReader.h"
#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

namespace st3 {
namespace {
// The periods of octave 0, C to B: ProTracker's of its lowest octave times sixteen; an octave up
// halves them.
constexpr int32_t kOctave0[12] = {27392, 25856, 24384, 23040, 21696, 20480, 19328, 18240, 17216, 16256, 15360, 14512};
// Hz x period: C-4 (period 1712) plays at 8363 Hz.
constexpr uint64_t kClock = uint64_t{8363} * 1712;
// Where the song asks for the Amiga's limits: ProTracker's 856 and 113 times four, the periods
// of C-3 and B-5 at 8363 Hz.
constexpr int32_t kAmigaHighest = 3424, kAmigaLowest = 452;
// Periods are 16-bit in the tracker; the output period never goes below this.
constexpr int32_t kHighestPeriod = 32767, kLowestOutput = 64;

// How loud a channel at full volume plays, both sides together, as openmpt123 plays S3M: the
// header's master volume over 128 (0 taken as 48, the least 16); in a mono song of the Sound
// Blaster versions and of the trackers besides Scream Tracker but OpenMPT, over 176. The Gravis
// Ultrasound versions' songs play as at 48, whatever they say.
float masterGain(const Song& song) {
  if (song.gus) return 48.0f / 128;
  int32_t volume = song.mixVolume == 0 ? 48 : std::max<int32_t>(song.mixVolume, 16);
  const bool mono = !song.stereo && !(song.savedBy == SavedBy::kModPlug && song.version >= 0x5000);
  return static_cast<float>(volume) / (mono ? 176 : 128);
}
}  // namespace

int32_t notePeriod(int note, uint32_t c2spd) {
  const int n = std::clamp(note, 1, int{kKeyboardNotes}) - 1;
  if (c2spd == 0) c2spd = 8363;
  return static_cast<int32_t>(int64_t{8363} * (kOctave0[n % 12] >> (n / 12)) / c2spd);
}

int32_t semitonePeriod(int32_t period, uint32_t c2spd) {
  int32_t best = period, distance = INT32_MAX;
  for (int note = 1; note <= kKeyboardNotes; ++note) {
    const int32_t p = notePeriod(note, c2spd);
    if (std::abs(p - period) < distance) {
      distance = std::abs(p - period);
      best = p;
    }
  }
  return best;
}

void limitPeriod(const Song& song, ST3Channel& c) {
  if (song.headerFlags & s3m::kAmigaLimits) c.period = std::clamp(c.period, kAmigaLowest, kAmigaHighest);
  c.period = std::min(c.period, kHighestPeriod);
  if (c.period < 0) c.period = 0;
}

bool fastSlides(const Song& song) { return (song.headerFlags & s3m::kFastVolumeSlides) || song.version == 0x1300; }

bool impulseCommands(const Song& song) {
  return song.savedBy == SavedBy::kImpulseTracker || song.savedBy == SavedBy::kModPlug ||
         song.savedBy == SavedBy::kSchismTracker;
}

void triggerVoice(XMPlayer& player, ST3Channel& c, uint32_t offset) {
  c.quickRamp = true;
  c.mixer = takeVoiceFadingOut(player, c.mixer);
  MixerChannel& m = *c.mixer;
  startVoice(m, c.sample);
  if (!m.sample || offset == 0) return;
  // Past the end of a sample without a loop there is nothing to play; past a loop's end, the
  // loop from its start.
  const Sample& s = *m.sample;
  if (offset < s.loopStart + s.loopLength)
    m.position = offset;
  else if (s.loopMode != kLoopNone)
    m.position = s.loopStart;
  else
    m.sample = nullptr;
}

namespace {
// A position in a forward loop, where the mixer plays copies of it (Sample::mixLoopLength), as
// the same place in the loop itself.
uint32_t inLoop(const Sample& s, uint32_t position) {
  if (s.loopMode == kLoopNone || s.loopLength == 0 || position < s.loopStart + s.loopLength) return position;
  return s.loopStart + (position - s.loopStart) % s.loopLength;
}
}  // namespace

void swapSample(ST3Channel& c, const Sample* sample) {
  MixerChannel& m = *c.mixer;
  c.sample = sample;
  // One that has played to its end starts again.
  if (!m.sample) {
    startVoice(m, sample);
    return;
  }
  const uint32_t position = inLoop(*sample, inLoop(*m.sample, m.position));
  if (!sample->data || position >= sample->loopStart + sample->loopLength) {
    m.sample = nullptr;
    return;
  }
  m.sample = sample;
  m.position = position;
  m.direction = kForward;
}

void cutVoice(XMPlayer& player, ST3Channel& c) {
  c.quickRamp = true;
  c.cut = true;
  c.mixer = takeVoiceFadingOut(player, c.mixer);
  c.mixer->sample = nullptr;
}

void stopVoice(XMPlayer& player, ST3Channel& c) {
  c.quickRamp = true;
  c.mixer = takeVoiceFadingOut(player, c.mixer);
  c.mixer->sample = nullptr;
  c.sample = nullptr;
}

void updateVoice(XMPlayer& player, const Song& song, ST3Channel& c) {
  if (c.sample && c.period <= 0) stopVoice(player, c);
  const int32_t volume = c.tremorMuted ? 0 : std::clamp(c.volume + c.volumeDelta, 0, 64);
  const float gain = static_cast<float>(volume) * static_cast<float>(song.globalVolume) * (1.0f / (64 * 64));
  const float level = gain * masterGain(song) * player.targetScale;
  const float pan = static_cast<float>(std::clamp(c.panning, 0, 256)) / 256;
  // A start, a cut and a volume set are heard at once (the player's short ramp), as is a level
  // coming back from nothing; slides and the like ramp across the tick.
  c.mixer->rampLength = c.quickRamp || c.silent ? player.rampLength : song.samplesPerTick;
  c.quickRamp = false;
  c.silent = gain == 0;
  c.mixer->leftTarget = static_cast<int32_t>(level * (1 - pan) + 0.5f);
  c.mixer->rightTarget = static_cast<int32_t>(level * pan + 0.5f);
  const int32_t period = std::max((c.arpeggioPeriod ? c.arpeggioPeriod : c.period) + c.periodDelta, kLowestOutput);
  if (period != c.stepPeriod) {
    const uint64_t step = (kClock << 32) / (static_cast<uint64_t>(period) * static_cast<uint64_t>(player.rate));
    c.step = static_cast<uint32_t>(step >> 32);
    c.stepFraction = static_cast<uint32_t>(step);
    c.stepPeriod = period;
  }
  c.mixer->step = c.step;
  c.mixer->stepFraction = c.stepFraction;
}

}  // namespace st3
