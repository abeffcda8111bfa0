#include "SoundLib/xmplay/XMLoader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "SoundLib/xmplay/ByteReader.h"
#include "SoundLib/xmplay/LoaderShared.h"
#include "SoundLib/xmplay/SavedMixSettings.h"

Sample emptySample{};
Instrument emptyInstrument{};

namespace {
const char kId[] = "Extended Module: ";

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
  kSampleHeaderSize = 40,
};

bool trackerNamed(const uint8_t* header, const char* name) {
  return std::strncmp(reinterpret_cast<const char*>(header + kTrackerAt), name, std::strlen(name)) == 0;
}

// Which tracker saved the file, by the header, as openmpt123 tells them apart (by how it plays
// their levels, ramps and pattern loops). FastTracker 2 names itself "FastTracker v2.00", pads the
// title with spaces and writes the whole 276-byte header. ModPlug Tracker wrote that name too: as
// "FastTracker v 2.00", or with the title ended by zero bytes and the whole header. Under that
// name with a shorter header, another.
SavedBy savedBy(const uint8_t* header, uint32_t headerSize) {
  if (trackerNamed(header, "FastTracker v 2.00  ")) return SavedBy::kModPlug;
  if (!trackerNamed(header, "FastTracker v2.00   ") || headerSize != kModuleHeaderEnd - kHeaderSizeAt)
    return SavedBy::kOther;
  const uint8_t* title = header + kTitleAt;
  return std::find(title, title + 20, 0) == title + 20 ? SavedBy::kFastTracker2 : SavedBy::kModPlug;
}

// How loud the tracker that wrote the file plays it, by the header and the tracker it names
// (savedBy), as openmpt123 tells them apart: ModPlug Tracker's files at its original levels;
// FastTracker 2's with constant power, and other files under its name with a shortened header
// linearly. MilkyTracker (but its versionless name padded with spaces), OpenMPT from 1.22.07.19 on
// and the FastTracker 2 clone mix with constant power; the others linearly.
MixLevels mixLevels(const uint8_t* header, SavedBy by) {
  const char* tracker = reinterpret_cast<const char*>(header + kTrackerAt);
  auto named = [header](const char* name) { return trackerNamed(header, name); };
  switch (by) {
    case SavedBy::kModPlug: return MixLevels::kModPlug;
    case SavedBy::kFastTracker2: return MixLevels::kConstantPower;
    case SavedBy::kOther: break;
  }
  if (named("FastTracker v2.00   ")) return MixLevels::kLinear;
  if (named("MilkyTracker") && !named("MilkyTracker        ")) return MixLevels::kConstantPower;
  if (named("Fasttracker II clone")) return MixLevels::kConstantPower;
  if (named("OpenMPT ")) {
    // Its version as four numbers, "1.22.07.19"; a missing one counts as 0.
    int version[4] = {};
    const char* at = tracker + 8;
    for (int i = 0; i < 4 && at < tracker + 20 && *at >= '0' && *at <= '9'; ++i) {
      while (at < tracker + 20 && *at >= '0' && *at <= '9') version[i] = version[i] * 10 + (*at++ - '0');
      if (at < tracker + 20 && *at == '.') ++at;
    }
    static const int kConstantPowerFrom[4] = {1, 22, 7, 19};
    if (!std::lexicographical_compare(version, version + 4, kConstantPowerFrom, kConstantPowerFrom + 4))
      return MixLevels::kConstantPower;
  }
  return MixLevels::kLinear;
}

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

// Bytes a sample's data takes in the file.
int64_t storedBytes(const Sample& sample) {
  if (sample.encoding == kADPCM) return sample.length == 0 ? 0 : 16 + (int64_t{sample.length} + 1) / 2;
  return int64_t{sample.length} * (sample.bits / 8) * sample.fileChannels;
}

// Running 16-bit sums of n deltas, wrapping modulo 65536.
void undelta(int16_t* data, uint32_t n) {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i]));
    data[i] = static_cast<int16_t>(sum);
  }
}

// 4-bit ADPCM: a table of 16 signed steps, then two steps a byte, the low nibble first.
void decodeADPCM(const uint8_t* in, int16_t* out, uint32_t frames) {
  const int8_t* table = reinterpret_cast<const int8_t*>(in);
  int8_t v = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t b = in[16 + i / 2];
    v = static_cast<int8_t>(v + table[i & 1 ? b >> 4 : b & 15]);
    out[i] = static_cast<int16_t>(v * 256);
  }
}

