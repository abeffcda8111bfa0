// Reads FastTracker 2's XM format and what other trackers write in it: the module header and
// orders, packed patterns, instruments with their keyboards, envelopes and sample headers, and
// delta-coded 8- and 16-bit sample data (4-bit ADPCM and two-channel samples too, in the layout
// read as stored).
#include "SoundLib/xmplay/formats/XMReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/engine/SampleStore.h"
#include "SoundLib/xmplay/formats/ReaderShared.h"
#include "SoundLib/xmplay/formats/XMSampleData.h"
#include "SoundLib/xmplay/formats/XMTrackers.h"

namespace {
const char kId[] = "Extended Module: ";
// What the format holds at most.
constexpr int kMaxXMChannels = 32;
constexpr int kMaxXMInstruments = 128;

// Where the module header's fields lie in the file. The header's size counts from its own field.
enum ModuleHeader : int {
  kTitleAt = 17,
  kTrackerAt = 38,
  kVersionAt = 58,
  kHeaderSizeAt = 60,
  kSongLengthAt = 64,
  kRestartAt = 66,
  kChannelsAt = 68,
  kPatternCountAt = 70,
  kInstrumentCountAt = 72,
  kFlagsAt = 74,
  kSpeedAt = 76,
  kBPMAt = 78,
  kOrdersAt = 80,
  kModuleHeaderEnd = kOrdersAt + 256,
};

// An instrument header from its start: size, name, type, sample count; with samples, the rest
// follows from kInstrumentRestAt: sample header size, keyboard, envelopes and settings.
enum InstrumentHeader : int {
  kSampleCountAt = 27,
  kInstrumentRestAt = 29,
  kSampleHeaderSizeAt = kInstrumentRestAt,
  kKeyboardAt = kInstrumentRestAt + 4,
  kVolumeEnvelopeAt = kInstrumentRestAt + 100,
  kPanningEnvelopeAt = kInstrumentRestAt + 148,
  kEnvelopeSettingsAt = kInstrumentRestAt + 196,
  kInstrumentRestEnd = kInstrumentRestAt + 212,
  kInstrumentHeaderSize = kInstrumentRestEnd + 22,  // as FastTracker 2 writes it
};

// A 40-byte sample header.
enum SampleHeader : int {
  kLengthAt = 0,
  kLoopStartAt = 4,
  kLoopLengthAt = 8,
  kVolumeAt = 12,
  kFinetuneAt = 13,
  kTypeAt = 14,
  kPanningAt = 15,
  kRelativeNoteAt = 16,
  kCodingAt = 17,  // 0xAD: 4-bit ADPCM
  kNameAt = 18,
  kSampleHeaderSize = 40,
};

// The length of a header that states its own, read as stored: the stated length where it is at
// least `least` and fits in the image; otherwise the usual length.
int64_t storedLength(int64_t start, int64_t stated, int64_t least, int64_t usual, int64_t imageLength) {
  return stated >= least && start + stated <= imageLength ? stated : usual;
}

// One packed note, its bytes coming from next (zeros once they run out).
template <class NextByte>
void unpackNote(Note& n, NextByte next) {
  const uint8_t b = next();
  if (b & 0x80) {
    if (b & 1) n.note = next();
    if (b & 2) n.instrument = next();
    if (b & 4) n.volume = next();
    if (b & 8) n.effect = next();
    if (b & 16) n.parameter = next();
  } else {
    n.note = b;
    n.instrument = next();
    n.volume = next();
    n.effect = next();
    n.parameter = next();
  }
  // Notes from 98 to 254 name nothing playable; 255 already is the key off of the unpacked
  // layout and stays one.
  if (n.note == 97)
    n.note = kKeyOff;
  else if (n.note > 97 && n.note != kKeyOff)
    n.note = 0;
  if (n.instrument > 128) n.instrument = 0;
}

// An XM envelope's points (tick, value pairs), its sustain point and loop, as the song model's
// envelope: values about `centre` (32 for panning), the sustain a loop of one point.
void neutralEnvelope(Envelope& e, const uint16_t* points, uint8_t count, uint8_t type, uint8_t sustain, uint8_t loopStart,
                     uint8_t loopEnd, int centre) {
  e.count = std::min<uint8_t>(count, 12);
  for (int i = 0; i < e.count; ++i)
    e.points[i] = {points[2 * i], static_cast<int8_t>(std::min<int>(points[2 * i + 1], 64) - centre)};
  e.flags = type & (kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop);
  e.sustainStart = e.sustainEnd = sustain;
  e.loopStart = loopStart;
  e.loopEnd = loopEnd;
}

// An instrument header from its start, as far as kInstrumentRestEnd.
void parseInstrument(Instrument& ins, const uint8_t* h) {
  std::memcpy(ins.noteToSample, h + kKeyboardAt, 96);
  for (int i = 0; i < 24; ++i) {
    ins.volumeEnvelope[i] = le16(h + kVolumeEnvelopeAt + 2 * i);
    ins.panningEnvelope[i] = le16(h + kPanningEnvelopeAt + 2 * i);
  }
  const uint8_t* v = h + kEnvelopeSettingsAt;
  ins.volumePoints = v[0];
  ins.panningPoints = v[1];
  ins.volumeSustain = v[2];
  ins.volumeLoopStart = v[3];
  ins.volumeLoopEnd = v[4];
  ins.panningSustain = v[5];
  ins.panningLoopStart = v[6];
  ins.panningLoopEnd = v[7];
  ins.volumeType = ins.volumePoints < 2 ? 0 : v[8];
  ins.panningType = ins.panningPoints < 2 ? 0 : v[9];
  ins.vibratoType = v[10];
  ins.vibratoSweep = v[11];
  ins.vibratoDepth = v[12];
  ins.vibratoRate = v[13];
  ins.fadeout = uint32_t{le16(v + 14)} * 2;
  neutralEnvelope(ins.volume, ins.volumeEnvelope, ins.volumePoints, ins.volumeType, ins.volumeSustain,
                  ins.volumeLoopStart, ins.volumeLoopEnd, 0);
  neutralEnvelope(ins.panning, ins.panningEnvelope, ins.panningPoints, ins.panningType, ins.panningSustain,
                  ins.panningLoopStart, ins.panningLoopEnd, 32);
}

// The keyboard as the song model holds it: XM's 96 notes each play themselves, on the song's
// sample the instrument's map names there.
void fillKeyboard(Instrument& ins, int32_t firstSample) {
  for (int n = 0; n < kKeyboardNotes; ++n) {
    const int k = n < 96 ? ins.noteToSample[n] : kSampleSlots;
    ins.keyboard[n] = {static_cast<uint8_t>(n + 1), static_cast<uint16_t>(k < ins.sampleCount ? firstSample + k + 1 : 0)};
  }
}

// A sample header. The extensions other trackers write (two channels, ADPCM) only count in the
// layout read as stored.
void parseSample(Sample& sample, const uint8_t* h, bool extensions) {
  sample.length = le32(h + kLengthAt);
  sample.loopStart = le32(h + kLoopStartAt);
  sample.loopLength = le32(h + kLoopLengthAt);
  sample.volume = std::min<uint8_t>(h[kVolumeAt], 64);
  sample.finetune = static_cast<int8_t>(h[kFinetuneAt]);
  sample.loopMode = kLoopNone;
  sample.bits = 8;
  sample.fileChannels = 1;
  sample.encoding = kDeltaPCM;
  const uint8_t type = h[kTypeAt];
  if (type & 1) sample.loopMode = kLoopForward;
  if (type & 2) sample.loopMode = kLoopPingPong;
  if (type & 16) sample.bits = 16;
  if (extensions && (type & 32)) sample.fileChannels = 2;
  if (extensions && h[kCodingAt] == 0xAD && sample.bits == 8 && sample.fileChannels == 1) sample.encoding = kADPCM;
  sample.storedBits = sample.bits;
  sample.hasPanning = true;
  if (sample.loopMode == kLoopNone) {
    sample.loopStart = 0;
    sample.loopLength = sample.length;
  }
  // Bytes to frames.
  const uint32_t bytesPerFrame = sample.bits / 8 * sample.fileChannels;
  sample.length /= bytesPerFrame;
  sample.loopStart /= bytesPerFrame;
  sample.loopLength /= bytesPerFrame;
  if (sample.loopLength == 0) {
    sample.loopStart = 0;
    sample.loopLength = sample.length;
    sample.loopMode = kLoopNone;
  }
  sample.panning = h[kPanningAt];
  sample.relativeNote = static_cast<int8_t>(h[kRelativeNoteAt]);
}

// What the loader works with while it reads one image.
struct Load {
  ByteReader& in;
  Song& song;
  const ReadOptions& rules;
  SampleLoaderHook hook;
  std::vector<int32_t> firstSample;  // each instrument's first sample in the song's list
  int64_t size() const { return static_cast<int64_t>(in.size()); }
};

// Reads one sample's data into 16-bit PCM with its interpolation guard.
bool loadSampleData(Load& load, Sample& sample, int index, int k) {
  if (sample.length == 0) return true;
  // A sample cannot hold more frames than the image has bytes left: a truncated or lying
  // header is cut to the data that is there instead of allocating what it claims.
  const int64_t left = load.in.left();
  if (xmStoredBytes(sample) > left) {
    const int64_t frames = sample.encoding == kADPCM ? std::max<int64_t>(0, (left - 16) * 2)
                                                     : left / (sample.bits / 8 * sample.fileChannels);
    sample.length = static_cast<uint32_t>(std::min<int64_t>(frames, sample.length));
  }
  if (sample.length == 0) {
    sample.loopStart = sample.loopLength = 0;
    sample.loopMode = kLoopNone;
    return true;
  }
  settleLoop(sample);
  const uint32_t frames = planMixLoop(sample, load.rules.shortestMixedLoop);
  const int64_t bytes = xmStoredBytes(sample);
  int16_t* data = newSampleBuffer(load.song, frames);
  if (!data) return false;
  if (load.hook) {
    // The hook fills a buffer of the raw bytes, which are not delta-coded.
    const uint32_t values = sample.length * sample.fileChannels;
    std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<size_t>(values) * 2 + 16]());
    if (!raw) return false;
    load.hook(raw.get(), static_cast<int32_t>(bytes), sample.bits, index, k);
    decodeXMSample(sample, raw.get(), data, false);
  } else {
    // Decoded where the image holds it.
    decodeXMSample(sample, load.in.here(), data, sample.encoding == kDeltaPCM);
  }
  load.in.skip(bytes);
  sample.bits = 16;
  finishSampleData(sample, data);
  sample.data = data;
  return true;
}

