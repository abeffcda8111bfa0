// The ProTracker rules: the song's flow. Rows and notes, instrument numbers and sample swaps,
// jumps, breaks, loops and row delays kept as the tracker keeps its position, and the CIA tempo;
// the effects are in PTRulesEffects.cpp and the periods and voices in PTRulesVoice.cpp.
#include "SoundLib/xmplay/rules/pt/PTRules.h"

#include <algorithm>

namespace pt {

const RuleSet kRules = {
    .name = "pt",
    .title = "ProTracker",
    .formats = "MOD",
    .stateSize = sizeof(State),
    .songStart = songStart,
    .seekOrder = seekOrder,
    .tick = tickDriver,
    .flowState = flowState,
    .prepare = chooseTiming,
    // MOD patterns have 64 rows and an instrument is one sample; short loops (a few dozen bytes
    // are common in MOD files) are repeated for the mixer.
    .read = {.headersAsStored = false, .maxRows = 64, .maxSamplesPerInstrument = 1, .maxBPM = 255,
             .shortestMixedLoop = 1024},
    .targetScale = 32768,
    // The Amiga changes a level at once; the players people compare with ramp it over a few
    // frames, as the FastTracker 2 rules do their quick changes.
    .rampFrames = 16,
};

namespace {
// The note a row names, 0..59 from C-0; -1 for none.
int noteOf(const Note& n) {
  if (n.note < 1 || n.note > kLastNote) return -1;
  const int note = n.note - amiga::kSongNoteOfC0;
  return note >= 0 && note < amiga::kNotes ? note : -1;
}

bool empty(const Note& n) { return !n.note && !n.instrument && !n.volume && !n.effect && !n.parameter; }

// An instrument number sets the channel's sample, its volume (heard at once) and finetune, and
// the sample's start back from any offsets; numbers beyond the song's samples change nothing.
void takeInstrument(const Song& song, PTChannel& c, int number) {
  if (number > song.instrumentCount) return;
  const Instrument& ins = song.instruments[number - 1];
  const Sample* sample = ins.sampleCount > 0 ? ins.samples[0] : &emptySample;
  c.sample = sample;
  c.finetune = static_cast<uint8_t>((sample->finetune >> 4) & 15);
  c.volume = sample->volume;
  c.heardVolume = c.volume;
  c.start = 0;
  c.offsetPastEnd = false;
}

bool slidesToNote(const Note& n) {
  return n.effect == effect::kTonePortamento || n.effect == effect::kTonePortamentoVolumeSlide;
}

// One channel's part of a new row, in the tracker's order: the instrument, the note (its
// finetune first), the effects.
void playRow(XMPlayer& player, Song& song, PTChannel& c, const Note& n) {
  // A row with nothing on it sets the hardware's period back, ending an arpeggio's or a
  // vibrato's bend.
  if (empty(n)) c.heardPeriod = c.period;
  if (n.instrument) takeInstrument(song, c, n.instrument);
  const int note = noteOf(n);
  bool starts = false;
  if (note >= 0) {
    if (extendedIs(n, extended::kSetFinetune)) c.finetune = low(n.parameter);
    if (slidesToNote(n)) {
      // The note is where the sounding one slides to, in the channel's finetune. Where nothing
      // sounds (the sample has played to its end) the sample starts again at the channel's
      // period and slides from there.
      c.wantedPeriod = notePeriod(note, c.finetune);
      if (c.wantedPeriod == c.period) c.wantedPeriod = 0;
      starts = !c.mixer->sample && c.period > 0;
    } else {
      c.period = notePeriod(note, c.finetune);
      // ED0 plays at once; a later tick of EDx starts the note (PTRulesEffects.cpp).
      starts = !(extendedIs(n, extended::kNoteDelay) && low(n.parameter) != 0);
    }
  }
  if (starts) {
    // The tracker moves the start for a sample offset before the note and again with the row's
    // effects: the next note without an instrument number starts twice as far in.
    if (n.effect == effect::kSampleOffset) sampleOffset(c, n.parameter);
    if (!(c.vibratoWave & 4)) c.vibratoPosition = 0;
    if (!(c.tremoloWave & 4)) c.tremoloPosition = 0;
    triggerVoice(player, c);
  } else if (n.instrument) {
    swapSample(c);
  }
  effectRow(player, song, c, n);
}

// The tracker's step to the next order: to the break row of the order after the current one
// (a jump has set the current one to the one before its target), round to the start after the
// last.
void nextPosition(State& s, const Song& song) {
  s.patternRow = s.breakRow;
  s.breakRow = 0;
  s.positionJump = false;
  s.songPosition = (s.songPosition + 1) & 127;
  if (s.songPosition >= song.songLength) s.songPosition = wrapOrder(song, s.songPosition);
  s.enteredOrder = true;
}

// After a row's first tick (and each repeat's): the row after it, unless a row delay holds it
// or a loop sends it back. The tracker steps on before it looks at the delay and the loop, so a
// break on a delayed row, already taken, is stepped past once more when the delay ends: the row
// after the break's target plays.
void advanceRow(State& s, const Song& song) {
  ++s.patternRow;
  if (s.patternDelay) {
    s.delayLeft = s.patternDelay;
    s.patternDelay = 0;
  }
  if (s.delayLeft && --s.delayLeft) --s.patternRow;
  if (s.loopJump) {
    s.loopJump = false;
    s.patternRow = s.breakRow;
    s.breakRow = 0;
  }
  // The row just played is the pattern's measure: a jump on it has already moved the position
  // (to the order before its target, which may lie outside the song until the step).
  if (s.patternRow >= patternRows(song, song.orderPosition)) nextPosition(s, song);
}

// What moves the song: jumps, breaks, loops, row delays, speed and tempo.
bool movesTheSong(const Note& n) {
  switch (n.effect) {
    case effect::kPositionJump:
    case effect::kPatternBreak:
    case effect::kSetSpeed: return true;
    case effect::kExtended: return extendedIs(n, extended::kPatternLoop) || extendedIs(n, extended::kPatternDelay);
    default: return false;
  }
}

void readRow(XMPlayer& player, Song& song, State& s) {
  if (s.patternRow >= patternRows(song, s.songPosition)) s.patternRow = 0;
  song.orderPosition = s.songPosition;
  song.row = s.patternRow;
  song.nextOrderPosition = song.nextRow = -1;
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) {
    // Where only the song's course is wanted, the notes and the other effects are left out.
    if (!player.courseOnly)
      playRow(player, song, s.channels[i], notes[i]);
    else if (movesTheSong(notes[i]))
      effectRow(player, song, s.channels[i], notes[i]);
  }
}

void runEffects(XMPlayer& player, Song& song, State& s) {
  if (player.courseOnly) return;  // no effect of a later tick moves the song
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) effectTick(player, song, s.channels[i], notes[i]);
}

