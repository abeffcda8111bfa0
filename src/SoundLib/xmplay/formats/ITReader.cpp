// Reads Impulse Tracker's IT format and what other trackers write in it: the "IMPM" header with
// the versions that wrote it and that it is compatible with, 64 channel pans and volumes, the
// order list with its markers, the song message and the embedded MIDI macros, instruments in the
// layout before 2.00 and the later one (keyboard, three envelopes, new-note actions, filter),
// sample headers and data (ITSamples.h), packed patterns of up to 64 channels. Every part is found
// by its offset; what lies outside the file reads as nothing, and the song plays what was read.
#include "SoundLib/xmplay/formats/ITReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SoundLib/xmplay/engine/SampleStore.h"
#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/formats/ITSamples.h"
#include "SoundLib/xmplay/formats/ReaderShared.h"
#include "SoundLib/xmplay/formats/SavedMixSettings.h"

namespace {
constexpr size_t kHeaderSize = 0xC0;
constexpr int kChannelSlots = 64;
constexpr int kInstrumentSize = 554;
constexpr int kMaxOrders = 256;
constexpr int kMaxITSamples = 4000;  // OpenMPT's limit; Impulse Tracker's is 99
constexpr int kMacroLength = 32;
constexpr int kDefaultRows = 64;  // a pattern the file does not store

// A channel's pan: 0..64, 100 surround, bit 7 disabling it.
constexpr uint8_t kSurroundPan = 100;
constexpr uint8_t kChannelOff = 0x80;

// The tracker that wrote the file, from the created-with word (0xTVVV: T the tracker, VVV its
// version), the compatible-with word and the header's reserved field: ModPlug Tracker wrote
// Impulse Tracker's words with a compatible-with version of 2.00 or 2.02 and nothing reserved;
// Impulse Tracker 2.14's patches counted the created-with word on, 2.15 only the other.
Tracker trackerOf(uint16_t created, uint16_t compatible, uint32_t reserved) {
  Tracker t{SavedBy::kOther, ""};
  const int version = created & 0xFFF;
  auto put = [&t](const char* format, int a = 0, int b = 0) { std::snprintf(t.name, sizeof t.name, format, a, b); };
  switch (created >> 12) {
    case 0:
      if (created == 0x0888) {
        t.by = SavedBy::kModPlug;
        put("OpenMPT 1.17");
      } else if ((created == 0x0214 || created == 0x0217) && (compatible == 0x0200 || compatible == 0x0202) &&
                 reserved == 0) {
        t.by = SavedBy::kModPlug;
        put("ModPlug Tracker");
      } else if (reserved == 0x49424843) {  // "CHBI"
        put("ChibiTracker");
      } else {
        t.by = SavedBy::kImpulseTracker;
        if (created >= 0x0215 && created <= 0x0217 && compatible > 0x0214)
          put("Impulse Tracker 2.15");
        else if (created >= 0x0215 && created <= 0x0217)
          put("Impulse Tracker 2.14p%d", created - 0x0214);
        else
          put("Impulse Tracker %x.%02x", version >> 8, version & 0xFF);
      }
      break;
    case 1:
      // Later versions count days instead of a version.
      t.by = SavedBy::kSchismTracker;
      if (version <= 0x050)
        put("Schism Tracker 0.%02x", version);
      else
        put("Schism Tracker");
      break;
    case 5:
      t.by = SavedBy::kModPlug;
      put("OpenMPT %x.%02x", version >> 8, version & 0xFF);
      break;
    default:
      put("unknown tracker %04X", created);
      break;
  }
  return t;
}

// What the reader works with while it reads one image.
struct Load {
  ByteReader& in;
  Song& song;
  const ReadOptions& options;
  LoadFailure* failure;
  std::vector<uint32_t> instrumentAt, sampleAt, patternAt;
};

// The song's text: up to its length or its first zero byte, carriage returns as line breaks.
void readMessage(Load& load, uint32_t at, uint16_t length) {
  load.in.seek(at);
  std::vector<char> text(length);
  text.resize(load.in.read(text.data(), text.size()));
  std::string& message = load.song.message;
  for (size_t i = 0; i < text.size() && text[i]; ++i) {
    if (text[i] == '\n' && i > 0 && text[i - 1] == '\r') continue;
    message += text[i] == '\r' ? '\n' : text[i];
  }
}

void readMacros(Load& load) {
  MidiMacros& m = load.song.macros;
  auto take = [&](char* to) {
    load.in.read(to, kMacroLength);
    to[kMacroLength] = 0;
  };
  m.embedded = true;
  for (char* to : m.global) take(to);
  for (char* to : m.parametered) take(to);
  for (char* to : m.fixed) take(to);
}

bool readHeader(Load& load, const uint8_t* h) {
  Song& song = load.song;
  const uint16_t orders = le16(h + 0x20), instruments = le16(h + 0x22), samples = le16(h + 0x24),
                 patterns = le16(h + 0x26);
  const uint16_t flags = le16(h + 0x2C), special = le16(h + 0x2E);
  const bool instrumentMode = flags & it::kInstruments;
  if (instrumentMode && instruments > kMaxInstruments)
    return refuseLoad(load.failure, "%d instruments (at most %d)", instruments, kMaxInstruments);
  const int maxSamples = instrumentMode ? kMaxITSamples : kMaxInstruments;
  if (samples > maxSamples) return refuseLoad(load.failure, "%d samples (at most %d)", samples, maxSamples);
  if (patterns > kMaxPatterns) return refuseLoad(load.failure, "%d patterns (at most %d)", patterns, kMaxPatterns);
  std::memcpy(song.title, h + 4, 26);
  song.rowsPerBeat = h[0x1E];
  song.rowsPerMeasure = h[0x1F];
  song.version = le16(h + 0x28);
  song.compatibleVersion = le16(h + 0x2A);
  song.headerFlags = flags;
  song.headerSpecial = special;
  if (flags & it::kLinearSlides) song.flags |= kLinearFrequencyTable;
  song.stereo = flags & it::kStereo;
  const Tracker tracker = trackerOf(song.version, song.compatibleVersion, le32(h + 0x3C));
  song.savedBy = tracker.by;
  std::memcpy(song.tracker, tracker.name, sizeof song.tracker);
  song.defaultGlobalVolume = std::min<uint8_t>(h[0x30], 128);
  song.mixVolume = std::min<uint8_t>(h[0x31], 128);
  song.defaultSpeed = static_cast<int16_t>(h[0x32] == 0 ? 6 : h[0x32]);
  song.defaultBPM = static_cast<int16_t>(h[0x33] < 31 ? 125 : std::min<int32_t>(h[0x33], load.options.maxBPM));
  song.panSeparation = std::min<uint8_t>(h[0x34], 128);
  song.pitchWheelDepth = h[0x35];
  for (int c = 0; c < kChannelSlots; ++c) {
    ChannelSettings& ch = song.channels[c];
    const uint8_t pan = h[0x40 + c] & 0x7F;
    ch.muted = h[0x40 + c] & kChannelOff;
    ch.surround = pan == kSurroundPan;
    ch.panning = static_cast<int16_t>(ch.surround ? 128 : std::min<int>(pan, 64) * 4);
    ch.volume = std::min<uint8_t>(h[0x80 + c], 64);
  }

  // 255 ends the song, 254 is a marker it steps over; an order naming a pattern the file does not
  // hold ends it too. The ends at the list's end are left off.
  load.in.seek(kHeaderSize);
  std::vector<uint8_t> list(orders);
  load.in.read(list.data(), list.size());
  int length = std::min<int>(orders, kMaxOrders);
  while (length > 0 && (list[length - 1] == kOrderEnd || (list[length - 1] != kOrderSkip && list[length - 1] >= patterns)))
    --length;
  bool any = false;
  for (int i = 0; i < length; ++i) {
    const bool names = list[i] != kOrderSkip && list[i] != kOrderEnd;
    song.orders[i] = names && list[i] >= patterns ? kOrderEnd : list[i];
    if (names && list[i] < patterns) any = true;
  }
  if (length == 0 || !any) return refuseLoad(load.failure, "no orders to play");
  song.songLength = static_cast<int16_t>(length);

  load.instrumentAt.resize(instruments);
  load.sampleAt.resize(samples);
  load.patternAt.resize(patterns);
  for (uint32_t& p : load.instrumentAt) p = load.in.u32();
  for (uint32_t& p : load.sampleAt) p = load.in.u32();
  for (uint32_t& p : load.patternAt) p = load.in.u32();
  if (!instrumentMode) load.instrumentAt.clear();
  // The edit history (a count and 8 bytes an entry), then the MIDI configuration.
  if (special & it::kEditHistory) load.in.skip(int64_t{load.in.u16()} * 8);
  if (special & it::kMidiConfiguration) readMacros(load);
  if (special & it::kMessage) readMessage(load, le32(h + 0x38), le16(h + 0x36));
  return true;
}

// An envelope of the later layout: flags, points, the loops' points, then 25 points of a value
// and a tick. A loop whose points are not in the envelope is none; an envelope of no points is off.
void readEnvelope(Envelope& e, const uint8_t* at, int lowest) {
  const uint8_t flags = at[0];
  e.flags = static_cast<uint8_t>(((flags & 1) ? kEnvelopeOn : 0) | ((flags & 2) ? kEnvelopeLoop : 0) |
                                 ((flags & 4) ? kEnvelopeSustain : 0) | ((flags & 8) ? kEnvelopeCarry : 0) |
                                 ((flags & 0x80) ? kEnvelopeFilter : 0));
  e.count = std::min<uint8_t>(at[1], 25);
  e.loopStart = at[2];
  e.loopEnd = at[3];
  e.sustainStart = at[4];
  e.sustainEnd = at[5];
  const int highest = lowest < 0 ? 32 : 64;
  for (int i = 0; i < e.count; ++i) {
    const uint8_t* p = at + 6 + 3 * i;
    e.points[i] = {le16(p + 1), static_cast<int8_t>(std::clamp<int>(static_cast<int8_t>(p[0]), lowest, highest))};
  }
}

void settleEnvelope(Envelope& e) {
  if (e.count == 0) e.flags &= static_cast<uint8_t>(~kEnvelopeOn);
  if (e.loopStart > e.loopEnd || e.loopEnd >= e.count) e.flags &= static_cast<uint8_t>(~kEnvelopeLoop);
  if (e.sustainStart > e.sustainEnd || e.sustainEnd >= e.count) e.flags &= static_cast<uint8_t>(~kEnvelopeSustain);
}

// An instrument's settings where the file gives none: every key itself on no sample.
void neutralInstrument(Instrument& ins) {
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  ins.sampleCount = 0;
  ins.globalVolume = 128;
  ins.defaultPanning = 128;
  ins.pitchPanCentre = 61;  // C-5
  ins.filterCutoff = ins.filterResonance = -1;
  for (int n = 0; n < kKeyboardNotes; ++n) ins.keyboard[n] = {static_cast<uint8_t>(n + 1), 0};
}

// The layout of Impulse Tracker 2.00 on: the actions, fadeout, pitch-pan, volumes, the random
// swings, the filter, the keyboard and three envelopes.
void readInstrument(Instrument& ins, const uint8_t* h) {
  ins.newNoteAction = static_cast<NewNoteAction>(h[0x11] <= 3 ? h[0x11] : 0);
  ins.duplicateCheck = static_cast<DuplicateCheck>(h[0x12] <= 3 ? h[0x12] : 0);
  ins.duplicateAction = static_cast<DuplicateAction>(h[0x13] <= 2 ? h[0x13] : 0);
  ins.fadeout = uint32_t{le16(h + 0x14)} * 64;
  ins.pitchPanSeparation = static_cast<int8_t>(std::clamp<int>(static_cast<int8_t>(h[0x16]), -32, 32));
  ins.pitchPanCentre = static_cast<uint8_t>(std::min<int>(h[0x17], kKeyboardNotes - 1) + 1);
  ins.globalVolume = std::min<uint8_t>(h[0x18], 128);
  ins.hasPanning = !(h[0x19] & 0x80);
  ins.defaultPanning = std::min(h[0x19] & 0x7F, 64) * 4;
  ins.randomVolume = std::min<uint8_t>(h[0x1A], 100);
  ins.randomPanning = std::min<uint8_t>(h[0x1B], 64);
  std::memcpy(ins.name, h + 0x20, 26);
  ins.filterCutoff = static_cast<int16_t>((h[0x3A] & 0x80) ? h[0x3A] & 0x7F : -1);
  ins.filterResonance = static_cast<int16_t>((h[0x3B] & 0x80) ? h[0x3B] & 0x7F : -1);
  readEnvelope(ins.volume, h + 0x130, 0);
  readEnvelope(ins.panning, h + 0x182, -32);
  readEnvelope(ins.pitch, h + 0x1D4, -32);
  ins.volume.flags &= static_cast<uint8_t>(~kEnvelopeFilter);
  ins.panning.flags &= static_cast<uint8_t>(~kEnvelopeFilter);
}

// The layout before 2.00: a volume envelope of node points (a tick and a value, tick 255 ending
// them), the fadeout on half the later scale, a new-note action and the duplicate check on notes.
void readOldInstrument(Instrument& ins, const uint8_t* h) {
  const uint8_t flags = h[0x11];
  Envelope& e = ins.volume;
  e.flags = static_cast<uint8_t>(((flags & 1) ? kEnvelopeOn : 0) | ((flags & 2) ? kEnvelopeLoop : 0) |
                                 ((flags & 4) ? kEnvelopeSustain : 0));
  e.loopStart = h[0x12];
  e.loopEnd = h[0x13];
  e.sustainStart = h[0x14];
  e.sustainEnd = h[0x15];
  ins.fadeout = uint32_t{le16(h + 0x18)} * 128;
  ins.newNoteAction = static_cast<NewNoteAction>(h[0x1A] <= 3 ? h[0x1A] : 0);
  ins.duplicateCheck = h[0x1B] ? DuplicateCheck::kNote : DuplicateCheck::kOff;
  ins.duplicateAction = DuplicateAction::kCut;
  std::memcpy(ins.name, h + 0x20, 26);
  e.count = 0;
  for (int i = 0; i < 25 && h[0x1F8 + 2 * i] != 0xFF; ++i)
    e.points[e.count++] = {h[0x1F8 + 2 * i], static_cast<int8_t>(std::min<uint8_t>(h[0x1F9 + 2 * i], 64))};
}

// The keyboard: a note and a sample for each of the 120 keys; a sample the file does not hold is
// kMissingSample (Impulse Tracker cuts the note there). The instrument's slots list the samples
// it names, in the keyboard's order.
int readKeyboard(Instrument& ins, const uint8_t* h, Song& song) {
  int distinct = 0;
  for (int n = 0; n < kKeyboardNotes; ++n) {
    const uint8_t note = h[0x40 + 2 * n], sample = h[0x41 + 2 * n];
    ins.keyboard[n].note = static_cast<uint8_t>(note < kKeyboardNotes ? note + 1 : n + 1);
    ins.keyboard[n].sample = sample <= song.sampleCount ? sample : kMissingSample;
  }
  std::vector<bool> seen(static_cast<size_t>(song.sampleCount) + 1);
  for (const KeyboardEntry& k : ins.keyboard) {
    if (k.sample == 0 || k.sample > song.sampleCount || seen[k.sample]) continue;
    seen[k.sample] = true;
    if (distinct < kSampleSlots) ins.samples[distinct] = song.samples[k.sample - 1];
    ++distinct;
  }
  ins.sampleCount = std::min(distinct, kSampleSlots);
  return distinct;
}

// One packed pattern's rows: a byte naming the channel (bit 7: a new mask follows), the mask (bits
// 0-3: a note, an instrument, a volume, a command and its parameter follow; bits 4-7: the
// channel's last of each again), the values; a zero byte ends the row. Fills out (rows x stride
// notes, channels from stride on dropped) or, with none, only looks. Returns the highest channel
// a cell fills, plus one.
uint8_t noteOf(uint8_t v) {
  if (v < kKeyboardNotes) return static_cast<uint8_t>(v + 1);
  if (v == 255) return kKeyOff;
  if (v == 254) return kNoteCut;
  return kNoteFade;
}
int unpackPattern(const uint8_t* data, size_t size, int rows, Note* out, int stride) {
  ByteReader in(data, size);
  uint8_t masks[kChannelSlots] = {};
  Note last[kChannelSlots] = {};
  int used = 0;
  for (int row = 0; row < rows && in.left() > 0;) {
    const uint8_t what = in.u8();
    if (what == 0) {
      ++row;
      continue;
    }
    const int channel = (what - 1) & 63;
    if (what & 128) masks[channel] = in.u8();
    const uint8_t mask = masks[channel];
    Note& memory = last[channel];
    if (mask & 1) memory.note = noteOf(in.u8());
    if (mask & 2) memory.instrument = in.u8();
    if (mask & 4) {
      const uint8_t volume = in.u8();
      memory.volume = static_cast<uint8_t>(volume <= 212 ? volume + 1 : 0);
    }
    if (mask & 8) {
      memory.effect = in.u8();
      memory.parameter = in.u8();
    }
    Note n{};
    if (mask & (1 | 16)) n.note = memory.note;
    if (mask & (2 | 32)) n.instrument = memory.instrument;
    if (mask & (4 | 64)) n.volume = memory.volume;
    if (mask & (8 | 128)) {
      n.effect = memory.effect;
      n.parameter = memory.parameter;
    }
    if (mask) used = std::max(used, channel + 1);
    if (out && channel < stride) out[static_cast<size_t>(row) * stride + channel] = n;
  }
  return used;
}

// Where a pattern's packed rows lie: its header (their bytes, its rows, 4 reserved) at the offset;
// none stored is 64 empty rows.
struct PatternPlace {
  int rows = kDefaultRows;
  const uint8_t* data = nullptr;
  size_t bytes = 0;
  bool whole = true;
};
PatternPlace placeOf(ByteReader& in, uint32_t at) {
  PatternPlace p;
  if (at == 0) return p;
  const int64_t size = static_cast<int64_t>(in.size());
  if (int64_t{at} + 8 > size) {
    p.whole = false;
    return p;
  }
  in.seek(at);
  const uint16_t bytes = in.u16(), rows = in.u16();
  in.skip(4);
  p.rows = rows == 0 ? kDefaultRows : rows;
  p.data = in.here();
  p.bytes = static_cast<size_t>(std::min<int64_t>(bytes, size - in.tell()));
  p.whole = p.bytes == bytes;
  return p;
}

bool readPatterns(Load& load) {
  Song& song = load.song;
  const int count = static_cast<int>(load.patternAt.size());
  std::vector<PatternPlace> places(static_cast<size_t>(count));
  int channels = 1;
  for (int p = 0; p < count; ++p) {
    places[p] = placeOf(load.in, load.patternAt[p]);
    if (places[p].rows > load.options.maxRows)
      return refuseLoad(load.failure, "pattern %d has %d rows (at most %d)", p, places[p].rows, load.options.maxRows);
    channels = std::max(channels, unpackPattern(places[p].data, places[p].bytes, places[p].rows, nullptr, 0));
  }
  song.channelCount = static_cast<int16_t>(channels);
  song.patterns = new (std::nothrow) Pattern[std::max(count, 1)]();
  if (!song.patterns) return refuseLoad(load.failure, "out of memory");
  song.allocatedPatternCount = count;
  for (int p = 0; p < count; ++p) {
    Pattern& pattern = song.patterns[p];
    pattern.rows = places[p].rows;
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(pattern.rows) * channels]();
    if (!pattern.notes) return refuseLoad(load.failure, "out of memory");
    unpackPattern(places[p].data, places[p].bytes, pattern.rows, pattern.notes, channels);
    song.wholePatterns += places[p].whole;
  }
  return true;
}

