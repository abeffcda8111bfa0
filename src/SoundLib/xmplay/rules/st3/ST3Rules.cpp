// Scream Tracker 3's rules: the song's flow. Rows and notes, instrument numbers, note delays,
// jumps, breaks, the song's one pattern loop and row delays; the commands are in
// ST3RulesEffects.cpp and what the channels come to on each tick in ST3RulesVoice.cpp.
#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

#include <algorithm>

namespace st3 {

const RuleSet kRules = {
    .name = "st3",
    .title = "Scream Tracker 3",
    .formats = "S3M",
    .stateSize = sizeof(State),
    .songStart = songStart,
    .seekOrder = seekOrder,
    .tick = tickDriver,
    .flowState = flowState,
    // Patterns of 64 rows, one sample an instrument; short loops repeated for the mixer.
    .read = {.headersAsStored = true, .maxRows = 64, .maxSamplesPerInstrument = 1, .maxBPM = 255,
             .shortestMixedLoop = 1024},
    .targetScale = 32768,
    // Starts and cuts ramp over 16 frames at 44100 Hz, as the players people compare with do;
    // other changes across the tick.
    .rampFrames = 16,
};

namespace {
bool isNote(uint8_t note) { return note >= 1 && note <= kKeyboardNotes; }

// SDx holds the cell's note, number and volume back until tick x.
bool delaysNote(const Note& n) { return isSpecial(n, special::kNoteDelay) && low(n.parameter) != 0; }

bool slidesToNote(const Note& n) {
  return n.effect == letter::kTonePortamento || n.effect == letter::kTonePortamentoVolumeSlide;
}

const Sample* sampleOf(const Song& song, int instrument) {
  if (instrument < 1 || instrument > song.instrumentCount) return nullptr;
  return song.instruments[instrument - 1].samples[0];
}
}  // namespace

void takeNote(XMPlayer& player, const Song& song, ST3Channel& c, const Note& n) {
  // A tone portamento's note, where one has played before, is where the channel slides to.
  const bool target = isNote(n.note) && slidesToNote(n) && c.period > 0;
  // A number names the sample the next note starts and brings back its volume. A number past
  // the file's samples is left alone, but with a note that starts, the channel has no sample from
  // then on: that note and the next play nothing (as openmpt123 plays them).
  const Sample* numbered = n.instrument ? sampleOf(song, n.instrument) : nullptr;
  if (n.instrument && !numbered && isNote(n.note) && !slidesToNote(n)) c.next = &emptySample;
  if (numbered) {
    c.instrument = n.instrument;
    c.next = numbered;
    c.volume = numbered->volume;
    c.quickRamp = true;
    // A number forgets where the last offset started the sample.
    c.offset = 0;
    // Without a note to start (none, or a slide's target), the channel goes on with the new
    // sample: from where it is, or from its top where it had stopped.
    if ((!isNote(n.note) || target) && n.note != kNoteCut && c.sample) swapSample(c, numbered);
  }
  if (n.note == kNoteCut) {
    // ^^ stops the voice (an instrument number alone starts it again), and a retrigger leaves it.
    cutVoice(player, c);
  } else if (target) {
    c.tonePortamentoTarget = notePeriod(n.note, c.c2spd);
  } else if (isNote(n.note) && c.next && (!slidesToNote(n) || numbered)) {
    // A tone portamento's note on a channel that has played none starts only with a number.
    // No C frequency plays at 8363 Hz, and one below 1024 Hz at 1024, as openmpt123 plays them.
    const uint32_t c2spd = c.next->c5Speed ? std::max<uint32_t>(c.next->c5Speed, 1024) : 8363;
    c.note = n.note;
    c.c2spd = c2spd;
    c.period = notePeriod(n.note, c2spd);
    limitPeriod(song, c);  // a note beyond the Amiga's limits plays at them
    c.tonePortamentoTarget = c.period;
    c.sample = c.next;
    c.cut = false;
    c.retrigCount = 0;
    // Without a number of its own, a note starts where the channel's last offset did.
    if (n.effect == letter::kSampleOffset) c.offset = uint32_t{c.memory} * 256;
    triggerVoice(player, c, c.offset);
    if (c.vibratoWave < 4) c.vibratoPosition = 0;
    if (c.tremoloWave < 4) c.tremoloPosition = 0;
  }
  // On a row with ^^ the cut wins over the volume.
  if (n.volume >= 0x10 && n.volume <= 0x50 && n.note != kNoteCut) {
    c.volume = n.volume - 0x10;
    c.quickRamp = true;
  } else if (n.volume >= kS3MPanFirst && n.volume <= kS3MPanLast) {
    c.panning = (n.volume - kS3MPanFirst) * 4;
  }
}

namespace {
// Where the song goes after this row (the sequencer's plan).
void planNextRow(State& s, const Song& song, const Jumps& jumps) {
  s.pending = nextRowAfter(song, jumps.order, jumps.row, jumps.loop ? s.loopRow : -1);
}

void processRow(XMPlayer& player, Song& song) {
  song.nextOrderPosition = song.nextRow = -1;
  State& s = state(player);
  const Note* notes = rowNotes(song);
  Jumps jumps;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    ST3Channel& c = s.channels[i];
    c.periodDelta = 0;
    c.volumeDelta = 0;
    c.afterArpeggio = n.effect == letter::kArpeggio ? 0 : c.arpeggioPeriod;
    c.arpeggioPeriod = 0;
    // SD0's cell plays nothing, its parameter not remembered either.
    if (isSpecial(n, special::kNoteDelay) && low(n.parameter) == 0) continue;
    // Every parameter that is not zero is remembered, whatever its command, even none.
    if (n.parameter) c.memory = n.parameter;
    if (song.channels[i].muted) {
      effectRow(player, song, c, Note{0, 0, 0, n.effect, n.parameter}, jumps);
      continue;
    }
    if (delaysNote(n)) {
      c.delayed = n;
    } else {
      takeNote(player, song, c, n);
    }
    effectRow(player, song, c, n, jumps);
  }
  const int32_t delay = jumps.delayLeft > 0 ? jumps.delayLeft : jumps.delayRight;
  if (delay > 0) s.patternDelay = delay;
  s.fineDelay = jumps.fineDelay;
  planNextRow(s, song, jumps);
}

void processTick(XMPlayer& player, Song& song) {
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) {
    ST3Channel& c = state(player).channels[i];
    c.periodDelta = 0;
    c.volumeDelta = 0;
    c.arpeggioPeriod = 0;
    effectTick(player, song, c, notes[i]);
  }
}

}  // namespace