// The CIA timer's tick: 2.5 / BPM seconds, in whole frames (the fraction dropped), as the
// players people compare with count them.
void setTickLength(XMPlayer& player, Song& song) { song.samplesPerTick = std::max(1, player.rate * 5 / (2 * song.bpm)); }
}  // namespace

void songStart(XMPlayer& player, Song& song) {
  State& s = state(player);
  song.bpm = song.defaultBPM;
  setTickLength(player, song);
  choosePeriodRange(s, song);
  for (int i = 0; i < song.channelCount; ++i) {
    PTChannel& c = s.channels[i];
    c.mixer = &player.mixer[i];
    // Left, right, right, left, and so on.
    c.pan = (i & 3) == 0 || (i & 3) == 3 ? -64 : 64;
  }
}

// The pattern loops under way and the row the next pattern starts at.
uint64_t flowState(XMPlayer& player, const Song& song) {
  const State& s = state(player);
  uint64_t h = s.breakRow > 0 ? uint64_t{static_cast<uint32_t>(s.breakRow)} << 40 : 0;
  for (int i = 0; i < song.channelCount; ++i)
    if (s.channels[i].loopCount != 0) h = withLoopUnderWay(h, i, s.channels[i].loopRow, s.channels[i].loopCount);
  return h;
}

void seekOrder(XMPlayer& player, Song& song) {
  State& s = state(player);
  s.songPosition = song.nextOrderPosition;
  s.patternRow = 0;
  s.breakRow = 0;
  s.positionJump = s.loopJump = false;
  s.patternDelay = s.delayLeft = 0;
  s.enteredOrder = true;
  for (int i = 0; i < song.channelCount; ++i) s.channels[i].loopCount = 0;
}

void tickDriver(XMPlayer& player, Song& song) {
  State& s = state(player);
  // A tempo set on this tick is heard from the next one.
  setTickLength(player, song);
  if (song.tick == 0) {
    // A repeated row's notes do not start again; its effects run on every tick of it.
    if (s.delayLeft == 0)
      readRow(player, song, s);
    else
      runEffects(player, song, s);
    advanceRow(s, song);
  } else {
    runEffects(player, song, s);
  }
  if (s.positionJump) nextPosition(s, song);
  if (!player.courseOnly)
    for (int i = 0; i < song.channelCount; ++i) updateVoice(player, song, s.channels[i]);
  if (++song.tick < song.speed) return;
  song.tick = 0;
  if (s.delayLeft) return;
  // The next tick reads a row: where it is, for those who watch the song's course.
  song.nextRow = s.patternRow;
  song.nextOrderPosition = s.enteredOrder ? s.songPosition : -1;
  s.enteredOrder = false;
}

}  // namespace pt