// The sample headers of an instrument, headerSize bytes apart, read into records; false only
// when memory runs out. Those beyond the slots are read for their lengths only: their data is
// skipped (skippedBytes).
bool readSampleHeaders(Load& load, Instrument& ins, int count, int64_t headerSize, bool extensions,
                       int64_t& skippedBytes) {
  skippedBytes = 0;
  for (int k = 0; k < count; ++k) {
    uint8_t h[kSampleHeaderSize] = {};
    const int64_t at = load.in.tell();
    load.in.read(h, kSampleHeaderSize);
    if (headerSize != kSampleHeaderSize) load.in.seek(at + headerSize);
    if (k >= kSampleSlots) {
      Sample dropped{};
      parseSample(dropped, h, extensions);
      skippedBytes += xmStoredBytes(dropped);
      continue;
    }
    Sample* sample = appendSample(load.song);
    if (!sample) return false;
    ins.samples[k] = sample;
    ++ins.sampleCount;
    parseSample(*sample, h, extensions);
    std::memcpy(sample->name, h + kNameAt, 22);
  }
  return true;
}

bool loadSamplesData(Load& load, int index, int64_t skippedBytes) {
  Instrument& ins = load.song.instruments[index];
  for (int k = 0; k < ins.sampleCount; ++k) {
    const uint32_t stated = ins.samples[k]->length;
    if (!loadSampleData(load, *ins.samples[k], index, k)) return false;
    if (ins.samples[k]->length < stated) ins.whole = false;  // cut to the data that is there
  }
  if (skippedBytes > 0) load.in.skip(skippedBytes);
  return true;
}