// Raw values as 16-bit: 8-bit ones are the high byte, 16-bit ones little-endian.
void widen(const uint8_t* raw, int16_t* out, uint32_t values, int bits) {
  for (uint32_t i = 0; i < values; ++i)
    out[i] = static_cast<int16_t>(bits == 8 ? raw[i] << 8 : raw[2 * i] | raw[2 * i + 1] << 8);
}

// What the loader works with while it reads one image.
struct Load {
  ByteReader& in;
  Song& song;
  const LoadRules& rules;
  SampleLoaderHook hook;
  int64_t size() const { return static_cast<int64_t>(in.size()); }
};

// Reads one sample's data into 16-bit PCM with its interpolation guard.
bool loadSampleData(Load& load, Sample& sample, int index, int k) {
  if (sample.length == 0) return true;
  // A sample cannot hold more frames than the image has bytes left: a truncated or lying
  // header is cut to the data that is there instead of allocating what it claims.
  const int64_t left = load.in.left();
  if (storedBytes(sample) > left) {
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
  const int64_t bytes = storedBytes(sample);
  std::unique_ptr<int16_t[]> data(newSampleBuffer(frames));
  const uint32_t values = sample.length * sample.fileChannels;
  std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<size_t>(values) * 2 + 16]());
  if (!data || !raw) return false;
  if (load.hook) {
    load.hook(raw.get(), static_cast<int32_t>(bytes), sample.bits, index, k);
    load.in.skip(bytes);
  } else {
    load.in.read(raw.get(), static_cast<size_t>(bytes));
  }
  const bool deltas = !load.hook && sample.encoding == kDeltaPCM;
  if (sample.encoding == kADPCM) {
    decodeADPCM(raw.get(), data.get(), sample.length);
  } else if (sample.fileChannels == 1) {
    widen(raw.get(), data.get(), sample.length, sample.bits);
    if (deltas) undelta(data.get(), sample.length);
  } else {
    // Two channels stored one after the other, each coded on its own: decoded, then averaged.
    std::vector<int16_t> both(values);
    widen(raw.get(), both.data(), values, sample.bits);
    if (deltas) {
      undelta(both.data(), sample.length);
      undelta(both.data() + sample.length, sample.length);
    }
    for (uint32_t i = 0; i < sample.length; ++i)
      data[i] = static_cast<int16_t>((both[i] + both[sample.length + i]) >> 1);
  }
  sample.bits = 16;
  finishSampleData(sample, data.get());
  sample.data = data.release();
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
      skippedBytes += storedBytes(dropped);
      continue;
    }
    Sample* sample = new (std::nothrow) Sample{};
    if (!sample) return false;
    ins.samples[k] = sample;
    ++ins.sampleCount;
    parseSample(*sample, h, extensions);
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
  song.savedBy = savedBy(h, headerSize);
  song.levels = mixLevels(h, song.savedBy);
  load.in.read(song.orders, static_cast<size_t>(layout.orderEntries(headerSize)));
  load.in.seek(kHeaderSizeAt + static_cast<int64_t>(headerSize));

  const uint16_t songLength = le16(h + kSongLengthAt);
  const uint16_t restart = le16(h + kRestartAt);
  const uint16_t channels = le16(h + kChannelsAt);
  const uint16_t patternCount = le16(h + kPatternCountAt);
  const uint16_t instrumentCount = le16(h + kInstrumentCountAt);
  // What the player cannot play is rejected here rather than half-loaded.
  if (songLength == 0) return refuseLoad(failure, "no orders to play");
  if (channels == 0 || channels > kMaxChannels) return refuseLoad(failure, "%d channels (1 to %d)", channels, kMaxChannels);
  if (patternCount > kMaxPatterns) return refuseLoad(failure, "%d patterns (at most %d)", patternCount, kMaxPatterns);
  if (instrumentCount > kMaxInstruments)
    return refuseLoad(failure, "%d instruments (at most %d)", instrumentCount, kMaxInstruments);
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

