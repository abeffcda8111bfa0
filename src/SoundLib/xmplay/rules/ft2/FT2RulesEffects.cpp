// The FastTracker 2 rules' effects and volume column: what each does on a row's first tick and
// on the ticks after it, with the memory the tracker keeps for each.
#include <algorithm>

#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace ft2 {
namespace {
// Which note of an arpeggio sounds (0 the base, 1 x semitones up, 2 y up) with the given ticks
// left in the row, counted down from the speed as the tracker counts them: the cycle starts
// wherever the speed leaves it. Its table has 16 entries; from 16 ticks left on it reads on into
// the vibrato sine, whose first value is 0 and all others not 0 or 1.
int arpeggioStep(int ticksLeft) {
  if (ticksLeft < 16) return ticksLeft % 3;
  return ticksLeft == 16 ? 0 : 2;
}

// A tremor's silence lasts past the effect until the volume is set or slid again.
void setVolume(FT2Channel& c, int32_t volume) {
  c.volume = std::clamp(volume, 0, 64);
  c.tremorMuted = false;
}
void slideVolume(FT2Channel& c, int by) { setVolume(c, c.volume + by); }
void slidePeriod(FT2Channel& c, int by) {
  c.period = std::clamp(c.period + by, kMinPeriod, kMaxPeriod);
  c.glided = false;
}

// A vibrato bends the pitch where its wave stands and then moves on; on the first tick of a row
// that goes on with it, it bends without moving on.
void vibrato(FT2Channel& c, bool advance = true) {
  c.periodDelta = waveDelta(c.vibratoWave, c.vibratoPosition, c.vibratoDepth, 5, c.vibratoPosition);
  c.glided = false;
  if (advance) c.vibratoPosition = (c.vibratoPosition + c.vibratoSpeed) & 63;
}

void tremolo(FT2Channel& c, bool advance = true) {
  c.volumeDelta = waveDelta(c.tremoloWave, c.tremoloPosition, c.tremoloDepth, 6, c.vibratoPosition);
  if (advance) c.tremoloPosition = (c.tremoloPosition + c.tremoloSpeed) & 63;
}

// With glissando the slide is heard in semitones, each held until the next is reached; also on
// the first tick of a row, where the slide does not move.
void tonePortamento(const Song& song, FT2Channel& c, bool step = true) {
  if (c.tonePortamentoTarget == 0) return;  // no note has set a target yet
  if (step) c.period = slideTowards(c.period, c.tonePortamentoTarget, c.tonePortamentoSpeed * 4);
  c.glided = c.glissando;
  if (c.glissando)
    c.periodDelta = periodToSemitone(song, c.period, c.finetune, c.tonePortamentoTarget > c.period) - c.period;
}

void volumeSlide(FT2Channel& c) {
  const uint8_t v = c.volumeSlide;
  slideVolume(c, high(v) ? high(v) : -low(v));
}

void retrigger(XMPlayer& player, FT2Channel& c) {
  if (c.sample) triggerVoice(player, c, 0);
}

// E9x starts the envelopes and the auto-vibrato again as well (multi retrig does not); the key
// and the fadeout stay as they are.
void retriggerWithEnvelopes(XMPlayer& player, FT2Channel& c) {
  retrigger(player, c);
  c.volumeEnvelope = {0, 64, false};
  c.panningEnvelope = {0, 32, false};
  c.autoVibratoPosition = 0;
  c.autoVibratoTicks = 0;
}

// One tick more on the retrigger count, held at the most a byte counts (E90 alone never starts it
// again).
void countRetrigTick(FT2Channel& c) {
  if (c.retrigTicks < 255) ++c.retrigTicks;
}

// Multi retrig counts the ticks it runs on, notes or not, and retriggers on a tick that finds
// y or more counted since its last retrigger (every tick before a y is set); that tick then
// counts as the first of the next y. E9x keeps the same count: each tick after its row's first
// that it does not retrigger on counts one, and its retrigger starts the count again.
// On a row's first tick an instrument number starts the count at one, a note is not retriggered
// (the tick only counts), and a volume column that sets the volume leaves the tick out of the
// count; every retrigger on such a row takes the column's volume instead of Rxy's change.
void multiRetrig(XMPlayer& player, FT2Channel& c, const Note& n, bool firstTick) {
  const bool setsVolume = n.volume >= 0x10 && n.volume <= 0x50;
  if (firstTick) {
    if (n.instrument && (n.note == 0 || isNote(n.note))) c.retrigTicks = 1;
    if (setsVolume) return;
  }
  if (c.retrigTicks >= c.retrigInterval && !(firstTick && isNote(n.note))) {
    c.retrigTicks = 0;
    int32_t v = c.volume;
    switch (c.retrigVolume) {
      case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: v -= 1 << (c.retrigVolume - 1); break;
      case 0x6: v = (v >> 1) + (v >> 3); break;  // the tracker's two thirds are five eighths
      case 0x7: v /= 2; break;
      case 0x9: case 0xA: case 0xB: case 0xC: case 0xD: v += 1 << (c.retrigVolume - 9); break;
      case 0xE: v = v * 3 / 2; break;
      case 0xF: v *= 2; break;
      default: break;
    }
    c.volume = setsVolume ? n.volume - 0x10 : std::clamp(v, 0, 64);
    retrigger(player, c);
    // Beside an instrument number each retrigger starts the fade again. It uses up a release
    // with an instrument number: the key stays released and the fade goes on, through the next
    // note too.
    if (n.instrument) c.fadeout = 65536;
    c.releasedWithInstrument = false;
  }
  countRetrigTick(c);
}

}  // namespace