// The start of an instrument header: its stated size and sample count, its name. False when the
// rules refuse the count.
struct InstrumentStart {
  int64_t at;
  uint32_t headerSize;
  int count;
};
bool readInstrumentStart(Load& load, Instrument& ins, uint8_t* h, InstrumentStart& start, int index,
                         LoadFailure* failure) {
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  start.at = load.in.tell();
  load.in.read(h, kInstrumentRestAt);
  start.headerSize = le32(h);
  start.count = le16(h + kSampleCountAt);
  std::memcpy(ins.name, h + 4, 22);
  ins.whole = start.at + kInstrumentRestAt <= load.size();
  ins.globalVolume = 128;
  ins.defaultPanning = 128;
  ins.filterCutoff = ins.filterResonance = -1;
  load.firstSample[index] = load.song.sampleCount;
  if (start.count <= load.rules.maxSamplesPerInstrument) return true;
  return refuseLoad(failure, "instrument %d has %d samples (at most %d)", index + 1, start.count,
                load.rules.maxSamplesPerInstrument);
}

// One header layout: how the parts whose sizes a file may state are read.
struct XMLayout {
  // Entries of the order table the header holds, given the header's stated size.
  int32_t (*orderEntries)(uint32_t headerSize);
  // One pattern's header and notes, from its start.
  bool (*pattern)(Load& load, Pattern& pattern, int index, LoadFailure* failure);
  // One instrument's header and its sample headers; sample data that follows them and is not
  // read is skippedBytes long.
  bool (*instrument)(Load& load, int index, int64_t& skippedBytes, LoadFailure* failure);
  // Whether the file holds every instrument's headers before the patterns, and the sample data
  // after them (files before 1.04); otherwise each instrument's data follows its headers, after
  // the patterns.
  bool (*instrumentsFirst)(uint16_t version);
};

