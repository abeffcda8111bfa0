// Impulse Tracker's commands and volume column: what each does on a row's first tick and on the
// others, with the memories the tracker keeps for them.
#include <algorithm>

#include "SoundLib/xmplay/rules/it/ITRules.h"

namespace it {

int32_t wave(State& s, uint8_t type, uint8_t position) {
  constexpr int8_t kSineQuarter[65] = {0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24,
                                       26, 27, 29, 30, 32, 33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46,
                                       47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 56, 57, 58, 59, 59, 60, 60,
                                       61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};
  switch (type & 3) {
    case 1: return 64 - (position + 1) / 2;
    case 2: return position < 128 ? 64 : 0;
    case 3: return nextRandom(s) * 64 / 32768;
    default: {
      const int q = position & 63, half = position & 128 ? -1 : 1;
      return half * (position & 64 ? kSineQuarter[64 - q] : kSineQuarter[q]);
    }
  }
}

namespace {
// xy of D, N, P, W: x up (or y down) a tick after the first, xF and Fy once on the first tick;
// both set otherwise, nothing. Returns the change for this tick.
int32_t slideBy(uint8_t p, bool firstTick) {
  const int x = high(p), y = low(p);
  if (y == 0) return firstTick ? 0 : x;
  if (x == 0) return firstTick ? 0 : -y;
  if (y == 15) return firstTick ? x : 0;
  if (x == 15) return firstTick ? -y : 0;
  return 0;
}

void slideVolume(ITChannel& c, uint8_t p, bool firstTick) { c.volume = std::clamp(c.volume + slideBy(p, firstTick), 0, 64); }

// Exx and Fxx: xx x 4 a tick after the first; EFx and FFx x x 4, EEx and FEx x, on the first
// tick only.
void portamento(const Song& song, ITChannel& c, int sign, bool firstTick) {
  const uint8_t p = c.pitchSlide;
  int32_t by = 0;
  if (high(p) == 15) {
    if (firstTick) by = low(p) * 4;
  } else if (high(p) == 14) {
    if (firstTick) by = low(p);
  } else if (!firstTick) {
    by = p * 4;
  }
  if (by) slidePitch(song, c, sign * by);
}

void tonePortamento(const Song& song, ITChannel& c, int32_t speed) {
  if (!c.sample) return;
  if (linearSlides(song)) {
    if (!c.frequency || !c.targetFrequency || c.frequency == c.targetFrequency) return;
    const int32_t units = speed * 4;
    if (c.frequency < c.targetFrequency)
      c.frequency = std::min(shiftFrequency(c.frequency, units), c.targetFrequency);
    else
      c.frequency = std::max(shiftFrequency(c.frequency, -units), c.targetFrequency);
  } else {
    if (!c.period || !c.targetPeriod) return;
    c.period = slideTowards(c.period, c.targetPeriod, speed * 4);
  }
}

// The wave times the depth (H's in quarters, U's as given) over 32, moving on after it sounds.
void vibrato(State& s, const Song& song, ITChannel& c, int32_t depth, bool firstTick) {
  if (firstTick && !oldEffects(song)) return;
  // Old effects play the wave the other way round.
  const int32_t value = wave(s, c.vibratoWave, c.vibratoPosition) * depth / 32;
  c.pitchDelta = oldEffects(song) ? -value : value;
  c.vibratoPosition = static_cast<uint8_t>(c.vibratoPosition + c.vibratoSpeed * 4);
}

void rememberVibrato(ITChannel& c, uint8_t p, int depthScale) {
  if (high(p)) c.vibratoSpeed = high(p);
  if (low(p)) c.vibratoDepth = static_cast<uint8_t>(low(p) * depthScale);
}

// Ixy: sounding for x ticks, silent for y (old effects: x + 1 and y + 1), over and over.
void tremor(const Song& song, ITChannel& c) {
  const int extra = oldEffects(song) ? 1 : 0;
  if (c.tremorCount == 0) {
    c.tremorOn = !c.tremorOn;
    const int ticks = (c.tremorOn ? high(c.tremor) : low(c.tremor)) + extra;
    c.tremorCount = static_cast<uint8_t>(std::max(ticks, 1));
  }
  --c.tremorCount;
  c.tremorMuted = !c.tremorOn;
}

// Qxy: the note again every y ticks, its volume changed by x's rule.
void retrigger(XMPlayer& player, ITChannel& c) {
  const uint8_t ticks = low(c.retrig);
  if (ticks == 0 || !c.sample) return;
  if (++c.retrigCount < ticks) return;
  c.retrigCount = 0;
  switch (high(c.retrig)) {
    case 1: case 2: case 3: case 4: case 5: c.volume -= 1 << (high(c.retrig) - 1); break;
    case 6: c.volume = c.volume * 2 / 3; break;
    case 7: c.volume /= 2; break;
    case 9: case 10: case 11: case 12: case 13: c.volume += 1 << (high(c.retrig) - 9); break;
    case 14: c.volume = c.volume * 3 / 2; break;
    case 15: c.volume *= 2; break;
    default: break;
  }
  c.volume = std::clamp(c.volume, 0, 64);
  // The sample starts again on the same voice: no new-note action, the envelopes go on.
  MixerChannel& m = player.mixer[c.index];
  if (state(player).voices[c.index].instrument && m.sample) {
    startVoice(m, c.sample);
    state(player).voices[c.index].quickRamp = true;
  }
}

void specialRow(XMPlayer& player, const Song& song, ITChannel& c, uint8_t p, Jumps& jumps) {
  State& s = state(player);
  const uint8_t x = low(p);
  switch (high(p)) {
    case special::kGlissando: c.glissando = x != 0; break;
    case special::kVibratoWave: c.vibratoWave = x & 3; break;
    case special::kTremoloWave: c.tremoloWave = x & 3; break;
    case special::kPanbrelloWave: c.panbrelloWave = x & 3; break;
    case special::kFinePatternDelay: jumps.fineDelay += x; break;
    case special::kInstrumentControl: {
      ITVoice& v = s.voices[c.index];
      switch (x) {
        case 0: pastNotes(player, c, NewNoteAction::kCut); break;
        case 1: pastNotes(player, c, NewNoteAction::kNoteOff); break;
        case 2: pastNotes(player, c, NewNoteAction::kFade); break;
        case 3: v.action = NewNoteAction::kCut; break;
        case 4: v.action = NewNoteAction::kContinue; break;
        case 5: v.action = NewNoteAction::kNoteOff; break;
        case 6: v.action = NewNoteAction::kFade; break;
        case 7: case 8: v.envelopes[kVolumeEnvelope].on = x == 8; break;
        case 9: case 10: v.envelopes[kPanningEnvelope].on = x == 10; break;
        case 11: case 12: v.envelopes[kPitchEnvelope].on = x == 12; break;
        default: break;
      }
      break;
    }
    case special::kSetPanning:
      c.panning = x * 64 / 15;
      s.voices[c.index].panningOffset = 0;  // the pan set stands as given
      c.surround = false;
      break;
    case special::kSoundControl:
      // S91 surround, played as the centre; S90 back to the channel's panning.
      if (x <= 1) c.surround = x == 1;
      break;
    case special::kHighOffset: c.highOffset = x; break;
    case special::kPatternLoop:
      if (x == 0) {
        c.loopRow = song.row;
      } else if (c.loopCount == 0) {
        c.loopCount = x;
        jumps.loopRow = c.loopRow;
      } else if (--c.loopCount > 0) {
        jumps.loopRow = c.loopRow;
      } else {
        // The loop is done: the next one starts after it.
        c.loopRow = song.row + 1;
      }
      break;
    case special::kNoteCut: c.cutTick = std::max(1, int{x}); break;
    case special::kPatternDelay:
      if (jumps.rowDelay < 0) jumps.rowDelay = x;
      break;
    case special::kMacro: c.macro = x; break;
    default: break;
  }
}
}  // namespace

bool slidesToNote(const Note& n) {
  const int v = column(n);
  return n.effect == letter::kTonePortamento || n.effect == letter::kTonePortamentoVolumeSlide || (v >= 193 && v <= 202);
}

void effectRow(XMPlayer& player, Song& song, ITChannel& c, const Note& n, Jumps& jumps) {
  State& s = state(player);
  const uint8_t p = n.parameter;
  switch (n.effect) {
    case letter::kSetSpeed:
      if (p) song.speed = p;
      break;
    case letter::kPositionJump: jumps.order = p; break;
    case letter::kPatternBreak: jumps.row = p; break;
    case letter::kVolumeSlide:
      if (p) c.volumeSlide = p;
      slideVolume(c, c.volumeSlide, true);
      break;
    case letter::kPortamentoDown:
    case letter::kPortamentoUp:
      if (p) {
        c.pitchSlide = p;
        if (!compatibleGxx(song)) c.portamentoSpeed = p;
      }
      portamento(song, c, n.effect == letter::kPortamentoUp ? 1 : -1, true);
      break;
    case letter::kTonePortamento:
      if (p) {
        c.portamentoSpeed = p;
        if (!compatibleGxx(song)) c.pitchSlide = p;
      }
      break;
    case letter::kVibrato:
      rememberVibrato(c, p, 4);
      // H and the volume column's vibrato share one memory, where the column's depth comes first.
      if (column(n) > 203 && column(n) <= 212) c.vibratoDepth = static_cast<uint8_t>((column(n) - 203) * 4);
      vibrato(s, song, c, c.vibratoDepth, true);
      break;
    case letter::kFineVibrato:
      rememberVibrato(c, p, 1);
      vibrato(s, song, c, c.vibratoDepth, true);
      break;
    case letter::kTremor:
      if (p) c.tremor = p;
      tremor(song, c);
      break;
    case letter::kArpeggio:
      if (p) c.arpeggioMemory = p;
      break;
    case letter::kVibratoVolumeSlide:
    case letter::kTonePortamentoVolumeSlide:
      if (p) c.volumeSlide = p;
      slideVolume(c, c.volumeSlide, true);
      if (n.effect == letter::kVibratoVolumeSlide) vibrato(s, song, c, c.vibratoDepth, true);
      break;
    case letter::kChannelVolume:
      if (p <= 64) c.channelVolume = p;
      break;
    case letter::kChannelVolumeSlide:
      if (p) c.channelVolumeSlide = p;
      c.channelVolume = std::clamp(c.channelVolume + slideBy(c.channelVolumeSlide, true), 0, 64);
      break;
    case letter::kSampleOffset:
      if (p) c.offset = p;
      break;
    case letter::kPanningSlide:
      if (p) c.panningSlide = p;
      // Px0 to the left, P0x to the right.
      c.panning = std::clamp(c.panning - slideBy(c.panningSlide, true), 0, 64);
      break;
    case letter::kRetrig:
      if (p) c.retrig = p;
      if (!isNote(n.note)) retrigger(player, c);
      break;
    case letter::kTremolo:
      if (high(p)) c.tremoloSpeed = high(p);
      if (low(p)) c.tremoloDepth = low(p);
      break;
    case letter::kSpecial:
      if (p) c.special = p;
      specialRow(player, song, c, c.special, jumps);
      break;
    case letter::kTempo:
      if (p) c.tempo = p;
      if (c.tempo >= 0x20) song.bpm = c.tempo;
      break;
    case letter::kGlobalVolume:
      if (p <= 0x80) song.globalVolume = p;
      break;
    case letter::kGlobalVolumeSlide:
      if (p) c.globalVolumeSlide = p;
      song.globalVolume = std::clamp(song.globalVolume + slideBy(c.globalVolumeSlide, true), 0, 128);
      break;
    case letter::kSetPanning:
      c.panning = (p * 64 + 127) / 255;
      s.voices[c.index].panningOffset = 0;  // the pan set stands as given, as S8x's
      c.surround = false;
      break;
    case letter::kPanbrello:
      if (high(p)) c.panbrelloSpeed = high(p);
      if (low(p)) c.panbrelloDepth = low(p);
      break;
    case letter::kMidiMacro: runMacro(player, song, c, p); break;
    default: break;
  }
}

void effectTick(XMPlayer& player, Song& song, ITChannel& c, const Note& n) {
  State& s = state(player);
  switch (n.effect) {
    case letter::kVolumeSlide: slideVolume(c, c.volumeSlide, false); break;
    case letter::kPortamentoDown: portamento(song, c, -1, false); break;
    case letter::kPortamentoUp: portamento(song, c, 1, false); break;
    case letter::kTonePortamento: tonePortamento(song, c, c.portamentoSpeed); break;
    case letter::kVibrato:
    case letter::kFineVibrato: vibrato(s, song, c, c.vibratoDepth, false); break;
    case letter::kTremor: tremor(song, c); break;
    case letter::kArpeggio: {
      const int phase = song.tick % 3;
      c.arpeggio = phase == 0 ? 0 : phase == 1 ? high(c.arpeggioMemory) : low(c.arpeggioMemory);
      break;
    }
    case letter::kVibratoVolumeSlide:
      vibrato(s, song, c, c.vibratoDepth, false);
      slideVolume(c, c.volumeSlide, false);
      break;
    case letter::kTonePortamentoVolumeSlide:
      tonePortamento(song, c, c.portamentoSpeed);
      slideVolume(c, c.volumeSlide, false);
      break;
    case letter::kChannelVolumeSlide:
      c.channelVolume = std::clamp(c.channelVolume + slideBy(c.channelVolumeSlide, false), 0, 64);
      break;
    case letter::kPanningSlide: c.panning = std::clamp(c.panning - slideBy(c.panningSlide, false), 0, 64); break;
    case letter::kRetrig: retrigger(player, c); break;
    case letter::kTremolo:
      c.volumeDelta = wave(s, c.tremoloWave, c.tremoloPosition) * c.tremoloDepth / 32;
      c.tremoloPosition = static_cast<uint8_t>(c.tremoloPosition + c.tremoloSpeed * 4);
      break;
    case letter::kTempo:
      if (c.tempo < 0x10) song.bpm = std::max(32, song.bpm - c.tempo);
      else if (c.tempo < 0x20) song.bpm = std::min(255, song.bpm + (c.tempo & 15));
      break;
    case letter::kGlobalVolumeSlide:
      song.globalVolume = std::clamp(song.globalVolume + slideBy(c.globalVolumeSlide, false), 0, 128);
      break;
    case letter::kPanbrello:
      c.panningDelta = wave(s, c.panbrelloWave, c.panbrelloPosition) * c.panbrelloDepth / 32;
      c.panbrelloPosition = static_cast<uint8_t>(c.panbrelloPosition + c.panbrelloSpeed);
      break;
    default: break;
  }
}

namespace {
// The volume column's tone portamento speeds, g0 to g9.
constexpr uint8_t kColumnPortamento[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};
}  // namespace

// 0..64 the volume, a and b fine slides up and down on the first tick, c and d slides on the
// others (the four share a memory), e and f pitch slides four times as fast as E and F (sharing
// their memory), 128..192 the panning, g a tone portamento (sharing G's memory), h a vibrato's
// depth.
void columnRow(const Song& song, ITChannel& c, const Note& n) {
  const int v = column(n);
  if (v < 0) return;
  if (v <= 64) {
    c.volume = v;
  } else if (v <= 84) {
    const int x = (v - 65) % 10;
    if (x) c.columnSlide = static_cast<uint8_t>(x);
    c.volume = std::clamp(c.volume + (v < 75 ? c.columnSlide : -c.columnSlide), 0, 64);
  } else if (v <= 104) {
    const int x = (v - 85) % 10;
    if (x) c.columnSlide = static_cast<uint8_t>(x);
  } else if (v <= 124) {
    const int x = (v - 105) % 10;
    if (x) c.pitchSlide = static_cast<uint8_t>(x * 4);
  } else if (v >= 128 && v <= 192) {
    c.panning = v - 128;
    c.surround = false;
  } else if (v >= 193 && v <= 202) {
    const uint8_t speed = kColumnPortamento[v - 193];
    if (speed) {
      c.portamentoSpeed = speed;
      if (!compatibleGxx(song)) c.pitchSlide = speed;
    }
  } else if (v >= 203 && v <= 212) {
    if (v > 203) c.vibratoDepth = static_cast<uint8_t>((v - 203) * 4);
  }
}

void columnTick(XMPlayer& player, const Song& song, ITChannel& c, const Note& n) {
  const int v = column(n);
  if (v >= 85 && v <= 94) {
    c.volume = std::min(64, c.volume + c.columnSlide);
  } else if (v >= 95 && v <= 104) {
    c.volume = std::max(0, c.volume - c.columnSlide);
  } else if (v >= 105 && v <= 124) {
    slidePitch(song, c, (v < 115 ? -4 : 4) * c.pitchSlide);
  } else if (v >= 193 && v <= 202 && n.effect != letter::kTonePortamento && n.effect != letter::kTonePortamentoVolumeSlide) {
    tonePortamento(song, c, c.portamentoSpeed);
  } else if (v >= 203 && v <= 212 && n.effect != letter::kVibrato && n.effect != letter::kVibratoVolumeSlide) {
    // As H with the channel's speed and depth.
    vibrato(state(player), song, c, c.vibratoDepth, false);
  }
}

}  // namespace it
