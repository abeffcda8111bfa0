// The ProTracker rules' effects: what each does on a row's first tick and on the ticks after it,
// with the memory the tracker keeps, and where it writes the period and volume the hardware
// plays.
#include <algorithm>

#include "SoundLib/xmplay/rules/pt/PTRules.h"

namespace pt {
namespace {
void setVolume(PTChannel& c, int32_t volume) {
  c.volume = std::clamp(volume, 0, 64);
  c.heardVolume = c.volume;
}

// Portamentos stop at the ends of the tracker's range: 113 and 856 whatever the finetune, so a
// note beyond them (finetuned C-1 and B-3) plays where it is until a slide moves it.
void slidePeriod(const State& s, PTChannel& c, int32_t by) {
  c.period += by;
  if (by < 0) c.period = std::max(c.period, s.lowestPeriod);
  if (by > 0) c.period = std::min(c.period, s.highestPeriod);
  c.heardPeriod = c.period;
}

// Axy: up by x, or down by y where x is 0; no memory.
void volumeSlide(PTChannel& c, uint8_t p) { setVolume(c, c.volume + (high(p) ? high(p) : -low(p))); }

void tonePortamento(const State& s, PTChannel& c, uint8_t p) {
  if (p) c.tonePortamentoSpeed = p;
  if (c.wantedPeriod == 0) return;
  c.period = slideTowards(c.period, c.wantedPeriod, c.tonePortamentoSpeed * 4);
  if (c.period == c.wantedPeriod) c.wantedPeriod = 0;
  c.heardPeriod = c.glissando ? semitonePeriod(s, c.period, c.finetune) : c.period;
}

// Vibrato and tremolo keep each half of their parameter until a new one is given.
void remember(uint8_t& speed, uint8_t& depth, uint8_t p) {
  if (high(p)) speed = high(p);
  if (low(p)) depth = low(p);
}

void vibrato(PTChannel& c) {
  c.heardPeriod = c.period + 4 * waveDelta(c.vibratoWave, c.vibratoPosition, c.vibratoDepth, 7, c.vibratoPosition);
  c.vibratoPosition = (c.vibratoPosition + c.vibratoSpeed) & 63;
}

void tremolo(PTChannel& c) {
  const int32_t delta = waveDelta(c.tremoloWave, c.tremoloPosition, c.tremoloDepth, 6, c.vibratoPosition);
  c.heardVolume = std::clamp(c.volume + delta, 0, 64);
  c.tremoloPosition = (c.tremoloPosition + c.tremoloSpeed) & 63;
}

// 8xx and E8x pan the way the PC trackers that write them do (ProTracker ignores both): from
// left to right, at the default separation where openmpt123 puts them.
void setPan(PTChannel& c, int32_t position) { c.pan = std::clamp(position, 0, 256) - 128; }

void patternLoop(XMPlayer& player, Song& song, PTChannel& c, uint8_t x) {
  State& s = state(player);
  if (x == 0) {
    c.loopRow = static_cast<uint8_t>(song.row);
    return;
  }
  if (c.loopCount == 0)
    c.loopCount = x;
  else if (--c.loopCount == 0)
    return;
  s.breakRow = c.loopRow;
  s.loopJump = true;
}

void extendedRow(XMPlayer& player, Song& song, PTChannel& c, const Note& n) {
  const State& s = state(player);
  const uint8_t x = low(n.parameter);
  switch (high(n.parameter)) {
    // E0x, the LED filter, is not played.
    case extended::kFinePortamentoUp: slidePeriod(s, c, -4 * x); break;
    case extended::kFinePortamentoDown: slidePeriod(s, c, 4 * x); break;
    case extended::kGlissando: c.glissando = x != 0; break;
    case extended::kVibratoWave: c.vibratoWave = x; break;
    // Also without a note, for the notes and slides after it.
    case extended::kSetFinetune: c.finetune = x; break;
    case extended::kPatternLoop: patternLoop(player, song, c, x); break;
    case extended::kTremoloWave: c.tremoloWave = x; break;
    case 0x8: setPan(c, x * 17); break;
    case extended::kRetrig:
      // On the row's first tick a note has just started; without one the sample starts again.
      if (x && !n.note) triggerVoice(player, c);
      break;
    case extended::kFineVolumeUp: setVolume(c, c.volume + x); break;
    case extended::kFineVolumeDown: setVolume(c, c.volume - x); break;
    case extended::kNoteCut:
      if (x == 0) setVolume(c, 0);
      break;
    case extended::kPatternDelay:
      // Not while the row is being repeated already.
      if (state(player).delayLeft == 0) state(player).patternDelay = x + 1;
      break;
    default: break;
  }
}

void extendedTick(XMPlayer& player, const Song& song, PTChannel& c, const Note& n) {
  const uint8_t x = low(n.parameter);
  switch (high(n.parameter)) {
    case extended::kRetrig:
      if (x && song.tick % x == 0) triggerVoice(player, c);
      break;
    case extended::kNoteCut:
      if (song.tick == x) setVolume(c, 0);
      break;
    case extended::kNoteDelay:
      if (song.tick == x && n.note) triggerVoice(player, c);
      break;
    default: break;
  }
}
}  // namespace

void sampleOffset(PTChannel& c, uint8_t parameter) {
  if (parameter) c.sampleOffset = parameter;
  if (!c.sample || c.offsetPastEnd) return;
  const uint32_t by = uint32_t{c.sampleOffset} * 256;
  // What the tracker plays of the sample: up to its loop's end.
  const uint32_t end = c.sample->loopStart + c.sample->loopLength;
  if (c.start + by < end)
    c.start += by;
  else
    c.offsetPastEnd = true;
}

void effectRow(XMPlayer& player, Song& song, PTChannel& c, const Note& n) {
  State& s = state(player);
  const uint8_t p = n.parameter;
  switch (n.effect) {
    case effect::kSampleOffset: sampleOffset(c, p); break;
    case effect::kPositionJump:
      s.songPosition = p - 1;
      s.breakRow = 0;
      s.positionJump = true;
      break;
    case effect::kSetVolume: setVolume(c, p); break;
    case effect::kPatternBreak: {
      const int row = high(p) * 10 + low(p);
      s.breakRow = row > 63 ? 0 : row;
      s.positionJump = true;
      break;
    }
    case effect::kExtended: extendedRow(player, song, c, n); break;
    case effect::kSetSpeed:
      // F00 changes nothing; the tempo is heard from the next tick (PTRules.cpp).
      if (p >= 32 && !song.vblankTiming)
        song.bpm = p;
      else if (p > 0)
        song.speed = p;
      break;
    case effect::kSetPanning:
      setPan(c, p);
      c.heardPeriod = c.period;
      break;
    default:
      // The other effects start on the next tick; the hardware gets the channel's own period.
      c.heardPeriod = c.period;
      break;
  }
}

// The first tick of a pattern delay's repeat (the only tick 0 effectTick runs on) plays the row's
// fine slides again and its other effects as a later tick does, but for the volume slides.
void effectTick(XMPlayer& player, Song& song, PTChannel& c, const Note& n) {
  const State& s = state(player);
  const bool repeatStart = song.tick == 0;
  const uint8_t p = n.parameter;
  bool tremoloRan = false;
  if (repeatStart && n.effect == effect::kExtended) {
    const uint8_t x = low(p);
    switch (high(p)) {
      case extended::kFinePortamentoUp: slidePeriod(s, c, -4 * x); break;
      case extended::kFinePortamentoDown: slidePeriod(s, c, 4 * x); break;
      case extended::kFineVolumeUp: setVolume(c, c.volume + x); break;
      case extended::kFineVolumeDown: setVolume(c, c.volume - x); break;
      default: break;
    }
  }
  switch (n.effect) {
    case effect::kArpeggio:
      if (!p) break;
      switch (song.tick % 3) {
        case 0: c.heardPeriod = c.period; break;
        case 1: c.heardPeriod = arpeggioPeriod(s, c.period, c.finetune, high(p)); break;
        default: c.heardPeriod = arpeggioPeriod(s, c.period, c.finetune, low(p)); break;
      }
      break;
    case effect::kPortamentoUp: slidePeriod(s, c, -4 * p); break;
    case effect::kPortamentoDown: slidePeriod(s, c, 4 * p); break;
    case effect::kTonePortamento: tonePortamento(s, c, p); break;
    case effect::kVibrato:
      remember(c.vibratoSpeed, c.vibratoDepth, p);
      vibrato(c);
      break;
    case effect::kTonePortamentoVolumeSlide:
      tonePortamento(s, c, 0);
      if (!repeatStart) volumeSlide(c, p);
      break;
    case effect::kVibratoVolumeSlide:
      vibrato(c);
      if (!repeatStart) volumeSlide(c, p);
      break;
    case effect::kExtended: extendedTick(player, song, c, n); break;
    default:
      c.heardPeriod = c.period;
      if (n.effect == effect::kTremolo) {
        remember(c.tremoloSpeed, c.tremoloDepth, p);
        tremolo(c);
        tremoloRan = true;
      } else if (n.effect == effect::kVolumeSlide) {
        if (!repeatStart) volumeSlide(c, p);
      }
      break;
  }
  // A tremolo's level lasts only the ticks it runs on.
  if (!tremoloRan) c.heardVolume = c.volume;
}

}  // namespace pt