bool patternRowsAllowed(Load& load, int32_t rows, int index, LoadFailure* failure) {
  if (rows <= load.rules.maxRows) return true;
  return refuseLoad(failure, "pattern %d has %d rows (at most %d)", index, rows, load.rules.maxRows);
}

// The layout FastTracker 2 1.04 writes, every header taken at its usual size whatever it states:
// 9-byte pattern headers with the notes unpacked straight from the file, instrument headers read
// whole, 40-byte sample headers; the instrument header's stated size still says where its sample
// headers start.
namespace fixed {
int32_t orderEntries(uint32_t) { return 256; }

bool pattern(Load& load, Pattern& pattern, int index, LoadFailure* failure) {
  const int64_t start = load.in.tell();
  load.in.u32();  // header length
  load.in.u8();   // packing type
  const int32_t rows = load.in.u16();
  const uint32_t packedSize = load.in.u16();
  if (start + 9 + packedSize <= load.size()) ++load.song.wholePatterns;
  if (!patternRowsAllowed(load, rows, index, failure)) return false;
  // A pattern without rows has no notes to read, whatever its packed size says, but the
  // sequencer needs a row to play from: one empty row.
  pattern.rows = std::max(rows, 1);
  pattern.notes = new (std::nothrow) Note[static_cast<size_t>(pattern.rows) * load.song.channelCount]();
  if (!pattern.notes) return false;
  if (packedSize == 0) return true;
  const int notes = rows * load.song.channelCount;
  for (int i = 0; i < notes; ++i) unpackNote(pattern.notes[i], [&load] { return load.in.u8(); });
  return true;
}

bool instrument(Load& load, int index, int64_t& skippedBytes, LoadFailure* failure) {
  Instrument& ins = load.song.instruments[index];
  skippedBytes = 0;
  uint8_t h[kInstrumentRestEnd] = {};
  InstrumentStart start;
  if (!readInstrumentStart(load, ins, h, start, index, failure)) return false;
  const int64_t end = start.at + start.headerSize;
  if (start.count == 0) {
    load.in.seek(end);
    return true;
  }
  load.in.read(h + kInstrumentRestAt, kInstrumentRestEnd - kInstrumentRestAt);
  parseInstrument(ins, h);
  load.in.seek(end);
  ins.whole = ins.whole && end + start.count * int64_t{kSampleHeaderSize} <= load.size();
  return readSampleHeaders(load, ins, start.count, kSampleHeaderSize, false, skippedBytes);
}

bool instrumentsFirst(uint16_t) { return false; }

const XMLayout kLayout = {orderEntries, pattern, instrument, instrumentsFirst};
}  // namespace fixed