void keyOff(FT2Channel& c) {
  c.keyOff = true;
  // Without a volume envelope there is nothing to fade: the note stops sounding at once.
  if (!(c.instrument->volumeType & kEnvelopeOn)) {
    c.volume = 0;
    c.quickRamp = true;
  }
}

void resetVolume(FT2Channel& c) {
  setVolume(c, c.defaultVolume);
  c.panning = c.defaultPanning;
  c.quickRamp = true;
}

// On a row's first tick the volume column sets, fine-slides and sets up; on the others it slides.
void volumeColumnRow(FT2Channel& c, uint8_t v) {
  const auto [command, x] = decodeVolumeColumn(v);
  switch (command) {
    case VolumeCommand::kSetVolume:
      setVolume(c, x);
      c.quickRamp = true;
      break;
    // The column's slides keep no memory of their own, but leave theirs to the effects' (A00,
    // EA0 and EB0 go on with them).
    case VolumeCommand::kSlideDown:
      if (x) c.volumeSlide = x;
      break;
    case VolumeCommand::kSlideUp:
      if (x) c.volumeSlide = static_cast<uint8_t>(x << 4);
      break;
    case VolumeCommand::kFineSlideDown:
      if (x) c.fineVolumeDown = x;
      slideVolume(c, -x);
      break;
    case VolumeCommand::kFineSlideUp:
      if (x) c.fineVolumeUp = x;
      slideVolume(c, x);
      break;
    case VolumeCommand::kVibratoSpeed: c.vibratoSpeed = x; break;
    case VolumeCommand::kVibrato:
      if (x) c.vibratoDepth = x;
      vibrato(c, false);
      break;
    case VolumeCommand::kSetPanning:
      c.panning = x << 4;
      c.quickRamp = true;
      break;
    case VolumeCommand::kTonePortamento:
      if (x) c.tonePortamentoSpeed = static_cast<uint8_t>(x << 4);
      break;
    default: break;
  }
}

void volumeColumnTick(const Song& song, FT2Channel& c, uint8_t v) {
  const auto [command, x] = decodeVolumeColumn(v);
  switch (command) {
    case VolumeCommand::kSlideDown: slideVolume(c, -x); break;
    case VolumeCommand::kSlideUp: slideVolume(c, x); break;
    case VolumeCommand::kVibrato: vibrato(c); break;
    case VolumeCommand::kPanningLeft: c.panning = std::max(0, c.panning - x); break;
    case VolumeCommand::kPanningRight: c.panning = std::min(255, c.panning + x); break;
    case VolumeCommand::kTonePortamento: tonePortamento(song, c); break;
    default: break;
  }
}

void patternLoop(XMPlayer& player, const Song& song, FT2Channel& c, uint8_t x, Jumps& jumps) {
  if (x == 0) {
    c.loopRow = static_cast<uint16_t>(song.row);
    return;
  }
  const FT2Channel* channels = state(player).channels;
  // ModPlug Tracker runs one loop at a time: another begins once no channel's is under way.
  if (song.savedBy == SavedBy::kModPlug && c.loopCount == 0 &&
      std::any_of(channels, channels + song.channelCount, [](const FT2Channel& o) { return o.loopCount != 0; }))
    return;
  if (c.loopCount == 0 || --c.loopCount != 0) {
    if (c.loopCount == 0) c.loopCount = x;
    // FastTracker 2 keeps the row for the next pattern too.
    if (song.savedBy != SavedBy::kModPlug) state(player).breakRow = c.loopRow;
    jumps.loop = true;
    jumps.loopRow = c.loopRow;
  }
}