bool readSamples(Load& load, std::vector<bool>& whole) {
  Song& song = load.song;
  const size_t count = load.sampleAt.size();
  std::vector<ITSampleData> data(count);
  whole.assign(count, true);
  size_t expected = 0;
  for (size_t i = 0; i < count; ++i) {
    Sample* sample = appendSample(song);
    if (!sample) return refuseLoad(load.failure, "out of memory");
    sample->panning = 128;
    uint8_t h[kITSampleHeaderSize] = {};
    if (load.sampleAt[i] != 0) {
      load.in.seek(load.sampleAt[i]);
      whole[i] = load.in.read(h, sizeof h) == sizeof h;
    }
    if (!whole[i]) continue;
    readITSampleHeader(*sample, h, data[i]);
    expected += (static_cast<size_t>(sample->length) + kSampleSpareFrames) * sample->fileChannels * 2;
  }
  // Compressed data holds at most 8 values a byte.
  expectSampleBytes(song, std::min(expected, 16 * load.in.size() + 65536));
  for (size_t i = 0; i < count; ++i) {
    bool dataWhole = true;
    if (!readITSampleData(song, load.in, *song.samples[i], data[i], load.options.shortestMixedLoop,
                          static_cast<int>(i + 1), dataWhole))
      return refuseLoad(load.failure, "out of memory");
    whole[i] = whole[i] && dataWhole;
  }
  return true;
}