// The layout as the file states it, so that what other trackers write reads too: header
// lengths as given (where they fit in the file), the 1.02 and 1.03 layouts, the sample header
// extensions (two channels, ADPCM); each pattern's notes come from exactly its packed bytes, so
// that one that ends early leaves the rest empty and one that claims more reads nothing beyond
// it; a damaged sample count reads no further than the file's end.
namespace asStored {
// Other trackers shorten the header to the orders they use; the rest of the table is empty.
int32_t orderEntries(uint32_t headerSize) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{headerSize} - 20, 0, 256));
}

bool pattern(Load& load, Pattern& pattern, int index, LoadFailure* failure) {
  // 1.02's header has a one-byte row count, less one.
  const bool shortHeader = load.song.version == 0x0102;
  const int64_t start = load.in.tell();
  const uint32_t headerLength = load.in.u32();
  load.in.u8();  // packing type
  const int32_t rows = shortHeader ? load.in.u8() + 1 : load.in.u16();
  const uint32_t packedSize = load.in.u16();
  const int64_t usual = shortHeader ? 8 : 9;
  const int64_t notesAt = start + storedLength(start, headerLength, usual, usual, load.size());
  load.in.seek(notesAt);
  if (notesAt + packedSize <= load.size()) ++load.song.wholePatterns;
  if (!patternRowsAllowed(load, rows, index, failure)) return false;
  // A pattern without rows: the tracker that wrote it makes it 64 rows long.
  const int32_t readRows = rows == 0 ? 64 : rows;
  pattern.rows = readRows;
  pattern.notes = new (std::nothrow) Note[static_cast<size_t>(pattern.rows) * load.song.channelCount]();
  if (!pattern.notes) return false;
  if (packedSize == 0) return true;
  std::vector<uint8_t> packed(packedSize);
  const size_t got = load.in.read(packed.data(), packedSize);
  const uint8_t* at = packed.data();
  const uint8_t* const end = at + got;
  const int notes = readRows * load.song.channelCount;
  for (int i = 0; i < notes; ++i) unpackNote(pattern.notes[i], [&at, end] { return at < end ? *at++ : uint8_t{0}; });
  return true;
}