namespace {
void extendedRow(XMPlayer& player, Song& song, FT2Channel& c, const Note& n, Jumps& jumps) {
  const uint8_t x = low(n.parameter);
  switch (high(n.parameter)) {
    case extended::kFinePortamentoUp:
      if (x) c.finePortamentoUp = x;
      slidePeriod(c, -4 * c.finePortamentoUp);
      break;
    case extended::kFinePortamentoDown:
      if (x) c.finePortamentoDown = x;
      slidePeriod(c, 4 * c.finePortamentoDown);
      break;
    case extended::kGlissando: c.glissando = x != 0; break;
    case extended::kVibratoWave: c.vibratoWave = x; break;
    case extended::kTremoloWave: c.tremoloWave = x; break;
    case extended::kPatternLoop: patternLoop(player, song, c, x, jumps); break;
    case extended::kRetrig:
      // On the row's first tick only E90 restarts the note.
      if (x == 0) retriggerWithEnvelopes(player, c);
      break;
    case extended::kFineVolumeUp:
      if (x) c.fineVolumeUp = x;
      slideVolume(c, c.fineVolumeUp);
      break;
    case extended::kFineVolumeDown:
      if (x) c.fineVolumeDown = x;
      slideVolume(c, -c.fineVolumeDown);
      break;
    case extended::kNoteCut:
      if (x == 0) {
        c.volume = 0;
        c.quickRamp = true;
      }
      break;
    case extended::kPatternDelay:
      state(player).patternDelay = x;
      break;
    default: break;
  }
}

}  // namespace

void effectRow(XMPlayer& player, Song& song, FT2Channel& c, const Note& n, Jumps& jumps) {
  const uint8_t p = n.parameter, x = high(p), y = low(p);
  switch (n.effect) {
    case effect::kPortamentoUp:
      if (p) c.portamentoUp = p;
      break;
    case effect::kPortamentoDown:
      if (p) c.portamentoDown = p;
      break;
    case effect::kTonePortamento:
      if (p) c.tonePortamentoSpeed = p;
      tonePortamento(song, c, false);
      break;
    case effect::kVibrato:
      if (x) c.vibratoSpeed = x;
      if (y) c.vibratoDepth = y;
      vibrato(c, false);
      break;
    case effect::kVibratoVolumeSlide:
      vibrato(c, false);
      if (p) c.volumeSlide = p;
      break;
    case effect::kTonePortamentoVolumeSlide:
      tonePortamento(song, c, false);
      if (p) c.volumeSlide = p;
      break;
    case effect::kVolumeSlide:
      if (p) c.volumeSlide = p;
      break;
    case effect::kTremolo:
      if (x) c.tremoloSpeed = x;
      if (y) c.tremoloDepth = y;
      tremolo(c, false);
      break;
    case effect::kSetPanning:
      c.panning = p;
      c.quickRamp = true;
      break;
    case effect::kPositionJump:
      // A jump starts its pattern at the top, also undoing a break that an earlier channel set.
      jumps.order = p;
      state(player).breakRow = 0;
      break;
    case effect::kSetVolume:
      setVolume(c, p);
      c.quickRamp = true;
      break;
    case effect::kPatternBreak:
      state(player).breakRow = x * 10 + y;
      jumps.patternBreak = true;
      break;
    case effect::kExtended: extendedRow(player, song, c, n, jumps); break;
    case effect::kSetSpeed:
      if (p >= 32)
        setTempo(player, song, p);
      else if (p > 0)
        song.speed = p;
      break;
    case effect::kSetGlobalVolume:
      song.globalVolume = std::min<int32_t>(p, 64);
      for (int i = 0; i < song.channelCount; ++i) state(player).channels[i].quickRamp = true;
      break;
    case effect::kGlobalVolumeSlide:
      if (p) c.globalVolumeSlide = p;
      break;
    case effect::kEnvelopePosition:
      c.volumeEnvelope.tick = p;
      // The tracker moves the panning envelope as well, but only when the volume envelope
      // has its sustain flag set.
      if (c.instrument->volumeType & kEnvelopeSustain) c.panningEnvelope.tick = p;
      break;
    case effect::kPanningSlide:
      if (p) c.panningSlide = p;
      break;
    case effect::kMultiRetrig:
      if (x) c.retrigVolume = x;
      if (y) c.retrigInterval = y;
      multiRetrig(player, c, n, true);
      break;
    case effect::kTremor:
      if (p) c.tremor = p;
      break;
    case effect::kExtraFine:
      if (x == 1) {
        if (y) c.extraFinePortamentoUp = y;
        slidePeriod(c, -c.extraFinePortamentoUp);
      } else if (x == 2) {
        if (y) c.extraFinePortamentoDown = y;
        slidePeriod(c, c.extraFinePortamentoDown);
      }
      break;
    default: break;
  }
}

