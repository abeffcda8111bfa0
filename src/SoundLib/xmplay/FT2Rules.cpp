// The FastTracker 2 rules: rows, notes and every effect with the tracker's memories and tick
// behaviour. What the channels come to on each tick is worked out in FT2Voice.cpp.
#include "SoundLib/xmplay/FT2Rules.h"

#include <algorithm>
#include <cstring>

namespace ft2 {
namespace {
enum Effect : uint8_t {
  kArpeggio = 0x0,
  kPortamentoUp = 0x1,
  kPortamentoDown = 0x2,
  kTonePortamento = 0x3,
  kVibrato = 0x4,
  kTonePortamentoVolumeSlide = 0x5,
  kVibratoVolumeSlide = 0x6,
  kTremolo = 0x7,
  kSetPanning = 0x8,
  kSampleOffset = 0x9,
  kVolumeSlide = 0xA,
  kPositionJump = 0xB,
  kSetVolume = 0xC,
  kPatternBreak = 0xD,
  kExtended = 0xE,
  kSetSpeed = 0xF,
  kSetGlobalVolume = 16,    // G
  kGlobalVolumeSlide = 17,  // H
  kKeyOffAt = 20,           // K
  kEnvelopePosition = 21,   // L
  kPanningSlide = 25,       // P
  kMultiRetrig = 27,        // R
  kTremor = 29,             // T
  kExtraFine = 33,          // X
};

enum Extended : uint8_t {
  kFinePortamentoUp = 0x1,
  kFinePortamentoDown = 0x2,
  kGlissando = 0x3,
  kVibratoWave = 0x4,
  kSetFinetune = 0x5,
  kPatternLoop = 0x6,
  kTremoloWave = 0x7,
  kRetrig = 0x9,
  kFineVolumeUp = 0xA,
  kFineVolumeDown = 0xB,
  kNoteCut = 0xC,
  kNoteDelay = 0xD,
  kPatternDelay = 0xE,
};

// The vibrato and tremolo sine: half a wave in 32 steps, 0..255.
constexpr uint8_t kSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                               255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// What the row's effects ask of the song: a position jump (Bxx), a pattern break (Dxx), a
// pattern loop's jump back (E6x). The row they go to is the song's break row.
struct Jumps {
  int32_t order = -1;
  bool patternBreak = false;
  bool loop = false;
};

uint8_t high(uint8_t v) { return v >> 4; }
uint8_t low(uint8_t v) { return v & 15; }
bool isNote(uint8_t note) { return note >= 1 && note <= 96; }

bool delaysNote(const Note& n) {
  return n.effect == kExtended && high(n.parameter) == kNoteDelay && low(n.parameter) != 0;
}

bool slidesToNote(const Note& n) {
  return n.effect == kTonePortamento || n.effect == kTonePortamentoVolumeSlide || high(n.volume) == 0xF;
}

const Instrument* instrumentNumbered(const Song& song, int number) {
  if (number < 1 || number > song.instrumentCount) return nullptr;
  return &song.instruments[number - 1];
}

const Sample* sampleFor(const Instrument& ins, int note) {
  if (!isNote(static_cast<uint8_t>(note))) return nullptr;
  const int number = ins.noteToSample[note - 1];
  return number < ins.sampleCount ? ins.samples[number] : nullptr;
}

// Vibrato and tremolo: the wave's size at a position of 0..63 (sine, ramp, square) times the
// depth, scaled, positive in the first half of the cycle and negative in the second. The ramp
// turns over in the second half of `rampHalf`'s cycle: the wave's own position for a vibrato,
// but the vibrato's for a tremolo, as in the tracker.
int32_t waveDelta(uint8_t type, uint8_t position, uint8_t depth, int shift, uint8_t rampHalf) {
  const int32_t step = position & 31;
  int32_t v;
  switch (type & 3) {
    case 0: v = kSine[step]; break;
    case 1: v = rampHalf < 32 ? step * 8 : 255 - step * 8; break;
    default: v = 255; break;
  }
  v = v * depth >> shift;
  return position < 32 ? v : -v;
}

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

void keyOff(FT2Channel& c) {
  c.keyOff = true;
  // Without a volume envelope there is nothing to fade: the note stops sounding at once.
  if (!(c.instrument->volumeType & kEnvelopeOn)) {
    c.volume = 0;
    c.quickRamp = true;
  }
}

// The sample's own volume and panning, as an instrument number sets them.
void resetVolume(FT2Channel& c, const Sample* sample) {
  if (!sample) return;
  setVolume(c, sample->volume);
  c.panning = sample->panning;
  c.quickRamp = true;
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
  const int32_t speed = c.tonePortamentoSpeed * 4;
  if (step && c.period < c.tonePortamentoTarget)
    c.period = std::min(c.period + speed, c.tonePortamentoTarget);
  else if (step && c.period > c.tonePortamentoTarget)
    c.period = std::max(c.period - speed, c.tonePortamentoTarget);
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

// Multi retrig counts the ticks it runs on, notes or not, and retriggers on a tick that finds
// y or more counted since its last retrigger; that tick then counts as the first of the next y.
// On a row's first tick an instrument number starts the count at one, a note is not retriggered
// (the tick only counts), and a volume column that sets the volume leaves the tick out of the
// count; every retrigger on such a row takes the column's volume instead of Rxy's change.
void multiRetrig(XMPlayer& player, FT2Channel& c, const Note& n, bool firstTick) {
  const bool setsVolume = n.volume >= 0x10 && n.volume <= 0x50;
  if (firstTick) {
    if (n.instrument && (n.note == 0 || isNote(n.note))) c.retrigTicks = 1;
    if (setsVolume) return;
  }
  if (c.retrigTicks >= std::max<uint8_t>(c.retrigInterval, 1) && !(firstTick && isNote(n.note))) {
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
  }
  // At most y + 1 while the effect runs: the count cannot wrap.
  ++c.retrigTicks;
}

// A note, an instrument number, or both, as the row (or a note delay) brings them.
void takeNote(XMPlayer& player, Song& song, FT2Channel& c, const Note& n) {
  if (n.instrument) c.instrumentNumber = n.instrument;
  if (n.note == kKeyOff) {
    // With an instrument number the note is released all the same, at the sample's volume; the
    // next note, even without a number, then takes the key back and the fade with it.
    keyOff(c);
    if (n.instrument && instrumentNumbered(song, n.instrument)) {
      resetVolume(c, c.sample);
      c.releasedWithInstrument = true;
    }
    return;
  }
  const Instrument* ins = instrumentNumbered(song, c.instrumentNumber);
  if (isNote(n.note) && slidesToNote(n)) {
    // The note is where the sounding one slides to; nothing restarts.
    if (c.sample)
      c.tonePortamentoTarget = notePeriod(song, n.note - 1 + c.sample->relativeNote, c.finetune);
  } else if (isNote(n.note)) {
    const Sample* sample = ins ? sampleFor(*ins, n.note) : nullptr;
    if (!sample || !ins) {
      // An instrument or keyboard slot without a sample: the channel falls silent.
      c.sample = nullptr;
      stopVoice(player, c);
      return;
    }
    c.instrument = ins;
    c.sample = sample;
    c.noteNumber = n.note;
    c.finetune = n.effect == kExtended && high(n.parameter) == kSetFinetune
                     ? static_cast<int8_t>(low(n.parameter) * 16 - 128)
                     : sample->finetune;
    c.realNote = static_cast<int16_t>(n.note - 1 + sample->relativeNote);
    c.period = c.tonePortamentoTarget = notePeriod(song, c.realNote, c.finetune);
    c.glided = false;
    uint32_t offset = 0;
    if (n.effect == kSampleOffset) {
      if (n.parameter) c.sampleOffset = n.parameter;
      offset = uint32_t{c.sampleOffset} * 256;
    }
    triggerVoice(player, c, offset);
    if (c.releasedWithInstrument) {
      c.keyOff = false;
      c.fadeout = 65536;
      c.releasedWithInstrument = false;
    }
    if (!(c.vibratoWave & 4)) c.vibratoPosition = 0;
    if (!(c.tremoloWave & 4)) c.tremoloPosition = 0;
    c.tremorTicks = 0;
  }
  if (n.instrument && ins) {
    // An instrument number resets volume and panning to those of the sounding sample and starts
    // the envelopes again, also without a note and under a tone portamento: the envelopes are the
    // named instrument's from here, its samples play from its next note.
    c.instrument = ins;
    resetVolume(c, c.sample);
    restartEnvelopes(c);
  }
}

void volumeColumnRow(FT2Channel& c, uint8_t v) {
  const uint8_t x = low(v);
  if (v >= 0x10 && v <= 0x50) {
    setVolume(c, v - 0x10);
    c.quickRamp = true;
    return;
  }
  switch (high(v)) {
    case 0x8: slideVolume(c, -x); break;
    case 0x9: slideVolume(c, x); break;
    case 0xA: c.vibratoSpeed = x; break;
    case 0xB:
      if (x) c.vibratoDepth = x;
      vibrato(c, false);
      break;
    case 0xC:
      c.panning = x << 4;
      c.quickRamp = true;
      break;
    case 0xF:
      if (x) c.tonePortamentoSpeed = static_cast<uint8_t>(x << 4);
      break;
    default: break;
  }
}

void volumeColumnTick(const Song& song, FT2Channel& c, uint8_t v) {
  const uint8_t x = low(v);
  switch (high(v)) {
    case 0x6: slideVolume(c, -x); break;
    case 0x7: slideVolume(c, x); break;
    case 0xB: vibrato(c); break;
    case 0xD: c.panning = std::max(0, c.panning - x); break;
    case 0xE: c.panning = std::min(255, c.panning + x); break;
    case 0xF: tonePortamento(song, c); break;
    default: break;
  }
}

void extendedRow(XMPlayer& player, Song& song, FT2Channel& c, const Note& n, Jumps& jumps) {
  const uint8_t x = low(n.parameter);
  switch (high(n.parameter)) {
    case kFinePortamentoUp:
      if (x) c.finePortamentoUp = x;
      slidePeriod(c, -4 * c.finePortamentoUp);
      break;
    case kFinePortamentoDown:
      if (x) c.finePortamentoDown = x;
      slidePeriod(c, 4 * c.finePortamentoDown);
      break;
    case kGlissando: c.glissando = x != 0; break;
    case kVibratoWave: c.vibratoWave = x; break;
    case kTremoloWave: c.tremoloWave = x; break;
    case kPatternLoop:
      if (x == 0) {
        c.loopRow = static_cast<uint16_t>(song.row);
      } else if (c.loopCount == 0 || --c.loopCount != 0) {
        if (c.loopCount == 0) c.loopCount = x;
        song.breakRow = c.loopRow;
        jumps.loop = true;
      }
      break;
    case kRetrig:
      // On the row's first tick only E90 restarts the note.
      if (x == 0) retrigger(player, c);
      break;
    case kFineVolumeUp:
      if (x) c.fineVolumeUp = x;
      slideVolume(c, c.fineVolumeUp);
      break;
    case kFineVolumeDown:
      if (x) c.fineVolumeDown = x;
      slideVolume(c, -c.fineVolumeDown);
      break;
    case kNoteCut:
      if (x == 0) {
        c.volume = 0;
        c.quickRamp = true;
      }
      break;
    case kPatternDelay:
      song.patternDelay = x;
      break;
    default: break;
  }
}

void effectRow(XMPlayer& player, Song& song, FT2Channel& c, const Note& n, Jumps& jumps) {
  const uint8_t p = n.parameter, x = high(p), y = low(p);
  switch (n.effect) {
    case kPortamentoUp:
      if (p) c.portamentoUp = p;
      break;
    case kPortamentoDown:
      if (p) c.portamentoDown = p;
      break;
    case kTonePortamento:
      if (p) c.tonePortamentoSpeed = p;
      tonePortamento(song, c, false);
      break;
    case kVibrato:
      if (x) c.vibratoSpeed = x;
      if (y) c.vibratoDepth = y;
      vibrato(c, false);
      break;
    case kVibratoVolumeSlide:
      vibrato(c, false);
      if (p) c.volumeSlide = p;
      break;
    case kTonePortamentoVolumeSlide:
      tonePortamento(song, c, false);
      if (p) c.volumeSlide = p;
      break;
    case kVolumeSlide:
      if (p) c.volumeSlide = p;
      break;
    case kTremolo:
      if (x) c.tremoloSpeed = x;
      if (y) c.tremoloDepth = y;
      tremolo(c, false);
      break;
    case kSetPanning:
      c.panning = p;
      c.quickRamp = true;
      break;
    case kPositionJump:
      // A jump starts its pattern at the top, also undoing a break that an earlier channel set.
      jumps.order = p;
      song.breakRow = 0;
      break;
    case kSetVolume:
      setVolume(c, p);
      c.quickRamp = true;
      break;
    case kPatternBreak:
      song.breakRow = x * 10 + y;
      jumps.patternBreak = true;
      break;
    case kExtended: extendedRow(player, song, c, n, jumps); break;
    case kSetSpeed:
      if (p >= 32)
        setTempo(player, song, p);
      else if (p > 0)
        song.speed = p;
      break;
    case kSetGlobalVolume:
      song.globalVolume = std::min<int32_t>(p, 64);
      for (int i = 0; i < song.channelCount; ++i) player.ft2[i].quickRamp = true;
      break;
    case kGlobalVolumeSlide:
      if (p) c.globalVolumeSlide = p;
      break;
    case kKeyOffAt:
      if (p == 0) keyOff(c);
      break;
    case kEnvelopePosition:
      c.volumeEnvelope.tick = p;
      // The tracker moves the panning envelope as well, but only when the volume envelope
      // has its sustain flag set.
      if (c.instrument->volumeType & kEnvelopeSustain) c.panningEnvelope.tick = p;
      break;
    case kPanningSlide:
      if (p) c.panningSlide = p;
      break;
    case kMultiRetrig:
      if (x) c.retrigVolume = x;
      if (y) c.retrigInterval = y;
      multiRetrig(player, c, n, true);
      break;
    case kTremor:
      if (p) c.tremor = p;
      break;
    case kExtraFine:
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
    case kArpeggio:
      if (p) {
        const int step = arpeggioStep(song.speed - song.tick);
        if (step) c.periodDelta = periodPlusSemitones(song, c.period, step == 1 ? x : y, c.finetune) - c.period;
        c.glided = false;
      }
      break;
    case kPortamentoUp: slidePeriod(c, -4 * c.portamentoUp); break;
    case kPortamentoDown: slidePeriod(c, 4 * c.portamentoDown); break;
    case kTonePortamento: tonePortamento(song, c); break;
    case kVibrato: vibrato(c); break;
    case kTonePortamentoVolumeSlide:
      tonePortamento(song, c);
      volumeSlide(c);
      break;
    case kVibratoVolumeSlide:
      vibrato(c);
      volumeSlide(c);
      break;
    case kTremolo: tremolo(c); break;
    case kVolumeSlide: volumeSlide(c); break;
    case kExtended:
      switch (x) {
        case kRetrig:
          if (y && song.tick % y == 0) retrigger(player, c);
          break;
        case kNoteCut:
          if (song.tick == y) {
            c.volume = 0;
            c.quickRamp = true;
          }
          break;
        case kNoteDelay:
          if (song.tick == y) {
            // A delay without a note starts the sounding one again.
            if (c.delayed.note == 0) retrigger(player, c);
            takeNote(player, song, c, c.delayed);
            if (c.delayed.volume) volumeColumnRow(c, c.delayed.volume);
          }
          break;
        default: break;
      }
      break;
    case kGlobalVolumeSlide: {
      const uint8_t v = c.globalVolumeSlide;
      song.globalVolume = std::clamp(song.globalVolume + (high(v) ? high(v) : -low(v)), 0, 64);
      break;
    }
    case kKeyOffAt:
      if (song.tick == p) keyOff(c);
      break;
    case kPanningSlide: {
      const uint8_t v = c.panningSlide;
      c.panning = std::clamp(c.panning + (high(v) ? high(v) : -low(v)), 0, 255);
      break;
    }
    case kMultiRetrig: multiRetrig(player, c, n, false); break;
    case kTremor: {
      const int on = high(c.tremor) + 1, off = low(c.tremor) + 1;
      const bool muted = c.tremorTicks % (on + off) >= on;
      if (muted != c.tremorMuted) c.quickRamp = true;
      c.tremorMuted = muted;
      c.tremorTicks = static_cast<uint8_t>((c.tremorTicks + 1) % (on + off));
      break;
    }
    default: break;
  }
}

int32_t patternRows(const Song& song, int32_t order) { return song.patterns[song.orders[order]].rows; }

int32_t wrapOrder(const Song& song, int32_t order) {
  if (order < song.songLength) return order;
  return song.restartPosition < song.songLength ? song.restartPosition : 0;
}

// Where the song goes after this row: a jump or break, a pattern loop, or the next row. The
// next pattern starts at the break row, which a loop leaves where it jumped to: after a loop
// the tracker starts the following pattern at the loop's first row.
void planNextRow(Song& song, const Jumps& jumps) {
  auto enter = [&song](int32_t order) {
    song.pendingOrderPosition = order;
    song.pendingRow = song.breakRow < patternRows(song, order) ? song.breakRow : 0;
    song.breakRow = 0;
  };
  if (jumps.order >= 0 || jumps.patternBreak) {
    enter(wrapOrder(song, jumps.order >= 0 ? jumps.order : song.orderPosition + 1));
  } else if (jumps.loop) {
    song.pendingOrderPosition = -1;
    song.pendingRow = std::min(song.breakRow, patternRows(song, song.orderPosition) - 1);
  } else if (song.row + 1 < patternRows(song, song.orderPosition)) {
    song.pendingOrderPosition = -1;
    song.pendingRow = song.row + 1;
  } else {
    enter(wrapOrder(song, song.orderPosition + 1));
  }
}

void commitNextRow(Song& song) {
  song.nextOrderPosition = song.pendingOrderPosition;
  song.nextRow = song.pendingRow;
}

void processRow(XMPlayer& player, Song& song) {
  song.nextOrderPosition = song.nextRow = -1;
  const Note* notes = rowNotes(song);
  Jumps jumps;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    FT2Channel& c = player.ft2[i];
    // A glissando's semitone is heard until another effect or note moves the pitch.
    if (!c.glided) c.periodDelta = 0;
    c.volumeDelta = 0;
    if (delaysNote(n)) {
      c.delayed = n;
      continue;
    }
    takeNote(player, song, c, n);
    if (n.volume) volumeColumnRow(c, n.volume);
    effectRow(player, song, c, n, jumps);
  }
  planNextRow(song, jumps);
}

void processTick(XMPlayer& player, Song& song) {
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    FT2Channel& c = player.ft2[i];
    if (!c.glided) c.periodDelta = 0;
    c.volumeDelta = 0;
    volumeColumnTick(song, c, n.volume);
    effectTick(player, song, c, n);
  }
}
}  // namespace