bool instrument(Load& load, int index, int64_t& skippedBytes, LoadFailure* failure) {
  Instrument& ins = load.song.instruments[index];
  skippedBytes = 0;
  uint8_t h[kInstrumentRestEnd] = {};
  InstrumentStart start;
  if (!readInstrumentStart(load, ins, h, start, index, failure)) return false;
  const int64_t usual = start.count ? kInstrumentHeaderSize : kInstrumentRestAt;
  const int64_t end = start.at + storedLength(start.at, start.headerSize, kInstrumentRestAt, usual, load.size());
  if (start.count == 0) {
    load.in.seek(end);
    return true;
  }
  const int64_t rest = std::min<int64_t>(kInstrumentRestEnd, end - start.at);
  load.in.read(h + kInstrumentRestAt, static_cast<size_t>(rest - kInstrumentRestAt));
  parseInstrument(ins, h);
  const uint32_t stated = le32(h + kSampleHeaderSizeAt);
  load.in.seek(end);
  const int64_t perSample = stated >= kSampleHeaderSize && stated <= 1024 ? int64_t{stated} : int64_t{kSampleHeaderSize};
  ins.whole = ins.whole && end + start.count * perSample <= load.size();
  const int64_t readable = std::min<int64_t>(start.count, std::max<int64_t>(0, load.size() - end) / perSample);
  return readSampleHeaders(load, ins, static_cast<int>(readable), perSample, true, skippedBytes);
}

bool instrumentsFirst(uint16_t version) { return version < 0x0104; }

const XMLayout kLayout = {orderEntries, pattern, instrument, instrumentsFirst};
}  // namespace asStored

bool loadPatterns(Load& load, const XMLayout& layout, LoadFailure* failure) {
  for (int p = 0; p < load.song.filePatternCount; ++p)
    if (!layout.pattern(load, load.song.patterns[p], p, failure)) return false;
  return allocateEmptyPatterns(load.song);
}

// The module header and order table; false when the player cannot play what it describes.
bool loadHeader(Load& load, const XMLayout& layout, LoadFailure* failure) {
  Song& song = load.song;
  char id[17] = {};
  if (load.in.read(id, 17) != 17 || std::memcmp(id, kId, 17) != 0)
    return refuseLoad(failure, "not an XM module (no \"Extended Module: \" at its start)");
  song.defaultGlobalVolume = 64;

  uint8_t h[kModuleHeaderEnd] = {};
  load.in.read(h + kTitleAt, kOrdersAt - kTitleAt);
  std::memcpy(song.title, h + kTitleAt, 20);
  std::memcpy(song.tracker, h + kTrackerAt, 20);
  song.version = le16(h + kVersionAt);
  const uint32_t headerSize = le32(h + kHeaderSizeAt);
  const char* tracker = reinterpret_cast<const char*>(h + kTrackerAt);
  song.savedBy = xmSavedBy(tracker, h + kTitleAt, headerSize == kModuleHeaderEnd - kHeaderSizeAt);
  song.levels = xmMixLevels(tracker, song.savedBy);
  load.in.read(song.orders, static_cast<size_t>(layout.orderEntries(headerSize)));
  load.in.seek(kHeaderSizeAt + static_cast<int64_t>(headerSize));

  const uint16_t songLength = le16(h + kSongLengthAt);
  const uint16_t restart = le16(h + kRestartAt);
  const uint16_t channels = le16(h + kChannelsAt);
  const uint16_t patternCount = le16(h + kPatternCountAt);
  const uint16_t instrumentCount = le16(h + kInstrumentCountAt);
  // What the player cannot play is rejected here rather than half-loaded.
  if (songLength == 0) return refuseLoad(failure, "no orders to play");
  if (channels == 0 || channels > kMaxXMChannels) return refuseLoad(failure, "%d channels (1 to %d)", channels, kMaxXMChannels);
  if (patternCount > kMaxPatterns) return refuseLoad(failure, "%d patterns (at most %d)", patternCount, kMaxPatterns);
  if (instrumentCount > kMaxXMInstruments)
    return refuseLoad(failure, "%d instruments (at most %d)", instrumentCount, kMaxXMInstruments);
  song.songLength = static_cast<int16_t>(std::min<uint16_t>(songLength, 256));
  song.restartPosition = static_cast<int16_t>(restart < song.songLength ? restart : 0);
  song.channelCount = static_cast<int16_t>(channels);
  song.instrumentCount = static_cast<int16_t>(instrumentCount);
  song.flags = le16(h + kFlagsAt);
  // Speed 0 would never reach a row and tempo 0 has no tick length: take the usual defaults.
  const uint16_t speed = le16(h + kSpeedAt), bpm = le16(h + kBPMAt);
  song.defaultSpeed = static_cast<int16_t>(speed == 0 ? 6 : std::min<uint16_t>(speed, 255));
  song.defaultBPM = static_cast<int16_t>(bpm == 0 ? 125 : std::min<int32_t>(bpm, load.rules.maxBPM));

  int32_t used = 0;
  for (int i = 0; i < song.songLength; ++i)
    if (song.orders[i] >= used) used = song.orders[i] + 1;
  song.usedPatternCount = used;
  song.filePatternCount = patternCount;
  song.allocatedPatternCount = std::max<int32_t>(patternCount, used);
  return true;
}

