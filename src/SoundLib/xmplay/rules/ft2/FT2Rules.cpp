// The FastTracker 2 rules: the song's flow. Rows and notes, instrument numbers, note delays,
// jumps, breaks, loops and pattern delays; the effects are in FT2RulesEffects.cpp and what the
// channels come to on each tick in FT2RulesVoice.cpp.
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

#include <algorithm>
#include <cstring>

namespace ft2 {

const RuleSet kRules = {
    .name = "ft2",
    .title = "FastTracker 2",
    .formats = "XM MOD",
    .stateSize = sizeof(State),
    .songStart = songStart,
    .seekOrder = seekOrder,
    .tick = tickDriver,
    .flowState = flowState,
    // Headers as stored, so what other trackers write reads too: up to 1024 rows a pattern and
    // any number of samples an instrument (the first 32 kept); short forward loops repeated.
    .read = {.headersAsStored = true, .maxRows = 1024, .maxSamplesPerInstrument = 65535, .maxBPM = 255,
             .shortestMixedLoop = 1024},
    .targetScale = 32768,  // finer target steps, so that envelopes and fades do not stair-step
    // Starts, cuts and set volumes ramp over 16 frames (about a third of a millisecond), as
    // the players people compare with do; other changes across the tick.
    .rampFrames = 16,
};

namespace {
bool delaysNote(const Note& n) {
  return n.effect == effect::kExtended && high(n.parameter) == extended::kNoteDelay && low(n.parameter) != 0;
}

bool slidesToNote(const Note& n) {
  return n.effect == effect::kTonePortamento || n.effect == effect::kTonePortamentoVolumeSlide || high(n.volume) == 0xF;
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

// The tracker plays notes up to B-9 once the sample's relative note is added (0-based 0..118).
bool outOfRange(const Instrument* ins, uint8_t note) {
  const Sample* sample = ins ? sampleFor(*ins, note) : nullptr;
  if (!sample) return false;
  const int real = note - 1 + sample->relativeNote;
  return real < 0 || real > 118;
}
}  // namespace

namespace {
// A note, not beside a tone portamento, of the channel's instrument (none, or one without a
// sample for it: the channel falls silent).
void playNote(XMPlayer& player, const Song& song, FT2Channel& c, const Instrument* ins, const Note& n) {
  c.noteNumber = n.note;
  const Sample* sample = ins ? sampleFor(*ins, n.note) : nullptr;
  if (!sample) {
    // What an instrument number brings back stays the last sample's.
    c.sample = nullptr;
    stopVoice(player, c);
    return;
  }
  c.instrument = ins;
  c.sample = sample;
  c.defaultVolume = sample->volume;
  c.defaultPanning = sample->panning;
  c.hadSample = true;
  if (c.defaultsPending) {
    // As if the number stood beside this note: its envelopes start with it.
    resetVolume(c);
    triggerInstrument(c);
    c.defaultsPending = false;
  }
  c.finetune = n.effect == effect::kExtended && high(n.parameter) == extended::kSetFinetune
                   ? static_cast<int8_t>(low(n.parameter) * 16 - 128)
                   : sample->finetune;
  c.realNote = static_cast<int16_t>(n.note - 1 + sample->relativeNote);
  // The tone portamento's target stays: only a note beside a tone portamento sets one.
  c.period = notePeriod(song, c.realNote, c.finetune);
  c.glided = false;
  uint32_t offset = 0;
  if (n.effect == effect::kSampleOffset) {
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
}
}  // namespace

// A note, an instrument number, or both, as the row (or a note delay) brings them.
void takeNote(XMPlayer& player, Song& song, FT2Channel& c, const Note& n) {
  const bool slides = isNote(n.note) && slidesToNote(n);
  // Beside a tone portamento an instrument number means the sounding instrument, where a
  // number has named one.
  if (n.instrument && (!slides || c.instrumentNumber == 0)) c.instrumentNumber = n.instrument;
  // K00 on a row is a key off in place of the row's note.
  if (n.note == kKeyOff || (n.effect == effect::kKeyOff && n.parameter == 0)) {
    // With an instrument number the note is released all the same, at the sounding sample's
    // volume and panning; the number restarts no envelope and changes no instrument. The next
    // note, even without a number, then takes the key back and the fade with it.
    keyOff(c);
    if (n.instrument && instrumentNumbered(song, n.instrument)) {
      if (!c.hadSample) c.defaultsPending = true;
      resetVolume(c);
      c.releasedWithInstrument = true;
    }
    return;
  }
  const Instrument* ins = instrumentNumbered(song, c.instrumentNumber);
  if (slides) {
    // The note is where the sounding one slides to; nothing restarts.
    if (c.sample)
      c.tonePortamentoTarget = notePeriod(song, n.note - 1 + c.sample->relativeNote, c.finetune);
  } else if (isNote(n.note) && !outOfRange(ins, n.note)) {
    // (A note its sample takes out of the tracker's range is no note at all.)
    playNote(player, song, c, ins, n);
  }
  // An instrument number resets volume and panning to those of the last sample played and starts
  // the envelopes again, also without a note and under a tone portamento. Without a note (or
  // beside a tone portamento) they are the sounding instrument's envelopes: the named one's
  // envelopes and samples come with its next note. A number naming no instrument changes nothing.
  if (!n.instrument || !instrumentNumbered(song, n.instrument)) return;
  if (!slides && isNote(n.note)) c.instrument = ins;
  if (!c.hadSample) c.defaultsPending = true;
  resetVolume(c);
  triggerInstrument(c);
}

namespace {
// Where the song goes after this row: a jump or break, a pattern loop, or the next row. The
// next pattern starts at the break row, which a loop leaves where it jumped to: after a loop
// the tracker starts the following pattern at the loop's first row. ModPlug Tracker's files
// loop before they jump (the jump or break waits for the loop's last time through), and their
// next pattern starts at the top.
void planNextRow(State& state, const Song& song, const Jumps& jumps) {
  auto enter = [&](int32_t order) {
    state.pendingOrderPosition = order;
    state.pendingRow = state.breakRow < patternRows(song, order) ? state.breakRow : 0;
    state.breakRow = 0;
  };
  const bool loopFirst = jumps.loop && song.savedBy == SavedBy::kModPlug;
  if (loopFirst) state.breakRow = 0;
  if (!loopFirst && (jumps.order >= 0 || jumps.patternBreak)) {
    enter(wrapOrder(song, jumps.order >= 0 ? jumps.order : song.orderPosition + 1));
  } else if (jumps.loop) {
    // Beside a pattern delay the loop goes back to the row after its first, as the tracker
    // counts them (the next pattern still starts at the first).
    state.pendingOrderPosition = -1;
    const int32_t row = jumps.loopRow + (state.patternDelay > 0 ? 1 : 0);
    state.pendingRow = std::min(row, patternRows(song, song.orderPosition) - 1);
  } else if (song.row + 1 < patternRows(song, song.orderPosition)) {
    state.pendingOrderPosition = -1;
    state.pendingRow = song.row + 1;
  } else {
    enter(wrapOrder(song, song.orderPosition + 1));
  }
}

void commitNextRow(const State& state, Song& song) {
  song.nextOrderPosition = state.pendingOrderPosition;
  song.nextRow = state.pendingRow;
}

void processRow(XMPlayer& player, Song& song) {
  song.nextOrderPosition = song.nextRow = -1;
  const Note* notes = rowNotes(song);
  Jumps jumps;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    FT2Channel& c = state(player).channels[i];
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
  planNextRow(state(player), song, jumps);
}

void processTick(XMPlayer& player, Song& song) {
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    FT2Channel& c = state(player).channels[i];
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
  setTempo(player, song, song.defaultBPM);
  // FastTracker 2 ramps a note's start, a volume set and a cut over 5 ms (openmpt123 does so in
  // the tracker's own files only); other trackers' files keep the set's short ramp.
  if (song.savedBy == SavedBy::kFastTracker2) {
    player.rampLength = std::max(1, player.rate / 200);
    player.rampReciprocal = 1.0f / static_cast<float>(player.rampLength);
  }
  for (int i = 0; i < song.channelCount; ++i) {
    FT2Channel& c = state(player).channels[i];
    c.mixer = &player.mixer[i];
    c.instrument = &emptyInstrument;
    c.panning = c.defaultPanning = 128;
    triggerInstrument(c);
  }
}

// The pattern loops under way (a count left on a channel) and the row the next pattern starts
// at: where the song goes from here. 0 where no loop has left anything.
uint64_t flowState(XMPlayer& player, const Song& song) {
  const State& s = state(player);
  uint64_t h = s.breakRow > 0 ? uint64_t{static_cast<uint32_t>(s.breakRow)} << 40 : 0;
  for (int i = 0; i < song.channelCount; ++i) {
    const FT2Channel& c = s.channels[i];
    if (c.loopCount == 0) continue;
    h = withLoopUnderWay(h, i, c.loopRow, c.loopCount);
  }
  return h;
}

void seekOrder(XMPlayer& player, Song& song) {
  state(player).patternDelay = 0;
  state(player).breakRow = 0;
  for (int i = 0; i < song.channelCount; ++i) state(player).channels[i].loopCount = 0;
}

void tickDriver(XMPlayer& player, Song& song) {
  State& s = state(player);
  if (song.tick == 0 && s.patternDelay == 0) {
    if (song.nextOrderPosition >= 0) song.orderPosition = song.nextOrderPosition;
    if (song.nextRow >= 0) song.row = song.nextRow;
    s.rowTick = 0;
    processRow(player, song);
    if (s.patternDelay == 0) commitNextRow(s, song);
  } else {
    // A repeat of the row (pattern delay): its notes do not start again, its effects go on.
    if (song.tick == 0 && --s.patternDelay == 0) commitNextRow(s, song);
    ++s.rowTick;
    processTick(player, song);
  }
  // What the voices sound like moves no row: a song followed for its course alone skips it.
  if (!player.courseOnly)
    for (int i = 0; i < song.channelCount; ++i) updateVoice(player, song, state(player).channels[i]);
  if (++song.tick >= song.speed) song.tick = 0;
}

}  // namespace ft2
