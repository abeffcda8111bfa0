// Impulse Tracker's rules: the song's flow. Rows and notes, instrument numbers through the
// keyboard, note delays and cuts, jumps, breaks, pattern loops a channel each, row delays; the
// commands are in ITRulesEffects.cpp and the voices in ITRulesVoice.cpp.
#include "SoundLib/xmplay/rules/it/ITRules.h"

#include <algorithm>

#include "SoundLib/xmplay/engine/Voices.h"

namespace it {

const RuleSet kRules = {
    .name = "it",
    .title = "Impulse Tracker",
    .formats = "IT",
    .stateSize = sizeof(State),
    .songStart = songStart,
    .seekOrder = seekOrder,
    .tick = tickDriver,
    .flowState = flowState,
    // Patterns of up to 200 rows as Impulse Tracker keeps them (OpenMPT's files up to 1024), an
    // instrument's keyboard reaching any sample; short loops repeated for the mixer.
    .read = {.headersAsStored = true, .maxRows = 1024, .maxSamplesPerInstrument = kKeyboardNotes, .maxBPM = 255,
             .shortestMixedLoop = 1024},
    .targetScale = 32768,
    .rampFrames = 16,
    // The channels' 64 voices and a pool behind them for the notes new-note actions leave.
    .voices = kMixerChannels,
};

namespace {
constexpr int kMiddleC = 61;  // C-5

// SDx holds the cell's note, number and volume back until tick x (SD0 as SD1).
bool delaysNote(const Note& n) { return isSpecial(n, special::kNoteDelay); }

const Instrument* instrumentOf(const Song& song, int number) {
  if (number < 1 || number > song.instrumentCount) return nullptr;
  return &song.instruments[number - 1];
}

const Sample* songSample(const Song& song, int number) {
  if (number < 1 || number > song.sampleCount) return nullptr;
  return song.samples[number - 1];
}
}  // namespace

bool takeNote(XMPlayer& player, const Song& song, ITChannel& c, const Note& n) {
  State& s = state(player);
  ITVoice& voice = s.voices[c.index];
  const Instrument* numbered = n.instrument ? instrumentOf(song, n.instrument) : nullptr;
  if (isNote(n.note)) {
    const Instrument* instrument = instrumentOf(song, n.instrument ? n.instrument : c.instrument);
    if (!instrument) {
      // The note is the channel's all the same, for a number to play later.
      c.note = n.note;
      // A number naming no sample cuts the note in sample mode; instruments leave it alone.
      if (n.instrument && !(song.headerFlags & kInstruments)) cutNote(player, c.index);
      return false;
    }
    const KeyboardEntry key = instrument->keyboard[n.note - 1];
    const Sample* sample = songSample(song, key.sample);
    // A key the keyboard maps to no sample: the cell is as good as empty; to a sample the song
    // does not have: the note is cut.
    if (!sample) {
      if (key.sample) cutNote(player, c.index);
      return false;
    }
    if (n.instrument) c.instrument = n.instrument;
    c.note = n.note;
    const uint8_t note = isNote(key.note) ? key.note : n.note;
    // A tone portamento's note, where one plays, is where the channel slides to; a number brings
    // back the sample's volume.
    if (slidesToNote(n) && c.sample && player.mixer[c.index].sample) {
      // Without compatible Gxx a key of another sample plays that sample, from its start, at
      // the pitch the slide has reached.
      if (sample != c.sample && !compatibleGxx(song) && sample->data && sample->length) {
        startVoice(player.mixer[c.index], sample);
        voice.sample = sample;
        c.sample = sample;
      }
      const uint32_t c5 = c.sample->c5Speed;
      c.targetFrequency = noteFrequency(note, c5);
      c.targetPeriod = notePeriod(note, c5);
      if (numbered) c.volume = c.sample->volume;
      // An offset beside the slide is taken all the same.
      if (n.effect == letter::kSampleOffset) {
        if (n.parameter) c.offset = n.parameter;
        MixerChannel& m = player.mixer[c.index];
        const uint32_t offset = (uint32_t{c.highOffset} << 16) + (uint32_t{c.offset} << 8);
        if (offset < m.sample->length) {
          m.position = offset;
          m.positionFraction = 0;
        }
      }
      return true;
    }
    if (!sample->data || !sample->length) return true;
    if (numbered) c.volume = sample->volume;
    if (instrument->hasPanning) c.panning = std::clamp(instrument->defaultPanning / 4, 0, 64);
    if (sample->hasPanning) c.panning = std::clamp(sample->panning / 4, 0, 64);
    if (instrument->hasPanning || sample->hasPanning) c.surround = false;
    uint32_t offset = 0;
    if (n.effect == letter::kSampleOffset) {
      if (n.parameter) c.offset = n.parameter;
      offset = (uint32_t{c.highOffset} << 16) + (uint32_t{c.offset} << 8);
    }
    startNote(player, song, c, note, sample, instrument, offset);
    c.startedNote = true;
    return true;
  }
  const bool sounding = player.mixer[c.index].sample != nullptr;
  if (numbered && !n.note && isNote(c.note) && (!sounding || numbered != c.playing)) {
    // A number alone where the channel is silent (cut, or its sample played out), or naming
    // another instrument than the one playing, plays the channel's last note again with it;
    // after a note cut in the pattern there is no note to play.
    Note again = n;
    again.note = c.note;
    return takeNote(player, song, c, again);
  }
  if (n.instrument) c.instrument = n.instrument;
  if (n.note == kKeyOff) {
    // A number beside it brings in its sample's volume, not the sample.
    if (numbered && isNote(c.note))
      if (const Sample* keyed = songSample(song, numbered->keyboard[c.note - 1].sample)) c.volume = keyed->volume;
    noteOff(player, voice);
  } else if (n.note == kNoteCut) {
    c.note = 0;
    cutNote(player, c.index);
  } else if (n.note == kNoteFade) {
    fadeNote(voice);
  } else if (numbered) {
    // A number alone brings back the volume of the sample playing (before any note, of the
    // sample its instrument gives middle C); with old effects, where its note was let go, the
    // same instrument takes it up again from the start of its envelopes (not where a tone
    // portamento goes on).
    const Sample* keyed = c.sample ? c.sample : songSample(song, numbered->keyboard[kMiddleC - 1].sample);
    if (keyed) c.volume = keyed->volume;
    if (c.sample && oldEffects(song) && !slidesToNote(n) && voice.instrument == numbered && (!voice.keyOn || voice.fading) &&
        player.mixer[c.index].sample) {
      voice.keyOn = true;
      voice.fading = false;
      voice.fade = 65536;
      for (EnvelopePosition& e : voice.envelopes) e.tick = e.point = 0;
    }
  }
  return true;
}

namespace {
// Where the song goes after this row (the sequencer's plan).
void planNextRow(State& s, const Song& song, const Jumps& jumps) {
  s.pending = nextRowAfter(song, jumps.order, jumps.row, jumps.loopRow);
}

void processRow(XMPlayer& player, Song& song) {
  song.nextOrderPosition = song.nextRow = -1;
  State& s = state(player);
  const Note* notes = rowNotes(song);
  Jumps jumps;
  for (int i = 0; i < song.channelCount; ++i) {
    const Note& n = notes[i];
    ITChannel& c = s.channels[i];
    c.pitchDelta = c.volumeDelta = c.panningDelta = c.arpeggio = 0;
    c.delayTick = c.cutTick = -1;
    c.startedNote = false;
    // A tremor's silence lasts while the command does.
    if (n.effect != letter::kTremor) c.tremorMuted = false;
    if (delaysNote(n)) {
      c.delayed = n;
      c.delayTick = std::max(1, int{low(n.parameter)});
    } else if (!song.channels[i].muted && !player.courseOnly) {
      // Followed for its course alone, the song plays no notes: none moves it.
      if (takeNote(player, song, c, n)) columnRow(song, c, n);
    }
    effectRow(player, song, c, n, jumps);
  }
  if (jumps.rowDelay > 0) s.patternDelay = jumps.rowDelay;
  s.fineDelay = jumps.fineDelay;
  planNextRow(s, song, jumps);
}

// A repeat of a delayed row: the commands' first tick again, its notes not.
void repeatRow(XMPlayer& player, Song& song) {
  State& s = state(player);
  const Note* notes = rowNotes(song);
  Jumps ignored;
  for (int i = 0; i < song.channelCount; ++i) {
    ITChannel& c = s.channels[i];
    c.pitchDelta = c.volumeDelta = c.panningDelta = c.arpeggio = 0;
    const Note& n = notes[i];
    if (n.effect == letter::kPositionJump || n.effect == letter::kPatternBreak || isSpecial(n, special::kPatternLoop) ||
        isSpecial(n, special::kPatternDelay) || isSpecial(n, special::kNoteDelay))
      continue;
    Note commands = n;
    commands.note = commands.instrument = 0;
    commands.volume = 0;
    effectRow(player, song, c, commands, ignored);
  }
}

void processTick(XMPlayer& player, Song& song) {
  State& s = state(player);
  const Note* notes = rowNotes(song);
  for (int i = 0; i < song.channelCount; ++i) {
    ITChannel& c = s.channels[i];
    c.pitchDelta = c.volumeDelta = c.panningDelta = c.arpeggio = 0;
    if (c.delayTick == song.tick) {
      c.delayTick = -1;
      if (!song.channels[i].muted && !player.courseOnly) {
        if (takeNote(player, song, c, c.delayed)) columnRow(song, c, c.delayed);
      }
    }
    if (c.cutTick == song.tick) {
      c.cutTick = -1;
      c.volume = 0;
      cutNote(player, c.index);
    }
    if (!player.courseOnly) columnTick(player, song, c, notes[i]);  // the volume column moves no song
    effectTick(player, song, c, notes[i]);
  }
}

}  // namespace

void songStart(XMPlayer& player, Song& song) {
  song.bpm = song.defaultBPM;
  setTrackerTickLength(player, song);
  State& s = state(player);
  s.random = 0x12345678u;
  for (int i = 0; i < song.channelCount; ++i) {
    ITChannel& c = s.channels[i];
    c.index = i;
    c.channelVolume = song.channels[i].volume;
    c.panning = std::clamp(song.channels[i].panning / 4, 0, 64);
    c.surround = song.channels[i].surround;
    c.cutoff = 127;
    c.delayTick = c.cutTick = -1;
  }
  for (int i = 0; i < kMixerChannels; ++i) s.voices[i].channel = i < kChannelVoices ? i : -1;
  startAtPlayableOrder(song);
}

uint64_t flowState(XMPlayer& player, const Song& song) {
  const State& s = state(player);
  uint64_t flow = 0;
  for (int i = 0; i < song.channelCount; ++i)
    if (s.channels[i].loopCount)
      flow = withLoopUnderWay(flow, i, static_cast<uint32_t>(s.channels[i].loopRow), static_cast<uint32_t>(s.channels[i].loopCount));
  return flow;
}

void seekOrder(XMPlayer& player, Song& song) {
  State& s = state(player);
  for (ITChannel& c : s.channels) c.loopRow = c.loopCount = 0;
  s.patternDelay = 0;
  seekToPlayableOrder(song);
}

void tickDriver(XMPlayer& player, Song& song) {
  State& s = state(player);
  if (song.tick == 0) {
    if (s.patternDelay > 0) {
      if (--s.patternDelay == 0) followPlan(song, s.pending);
      repeatRow(player, song);
    } else {
      // A loop's start row stays as it was from one pattern to the next.
      if (song.nextOrderPosition >= 0) song.orderPosition = song.nextOrderPosition;
      if (song.nextRow >= 0) song.row = song.nextRow;
      processRow(player, song);
      if (s.patternDelay == 0) followPlan(song, s.pending);
    }
  } else {
    processTick(player, song);
  }
  setTrackerTickLength(player, song);
  if (!player.courseOnly) updateVoices(player, song);
  if (++song.tick >= song.speed + s.fineDelay) song.tick = 0;
}

}  // namespace it