bool loadBody(Load& load, const XMLayout& layout, LoadFailure* failure) {
  Song& song = load.song;
  song.patterns = new (std::nothrow) Pattern[song.allocatedPatternCount]();
  song.instruments = new (std::nothrow) Instrument[std::max<int>(song.instrumentCount, 1)]();
  if (!song.patterns || !song.instruments) return false;
  load.firstSample.resize(static_cast<size_t>(song.instrumentCount));
  std::vector<int64_t> skipped(song.instrumentCount);
  if (layout.instrumentsFirst(song.version)) {
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!layout.instrument(load, i, skipped[i], failure)) return false;
    if (!loadPatterns(load, layout, failure)) return false;
    expectSampleBytes(song, static_cast<size_t>(load.in.left()));
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!loadSamplesData(load, i, skipped[i])) return false;
  } else {
    if (!loadPatterns(load, layout, failure)) return false;
    // What is left of the file is about the samples' bytes: as many as their frames' where they
    // are 16-bit, half of them where 8-bit (whose rest then takes a block of its own).
    expectSampleBytes(song, static_cast<size_t>(load.in.left()));
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!layout.instrument(load, i, skipped[i], failure) || !loadSamplesData(load, i, skipped[i])) return false;
  }
  for (int i = 0; i < song.instrumentCount; ++i) {
    song.wholeInstruments += song.instruments[i].whole;
    fillKeyboard(song.instruments[i], load.firstSample[i]);
  }
  std::vector<uint8_t> tail(static_cast<size_t>(load.in.left()));
  load.in.read(tail.data(), tail.size());
  applySavedMixSettings(song, tail.data(), tail.size());
  return true;
}
}  // namespace

SongPtr parseXM(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure, SampleLoaderHook hook) {
  if (failure) failure->text[0] = 0;
  if (size > kMaxImageBytes) {
    refuseLoad(failure, "larger than 1 GB");
    return nullptr;
  }
  SongPtr song(newSong());
  if (!song) {
    refuseLoad(failure, "out of memory");
    return nullptr;
  }
  song->format = &xm::kFormat;
  song->sampleLoader = hook;
  ByteReader in(data, data ? size : 0);
  Load load{in, *song, options, hook, {}};
  const XMLayout& layout = options.headersAsStored ? asStored::kLayout : fixed::kLayout;
  if (!loadHeader(load, layout, failure)) return nullptr;
  if (!loadBody(load, layout, failure)) {
    // The layouts name what they refuse; anything else is memory that could not be had.
    if (failure && !failure->text[0]) refuseLoad(failure, "out of memory");
    return nullptr;
  }
  return song;
}

namespace xm {
namespace {
bool recognise(const uint8_t* data, size_t size) { return size >= 17 && std::memcmp(data, kId, 17) == 0; }

SongPtr read(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure) {
  return parseXM(data, size, options, failure);
}

std::string describe(const Song& song) {
  char text[16];
  std::snprintf(text, sizeof text, "XM %d.%02x", song.version >> 8, song.version & 0xFF);
  return text;
}
}  // namespace

const Format kFormat = {"XM", recognise, read, describe, "ft2", "no \"Extended Module: \" at its start"};
}  // namespace xm
