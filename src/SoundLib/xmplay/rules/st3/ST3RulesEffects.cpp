// Scream Tracker 3's commands: what each does on a row's first tick and on the others. Most take
// the channel's one shared memory (the last parameter that was not zero) for their parameter; the
// tone portamento and the vibrato keep their own.
#include <algorithm>

#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

namespace st3 {
namespace {
// Vibrato and tremolo waves, 64 steps a cycle: sine, ramp (from 0 down to -124, then from 128
// down), square (and Scream Tracker's random, played as the sine), about -128..128; the sine's
// steps are 127 sin(2 pi p / 64) to the nearest.
int32_t wave(uint8_t type, uint8_t position) {
  constexpr uint8_t kSine[32] = {0,   12,  25,  37,  49,  60,  71,  81,  90,  98,  106, 112, 117, 122, 125, 126,
                                 127, 126, 125, 122, 117, 112, 106, 98,  90,  81,  71,  60,  49,  37,  25,  12};
  const int32_t p = position & 63;
  switch (type & 3) {
    case 1: return p < 32 ? -4 * p : 256 - 4 * p;
    case 2: return p < 32 ? 127 : -127;
    default: return p < 32 ? kSine[p] : -kSine[p - 32];
  }
}

void slideVolume(ST3Channel& c, int by) { c.volume = std::clamp(c.volume + by, 0, 64); }

// Dxy: up x (Dx0) or down y (D0y) on every tick but the first (on the first too where the song
// asks for fast slides, and for DF0 and D0F, which the tracker also takes for fine slides there);
// DxF up x and DFy down y once, on the first tick only; with both set otherwise, down y as D0y.
// Kxy and Lxy slide on no first tick.
void volumeSlide(const Song& song, ST3Channel& c, uint8_t p, bool firstTick, bool combined) {
  const uint8_t x = high(p), y = low(p);
  const bool everyTick = !firstTick || (!combined && (fastSlides(song) || x == 15 || y == 15));
  if (y == 0) {
    if (everyTick) slideVolume(c, x);
  } else if (x == 0) {
    if (everyTick) slideVolume(c, -y);
  } else if (y == 15) {
    if (firstTick && !combined) slideVolume(c, x);
  } else if (x == 15) {
    if (firstTick && !combined) slideVolume(c, -y);
  } else if (everyTick) {
    slideVolume(c, -y);  // both set: down, as D0y
  }
}

// Exx (down: the period grows) and Fxx (up): by xx x 4 a tick after the first; EFx and FFx by
// x x 4 and EEx and FEx by x on the first tick only.
void portamento(const Song& song, ST3Channel& c, uint8_t p, int sign, bool firstTick) {
  if (c.period <= 0) return;
  const uint8_t x = high(p);
  int32_t by = 0;
  if (x == 15) {
    if (firstTick) by = low(p) * 4;
  } else if (x == 14) {
    if (firstTick) by = low(p);
  } else if (!firstTick) {
    by = p * 4;
  }
  if (by == 0) return;
  // Right after an arpeggio the slide goes on from the note it played last.
  if (c.afterArpeggio) c.period = c.afterArpeggio;
  c.afterArpeggio = 0;
  c.period += sign * by;
  limitPeriod(song, c);
}

void tonePortamento(ST3Channel& c) {
  if (c.period <= 0 || c.tonePortamentoTarget <= 0) return;
  c.period = slideTowards(c.period, c.tonePortamentoTarget, c.tonePortamentoSpeed * 4);
  if (c.glissando) c.periodDelta = semitonePeriod(c.period, c.c2spd) - c.period;
}

// The wave times the depth over 16 (fine: 64), toward zero; on the row's first tick the wave where
// it stands, which moves on on the other ticks.
void vibrato(ST3Channel& c, int divisor, bool firstTick) {
  c.periodDelta = wave(c.vibratoWave, c.vibratoPosition) * c.vibratoDepth / divisor;
  if (!firstTick) c.vibratoPosition = static_cast<uint8_t>((c.vibratoPosition + c.vibratoSpeed) & 63);
}

void rememberVibrato(ST3Channel& c, uint8_t p) {
  if (high(p)) c.vibratoSpeed = high(p);
  if (low(p)) c.vibratoDepth = low(p);
}

void tremolo(ST3Channel& c, bool firstTick) {
  c.volumeDelta = wave(c.tremoloWave, c.tremoloPosition) * c.tremoloDepth / 64;
  if (!firstTick) c.tremoloPosition = static_cast<uint8_t>((c.tremoloPosition + c.tremoloSpeed) & 63);
}

// Ixy: sounding for x + 1 ticks, silent for y + 1, over and over.
void tremor(ST3Channel& c, uint8_t p) {
  if (c.tremorCount == 0) {
    c.tremorOn = !c.tremorOn;
    c.tremorCount = static_cast<uint8_t>((c.tremorOn ? high(p) : low(p)) + 1);
  }
  --c.tremorCount;
  c.tremorMuted = !c.tremorOn;
}

// Jxy: the note, x and y semitones above it, a tick each in turn from the row's first tick.
void arpeggio(const Song& song, ST3Channel& c, uint8_t p) {
  const int phase = song.tick % 3;
  if (phase == 0 || c.period <= 0) return;
  const int semitones = phase == 1 ? high(p) : low(p);
  c.arpeggioPeriod = notePeriod(std::min(c.note + semitones, int{kKeyboardNotes}), c.c2spd);
}

// Qxy: the note again every y ticks, its volume changed by x's rule.
void retrigger(XMPlayer& player, ST3Channel& c, uint8_t p) {
  const uint8_t ticks = low(p);
  if (ticks == 0 || c.cut || !c.sample) return;
  if (++c.retrigCount < ticks) return;
  c.retrigCount = 0;
  switch (high(p)) {
    case 1: case 2: case 3: case 4: case 5: slideVolume(c, -(1 << (high(p) - 1))); break;
    case 6: c.volume = c.volume * 2 / 3; break;
    case 7: c.volume /= 2; break;
    case 9: case 10: case 11: case 12: case 13: slideVolume(c, 1 << (high(p) - 9)); break;
    case 14: c.volume = std::min(64, c.volume * 3 / 2); break;
    case 15: c.volume = std::min(64, c.volume * 2); break;
    default: break;
  }
  triggerVoice(player, c, 0);
}

// The S commands on the row's first tick.
void specialRow(const Song& song, ST3Channel& c, const Note& n, Jumps& jumps, State& s) {
  const uint8_t x = low(n.parameter);
  switch (high(n.parameter)) {
    case special::kGlissando: c.glissando = x != 0; break;
    case special::kFinetune: {
      // The sample's C-4 frequency for finetunes -8..7, as the tracker's table has them.
      constexpr uint16_t kFinetunes[16] = {8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
                                           7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280};
      c.c2spd = kFinetunes[x];
      if (c.period > 0) c.period = notePeriod(c.note, c.c2spd);
      break;
    }
    case special::kVibratoWave: c.vibratoWave = x & 7; break;
    case special::kTremoloWave: c.tremoloWave = x & 7; break;
    case special::kSetPanning: c.panning = panOfSixteen(x); break;
    case special::kPatternLoop:
      if (x == 0) {
        s.loopRow = song.row;
      } else if (s.loopCount == 0) {
        s.loopCount = x;
        jumps.loop = true;
      } else if (--s.loopCount > 0) {
        jumps.loop = true;
      } else {
        // The loop is done: the next one starts after it.
        s.loopRow = song.row + 1;
      }
      break;
    case special::kFinePatternDelay:
      if (impulseCommands(song)) jumps.fineDelay += x;
      break;
    case special::kPatternDelay:
      // The first that asks for any, the left channels counted before the right ones (the
      // flow picks it: Jumps::delayLeft and delayRight).
      if (x == 0) break;
      if (song.channels[&c - s.channels].rightSide) {
        if (jumps.delayRight < 0) jumps.delayRight = x;
      } else if (jumps.delayLeft < 0) {
        jumps.delayLeft = x;
      }
      break;
    default: break;
  }
}
}  // namespace

void effectRow(XMPlayer& player, Song& song, ST3Channel& c, const Note& n, Jumps& jumps) {
  const uint8_t p = c.memory;
  switch (n.effect) {
    case letter::kSetSpeed:
      if (n.parameter) song.speed = n.parameter;
      break;
    case letter::kPositionJump: jumps.order = n.parameter; break;
    case letter::kPatternBreak: jumps.row = high(n.parameter) * 10 + low(n.parameter); break;
    case letter::kVolumeSlide: volumeSlide(song, c, p, true, false); break;
    case letter::kPortamentoDown: portamento(song, c, p, 1, true); break;
    case letter::kPortamentoUp: portamento(song, c, p, -1, true); break;
    case letter::kTonePortamento:
      if (n.parameter) c.tonePortamentoSpeed = n.parameter;
      break;
    case letter::kVibrato:
      rememberVibrato(c, n.parameter);
      vibrato(c, 16, true);
      break;
    case letter::kFineVibrato:
      rememberVibrato(c, n.parameter);
      vibrato(c, 64, true);
      break;
    case letter::kTremolo:
      if (high(p)) c.tremoloSpeed = high(p);
      if (low(p)) c.tremoloDepth = low(p);
      tremolo(c, true);
      break;
    case letter::kTremor: tremor(c, p); break;
    case letter::kVibratoVolumeSlide:
      vibrato(c, 16, true);
      volumeSlide(song, c, p, true, true);
      break;
    case letter::kTonePortamentoVolumeSlide: volumeSlide(song, c, p, true, true); break;
    case letter::kRetrig: break;
    case letter::kSpecial: specialRow(song, c, n, jumps, state(player)); break;
    case letter::kTempo:
      if (n.parameter >= 0x20) song.bpm = n.parameter;
      break;
    case letter::kGlobalVolume:
      if (n.parameter <= 64) song.globalVolume = n.parameter;
      break;
    case letter::kSetPanning:
      if (n.parameter <= 0x80) c.panning = n.parameter * 2;
      else if (n.parameter == 0xA4) c.panning = 128;  // surround, played in the middle
      break;
    default: break;
  }
  if (n.effect != letter::kTremor) c.tremorMuted = false;
}

void effectTick(XMPlayer& player, Song& song, ST3Channel& c, const Note& n) {
  const uint8_t p = c.memory;
  switch (n.effect) {
    case letter::kVolumeSlide: volumeSlide(song, c, p, false, false); break;
    case letter::kPortamentoDown: portamento(song, c, p, 1, false); break;
    case letter::kPortamentoUp: portamento(song, c, p, -1, false); break;
    case letter::kTonePortamento: tonePortamento(c); break;
    case letter::kVibrato: vibrato(c, 16, false); break;
    case letter::kFineVibrato: vibrato(c, 64, false); break;
    case letter::kTremor: tremor(c, p); break;
    case letter::kArpeggio: arpeggio(song, c, p); break;
    case letter::kVibratoVolumeSlide:
      vibrato(c, 16, false);
      volumeSlide(song, c, p, false, true);
      break;
    case letter::kTonePortamentoVolumeSlide:
      tonePortamento(c);
      volumeSlide(song, c, p, false, true);
      break;
    case letter::kRetrig: retrigger(player, c, p); break;
    case letter::kTremolo: tremolo(c, false); break;
    case letter::kSpecial:
      if (isSpecial(n, special::kNoteCut) && song.tick == low(n.parameter)) {
        cutVoice(player, c);
      } else if (isSpecial(n, special::kNoteDelay) && song.tick == low(n.parameter)) {
        takeNote(player, song, c, c.delayed);
      }
      break;
    default: break;
  }
}

}  // namespace st3