// ModPlug Tracker and OpenMPT keep a mix mode, a sample pre-amp and a global volume after the
// samples; they decide over the tracker's name. Modes 0 to 2 mix at ModPlug Tracker's original
// levels, 3 with the centre at full level, 4 linearly, 5 with constant power; the pre-amp scales
// from its default of 48, the global volume from its full 256.
void applySavedMixSettings(Load& load) {
  std::vector<uint8_t> tail(static_cast<size_t>(load.in.left()));
  load.in.read(tail.data(), tail.size());
  const SavedMixSettings saved = readSavedMixSettings(tail.data(), tail.size(), load.song.instrumentCount);
  static const MixLevels kByMode[] = {MixLevels::kModPlug,    MixLevels::kModPlug, MixLevels::kModPlug,
                                      MixLevels::kFullCentre, MixLevels::kLinear,  MixLevels::kConstantPower};
  if (saved.mixMode >= 0 && saved.mixMode <= 5) load.song.levels = kByMode[saved.mixMode];
  if (saved.preamp > 0 && saved.preamp <= 2000) load.song.levelScale *= static_cast<float>(saved.preamp) / 48;
  if (saved.globalVolume >= 0 && saved.globalVolume <= 256) load.song.levelScale *= static_cast<float>(saved.globalVolume) / 256;
}

bool loadBody(Load& load, const XMLayout& layout, LoadFailure* failure) {
  Song& song = load.song;
  song.patterns = new (std::nothrow) Pattern[song.allocatedPatternCount]();
  song.instruments = new (std::nothrow) Instrument[std::max<int>(song.instrumentCount, 1)]();
  if (!song.patterns || !song.instruments) return false;
  std::vector<int64_t> skipped(song.instrumentCount);
  if (layout.instrumentsFirst(song.version)) {
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!layout.instrument(load, i, skipped[i], failure)) return false;
    if (!loadPatterns(load, layout, failure)) return false;
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!loadSamplesData(load, i, skipped[i])) return false;
  } else {
    if (!loadPatterns(load, layout, failure)) return false;
    for (int i = 0; i < song.instrumentCount; ++i)
      if (!layout.instrument(load, i, skipped[i], failure) || !loadSamplesData(load, i, skipped[i])) return false;
  }
  for (int i = 0; i < song.instrumentCount; ++i) song.wholeInstruments += song.instruments[i].whole;
  applySavedMixSettings(load);
  return true;
}
}  // namespace

SongPtr parseXM(const uint8_t* data, size_t size, const RuleSet& rules, LoadFailure* failure, SampleLoaderHook hook) {
  if (failure) failure->text[0] = 0;
  if (size > kMaxImageBytes) {
    refuseLoad(failure, "larger than 1 GB");
    return nullptr;
  }
  if (rules.load.modOnly) {
    refuseLoad(failure, "the %s rules play MOD modules only", rules.title);
    return nullptr;
  }
  SongPtr song(new (std::nothrow) Song{});
  if (!song) {
    refuseLoad(failure, "out of memory");
    return nullptr;
  }
  song->rules = &rules;
  song->tickFunction = rules.tick;
  song->sampleLoader = hook;
  ByteReader in(data, data ? size : 0);
  Load load{in, *song, rules.load, hook};
  const XMLayout& layout = rules.load.headersAsStored ? asStored::kLayout : fixed::kLayout;
  if (!loadHeader(load, layout, failure)) return nullptr;
  if (!loadBody(load, layout, failure)) {
    // The layouts name what they refuse; anything else is memory that could not be had.
    if (failure && !failure->text[0]) refuseLoad(failure, "out of memory");
    return nullptr;
  }
  return song;
}

void freeSong(Song* song) {
  if (!song) return;
  if (song->instruments) {
    for (int i = 0; i < song->instrumentCount; ++i) {
      Instrument& ins = song->instruments[i];
      for (int k = 0; k < ins.sampleCount; ++k) {
        if (ins.samples[k] && ins.samples[k] != &emptySample) {
          delete[] ins.samples[k]->data;
          delete ins.samples[k];
        }
      }
    }
    delete[] song->instruments;
  }
  if (song->patterns) {
    for (int p = 0; p < song->allocatedPatternCount; ++p) delete[] song->patterns[p].notes;
    delete[] song->patterns;
  }
  delete song;
}