bool readInstruments(Load& load, const std::vector<bool>& sampleWhole) {
  Song& song = load.song;
  const bool instrumentMode = song.headerFlags & it::kInstruments;
  const int count = instrumentMode ? static_cast<int>(load.instrumentAt.size()) : song.sampleCount;
  song.instrumentCount = static_cast<int16_t>(count);
  song.instruments = new (std::nothrow) Instrument[std::max(count, 1)]();
  if (!song.instruments) return refuseLoad(load.failure, "out of memory");
  for (int i = 0; i < count; ++i) {
    Instrument& ins = song.instruments[i];
    neutralInstrument(ins);
    if (!instrumentMode) {
      // Sample mode: the instrument is its sample.
      Sample* sample = song.samples[i];
      ins.samples[0] = sample;
      ins.sampleCount = 1;
      for (int n = 0; n < kKeyboardNotes; ++n) ins.keyboard[n].sample = static_cast<uint16_t>(i + 1);
      std::memcpy(ins.name, sample->name, 26);
      ins.whole = sampleWhole[static_cast<size_t>(i)];
      song.wholeInstruments += ins.whole;
      continue;
    }
    uint8_t h[kInstrumentSize] = {};
    ins.whole = true;
    if (load.instrumentAt[i] != 0) {
      load.in.seek(load.instrumentAt[i]);
      ins.whole = load.in.read(h, sizeof h) == sizeof h;
      if (song.compatibleVersion < 0x200)
        readOldInstrument(ins, h);
      else
        readInstrument(ins, h);
      settleEnvelope(ins.volume);
      settleEnvelope(ins.panning);
      settleEnvelope(ins.pitch);
      const int samples = readKeyboard(ins, h, song);
      if (samples > load.options.maxSamplesPerInstrument)
        return refuseLoad(load.failure, "instrument %d has %d samples (at most %d)", i + 1, samples,
                          load.options.maxSamplesPerInstrument);
    }
    for (const KeyboardEntry& k : ins.keyboard)
      if (k.sample && k.sample <= song.sampleCount && !sampleWhole[k.sample - 1u]) ins.whole = false;
    song.wholeInstruments += ins.whole;
  }
  return true;
}