void songStart(XMPlayer& player, Song& song) {
  song.bpm = song.defaultBPM;
  setTrackerTickLength(player, song);
  State& s = state(player);
  for (int i = 0; i < song.channelCount; ++i) {
    ST3Channel& c = s.channels[i];
    c.mixer = &player.mixer[i];
    c.panning = song.channels[i].panning;
  }
  // The song starts at its first order that names a pattern.
  startAtPlayableOrder(song);
}

uint64_t flowState(XMPlayer& player, const Song&) {
  const State& s = state(player);
  return s.loopCount ? withLoopUnderWay(0, 0, static_cast<uint32_t>(s.loopRow), static_cast<uint32_t>(s.loopCount)) : 0;
}

void seekOrder(XMPlayer& player, Song& song) {
  State& s = state(player);
  s.loopRow = s.loopCount = 0;
  s.patternDelay = 0;
  seekToPlayableOrder(song);
}

void tickDriver(XMPlayer& player, Song& song) {
  State& s = state(player);
  if (song.tick == 0) {
    if (s.patternDelay > 0) {
      // A repeat of the row: its notes do not start again, its commands go on.
      if (--s.patternDelay == 0) followPlan(song, s.pending);
      processTick(player, song);
    } else {
      if (song.nextOrderPosition >= 0) {
        // A new pattern's loop starts at its top.
        if (song.nextOrderPosition != song.orderPosition || song.nextRow == 0) s.loopRow = 0;
        song.orderPosition = song.nextOrderPosition;
      }
      if (song.nextRow >= 0) song.row = song.nextRow;
      processRow(player, song);
      if (s.patternDelay == 0) followPlan(song, s.pending);
    }
  } else {
    processTick(player, song);
  }
  // A tempo set on the row is heard on its first tick.
  setTrackerTickLength(player, song);
  if (!player.courseOnly)
    for (int i = 0; i < song.channelCount; ++i) updateVoice(player, song, s.channels[i]);
  if (++song.tick >= song.speed + s.fineDelay) song.tick = 0;
}

}  // namespace st3