void setTempo(XMPlayer& player, Song& song, int32_t bpm) {
  song.bpm = bpm;
  // Whole frames, the fraction dropped, as the tracker counts them.
  song.samplesPerTick = std::max(1, player.rate * 5 / (2 * bpm));
}

void songStart(XMPlayer& player, Song& song) {
  player.targetScale = 32768;
  song.patternDelay = 0;
  song.breakRow = 0;
  setTempo(player, song, song.defaultBPM);
  for (int i = 0; i < song.channelCount; ++i) {
    FT2Channel& c = player.ft2[i];
    std::memset(&c, 0, sizeof c);
    c.mixer = &player.mixer[i];
    c.instrument = &emptyInstrument;
    c.panning = 128;
    restartEnvelopes(c);
  }
}

void seekOrder(XMPlayer& player, Song& song) {
  song.patternDelay = 0;
  song.breakRow = 0;
  for (int i = 0; i < song.channelCount; ++i) player.ft2[i].loopCount = 0;
}

void tickDriver(XMPlayer& player, Song& song) {
  if (song.tick == 0) {
    if (song.patternDelay > 0) {
      // A repeat of the row: its notes do not start again, its effects go on.
      if (--song.patternDelay == 0) commitNextRow(song);
      processTick(player, song);
    } else {
      if (song.nextOrderPosition >= 0) song.orderPosition = song.nextOrderPosition;
      if (song.nextRow >= 0) song.row = song.nextRow;
      processRow(player, song);
      if (song.patternDelay == 0) commitNextRow(song);
    }
  } else {
    processTick(player, song);
  }
  for (int i = 0; i < song.channelCount; ++i) updateVoice(player, song, player.ft2[i]);
  if (++song.tick >= song.speed) song.tick = 0;
}

}  // namespace ft2