void effectTick(XMPlayer& player, Song& song, FT2Channel& c, const Note& n) {
  const uint8_t p = n.parameter, x = high(p), y = low(p);
  switch (n.effect) {
    case effect::kArpeggio:
      if (p) {
        const int step = arpeggioStep(song.speed - song.tick);
        if (step) c.periodDelta = periodPlusSemitones(song, c.period, step == 1 ? x : y, c.finetune) - c.period;
        c.glided = false;
      }
      break;
    case effect::kPortamentoUp: slidePeriod(c, -4 * c.portamentoUp); break;
    case effect::kPortamentoDown: slidePeriod(c, 4 * c.portamentoDown); break;
    case effect::kTonePortamento: tonePortamento(song, c); break;
    case effect::kVibrato: vibrato(c); break;
    case effect::kTonePortamentoVolumeSlide:
      tonePortamento(song, c);
      volumeSlide(c);
      break;
    case effect::kVibratoVolumeSlide:
      vibrato(c);
      volumeSlide(c);
      break;
    case effect::kTremolo: tremolo(c); break;
    case effect::kVolumeSlide: volumeSlide(c); break;
    case effect::kExtended:
      switch (x) {
        case extended::kRetrig:
          if (y && state(player).rowTick % y == 0) {
            retriggerWithEnvelopes(player, c);
            c.retrigTicks = 0;
          } else {
            countRetrigTick(c);
          }
          break;
        case extended::kNoteCut:
          if (state(player).rowTick == y) {
            c.volume = 0;
            c.quickRamp = true;
          }
          break;
        case extended::kNoteDelay:
          if (song.tick == y) {
            // A delay without a note plays the channel's last note again, as if it stood beside
            // it, with the row's instrument number if there is one.
            Note delayed = c.delayed;
            if (delayed.note == 0) delayed.note = c.noteNumber;
            // A delayed note, with or without an instrument number, starts the envelopes, the key
            // and the fade again; a delayed key off then releases them, the sample playing on
            // where it is.
            triggerInstrument(c);
            takeNote(player, song, c, delayed);
            // The row's fine volume slides are lost to the delay: neither its first tick nor the
            // delayed one runs them.
            const VolumeCommand command = decodeVolumeColumn(c.delayed.volume).command;
            if (command != VolumeCommand::kFineSlideDown && command != VolumeCommand::kFineSlideUp)
              volumeColumnRow(c, c.delayed.volume);
          }
          break;
        default: break;
      }
      break;
    case effect::kGlobalVolumeSlide: {
      const uint8_t v = c.globalVolumeSlide;
      song.globalVolume = std::clamp(song.globalVolume + (high(v) ? high(v) : -low(v)), 0, 64);
      break;
    }
    case effect::kKeyOff:
      if (song.tick == p) keyOff(c);
      break;
    case effect::kPanningSlide: {
      const uint8_t v = c.panningSlide;
      c.panning = std::clamp(c.panning + (high(v) ? high(v) : -low(v)), 0, 255);
      break;
    }
    case effect::kMultiRetrig: multiRetrig(player, c, n, false); break;
    case effect::kTremor: {
      // Past the end of its phase the tremor turns to the other and takes its length from the
      // parameter then: x + 1 ticks on, y + 1 off. The count goes on across rows and notes, and
      // the row's first tick leaves it; a channel starts in a used-up off phase.
      if (--c.tremorCount < 0) {
        c.tremorOn = !c.tremorOn;
        c.tremorCount = static_cast<int8_t>(c.tremorOn ? high(c.tremor) : low(c.tremor));
      }
      if (c.tremorOn == c.tremorMuted) c.quickRamp = true;
      c.tremorMuted = !c.tremorOn;
      break;
    }
    default: break;
  }
}

}  // namespace ft2