// How loud the song plays, by the tracker that saved it as openmpt123 plays it: ModPlug Tracker's
// files and OpenMPT's at ModPlug Tracker's original levels unless the song properties OpenMPT
// keeps at the end of the file ("STPM", SavedMixSettings.h) name another mix mode, counting the
// channels the tracker had the song on where those properties say; the files of
// its 1.00 alphas (created with 2.14, compatible with 2.00) as Impulse Tracker's own.
void applyMixLevels(Song& song, const uint8_t* data, size_t size) {
  if (song.savedBy != SavedBy::kModPlug || (song.version == 0x0214 && song.compatibleVersion == 0x0200)) return;
  song.levels = MixLevels::kModPlug;
  for (size_t at = size >= 4 ? size - 4 : 0; at-- > kHeaderSize;) {
    if (std::memcmp(data + at, "STPM", 4)) continue;
    const SavedMixSettings saved = readSavedMixSettings(data + at, size - at, song.instrumentCount);
    song.levels = levelsOfMixMode(saved, song.levels);
    if (saved.channels > 0 && saved.channels <= kMaxChannels) song.levelChannels = saved.channels;
    return;
  }
}

bool loadBody(Load& load) {
  Song& song = load.song;
  int used = 0;
  for (int i = 0; i < song.songLength; ++i)
    if (song.orders[i] != kOrderSkip && song.orders[i] != kOrderEnd) used = std::max<int>(used, song.orders[i] + 1);
  song.filePatternCount = static_cast<int32_t>(load.patternAt.size());
  song.usedPatternCount = used;
  std::vector<bool> sampleWhole;
  return readPatterns(load) && readSamples(load, sampleWhole) && readInstruments(load, sampleWhole);
}
}  // namespace

SongPtr parseIT(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure) {
  SongPtr song = startReading(it::kFormat, data, size, failure);
  if (!song) return nullptr;
  ByteReader in(data, size);
  Load load{in, *song, options, failure, {}, {}, {}};
  uint8_t h[kHeaderSize] = {};
  in.read(h, sizeof h);
  if (!readHeader(load, h) || !loadBody(load)) return nullptr;
  applyMixLevels(*song, data, size);
  return song;
}

namespace it {
namespace {
bool recognise(const uint8_t* data, size_t size) {
  return data && size >= kHeaderSize && std::memcmp(data, "IMPM", 4) == 0;
}

std::string describe(const Song& song) {
  char name[16];
  std::snprintf(name, sizeof name, "IT %x.%02x", song.compatibleVersion >> 8, song.compatibleVersion & 0xFF);
  const std::string silent = silentNote(song);
  return silent.empty() ? name : std::string(name) + ", " + silent;
}
}  // namespace

const Format kFormat = {"IT", recognise, parseIT, describe, "it", "no \"IMPM\" at its start"};
}  // namespace it
