#include "SoundLib/xmplay/XMLoader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "SoundLib/xmplay/Player.h"
#include "SoundLib/xmplay/WaveOutput.h"

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

// FastTracker 2 names itself "FastTracker v2.00" padded with spaces and ends the title with zero
// bytes; other trackers that write the same name (and players that judge by it) pad the title
// with spaces or fill it.
MixLevels mixLevels(const uint8_t* header) {
  static const char kFastTracker2[] = "FastTracker v2.00   ";
  if (std::memcmp(header + kTrackerAt, kFastTracker2, 20) != 0) return MixLevels::kLinear;
  const uint8_t* title = header + kTitleAt;
  return std::find(title, title + 20, 0) != title + 20 ? MixLevels::kFastTracker2 : MixLevels::kConstantPower;
}

// The format is little-endian throughout.
uint32_t littleEndian(const uint8_t* at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | at[i];
  return v;
}
uint16_t le16(const uint8_t* at) { return static_cast<uint16_t>(littleEndian(at, 2)); }
uint32_t le32(const uint8_t* at) { return littleEndian(at, 4); }
uint32_t readLittleEndian(Stream* s, int bytes) {
  uint8_t b[4] = {};
  streamRead(b, bytes, s);
  return littleEndian(b, bytes);
}

// The length of a header that states its own, read as stored: the stated length where it is at
// least `least` and fits in the image; otherwise the usual length.
int64_t storedLength(int64_t start, int64_t stated, int64_t least, int64_t usual, int64_t imageLength) {
  return stated >= least && start + stated <= imageLength ? stated : usual;
}

void seekTo(Stream* s, int64_t position) {
  streamSeek(s, static_cast<int32_t>(std::clamp<int64_t>(position, 0, INT32_MAX)), 0);
}

int16_t* newSampleBuffer(uint32_t frames) { return new (std::nothrow) int16_t[frames + 8](); }

// The loop must lie inside the sample for the guard write and the mixer; a loop of no length
// is no loop.
void settleLoop(Sample& sample) {
  if (sample.loopMode == kLoopNone) {
    sample.loopStart = 0;
    sample.loopLength = sample.length;
    return;
  }
  sample.loopStart = std::min(sample.loopStart, sample.length);
  sample.loopLength = std::min(sample.loopLength, sample.length - sample.loopStart);
  if (sample.loopLength == 0) {
    sample.loopStart = 0;
    sample.loopLength = sample.length;
    sample.loopMode = kLoopNone;
  }
}

void unpackNote(Note& n, uint8_t (*next)(void*), void* from) {
  const uint8_t b = next(from);
  if (b & 0x80) {
    if (b & 1) n.note = next(from);
    if (b & 2) n.instrument = next(from);
    if (b & 4) n.volume = next(from);
    if (b & 8) n.effect = next(from);
    if (b & 16) n.parameter = next(from);
  } else {
    n.note = b;
    n.instrument = next(from);
    n.volume = next(from);
    n.effect = next(from);
    n.parameter = next(from);
  }
  // Notes from 98 to 254 name nothing playable; 255 already is the key off of the unpacked
  // layout and stays one.
  if (n.note == 97)
    n.note = kKeyOff;
  else if (n.note > 97 && n.note != kKeyOff)
    n.note = 0;
  if (n.instrument > 128) n.instrument = 0;
}

uint8_t nextFromStream(void* stream) { return static_cast<uint8_t>(readLittleEndian(static_cast<Stream*>(stream), 1)); }

// The packed bytes of one pattern, read so that a pattern that ends early leaves the rest of
// its notes empty and one that claims more than it holds reads nothing that follows it.
struct PackedBytes {
  const uint8_t* at;
  const uint8_t* end;
};
uint8_t nextPacked(void* bytes) {
  PackedBytes& b = *static_cast<PackedBytes*>(bytes);
  return b.at < b.end ? *b.at++ : 0;
}

bool allocateEmptyPatterns(Song* song) {
  for (int p = song->filePatternCount; p < song->usedPatternCount; ++p) {
    song->patterns[p].rows = 64;
    song->patterns[p].notes = new (std::nothrow) Note[static_cast<size_t>(64) * song->channelCount]();
    if (!song->patterns[p].notes) return false;
  }
  return true;
}

// The pattern headers and packed notes. Taken at their usual size, a header is 9 bytes and the
// notes are unpacked straight from the stream; as stored, a header is as long as it says (1.02's
// has a one-byte row count) and each pattern's notes come from exactly its packed bytes, so that
// one that ends early leaves the rest empty and one that claims more reads nothing beyond it.
bool loadPatterns(Song* song, Stream* stream, int64_t imageLength) {
  const LoadRules& rules = song->rules->load;
  const int channels = song->channelCount;
  const bool shortHeader = rules.headersAsStored && song->version == 0x0102;
  std::vector<uint8_t> packed;
  for (int p = 0; p < song->filePatternCount; ++p) {
    const int64_t start = streamTell(stream);
    const uint32_t headerLength = readLittleEndian(stream, 4);
    readLittleEndian(stream, 1);  // packing type
    int32_t rows = shortHeader ? static_cast<int32_t>(readLittleEndian(stream, 1)) + 1
                               : static_cast<int32_t>(readLittleEndian(stream, 2));
    const uint32_t packedSize = readLittleEndian(stream, 2);
    const int64_t usual = shortHeader ? 8 : 9;
    const int64_t notesAt = start + (rules.headersAsStored ? storedLength(start, headerLength, usual, usual, imageLength)
                                                           : usual);
    if (rules.headersAsStored) seekTo(stream, notesAt);
    if (notesAt + packedSize <= imageLength) ++song->wholePatterns;
    if (rows > rules.maxRows) return false;
    Pattern& pattern = song->patterns[p];
    // A pattern without rows: the tracker that wrote it as stored makes it 64 rows long. Read
    // at the usual sizes it has no notes to read, whatever its packed size says, but the
    // sequencer needs a row to play from: one empty row, added only after the reading so that the
    // next pattern's header is read where it is.
    const int32_t readRows = rows == 0 && rules.headersAsStored ? 64 : rows;
    pattern.rows = std::max(readRows, 1);
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(pattern.rows) * channels]();
    if (!pattern.notes) return false;
    if (packedSize == 0) continue;
    const int notes = readRows * channels;
    if (!rules.headersAsStored) {
      for (int i = 0; i < notes; ++i) unpackNote(pattern.notes[i], nextFromStream, stream);
      continue;
    }
    packed.assign(packedSize, 0);
    const int32_t got = streamRead(packed.data(), static_cast<int32_t>(packedSize), stream);
    PackedBytes bytes{packed.data(), packed.data() + std::max(got, 0)};
    for (int i = 0; i < notes; ++i) unpackNote(pattern.notes[i], nextPacked, &bytes);
  }
  return allocateEmptyPatterns(song);
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

// A sample header. The extensions other trackers write (two channels, ADPCM) only count where
// the song's headers are read as stored.
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

// Running 16-bit sums of n deltas spaced `stride` apart, wrapping modulo 65536.
void undelta(int16_t* data, uint32_t n, uint32_t stride) {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i * stride]));
    data[i * stride] = static_cast<int16_t>(sum);
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

// Reads one sample's data into 16-bit PCM with its interpolation guard.
bool loadSampleData(Song* song, Stream* stream, Sample& sample, int index, int k, int64_t imageLength) {
  if (sample.length == 0) return true;
  // A sample cannot hold more frames than the image has bytes left: a truncated or lying
  // header is cut to the data that is there instead of allocating what it claims.
  const int64_t left = std::max<int64_t>(0, imageLength - streamTell(stream));
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
  // Every wrap costs the mixer a division and a new run of frames; a loop of a few dozen frames
  // wraps thousands of times a second. Repeated to at least the rule set's shortest mixed loop
  // it plays the same values at every position (the data is periodic) and wraps far less.
  sample.mixLoopLength = sample.loopLength;
  const uint32_t shortest = song->rules->load.shortestMixedLoop;
  if (sample.loopMode == kLoopForward && sample.loopLength < shortest)
    sample.mixLoopLength = (shortest + sample.loopLength - 1) / sample.loopLength * sample.loopLength;
  const int32_t bytes = static_cast<int32_t>(storedBytes(sample));
  int16_t* data = newSampleBuffer(std::max(sample.length, sample.loopStart + sample.mixLoopLength));
  if (!data) return false;
  const uint32_t values = sample.length * sample.fileChannels;
  auto* raw = new (std::nothrow) uint8_t[static_cast<size_t>(values) * 2 + 16]();
  if (!raw) {
    delete[] data;
    return false;
  }
  if (song->sampleLoader) {
    song->sampleLoader(raw, bytes, sample.bits, index, k);
    streamSeek(stream, bytes, 1);
  } else {
    streamRead(raw, bytes, stream);
  }
  const bool deltas = !song->sampleLoader && sample.encoding == kDeltaPCM;
  if (sample.encoding == kADPCM) {
    decodeADPCM(raw, data, sample.length);
  } else if (sample.fileChannels == 1) {
    // 8-bit values are the high byte of a 16-bit value; 16-bit ones are little-endian.
    for (uint32_t i = 0; i < sample.length; ++i)
      data[i] = static_cast<int16_t>(sample.bits == 8 ? raw[i] << 8 : raw[2 * i] | raw[2 * i + 1] << 8);
    if (deltas) undelta(data, sample.length, 1);
  } else {
    // Two channels stored one after the other, each coded on its own: decoded, then averaged.
    std::vector<int16_t> both(values);
    for (uint32_t i = 0; i < values; ++i)
      both[i] = static_cast<int16_t>(sample.bits == 8 ? raw[i] << 8 : raw[2 * i] | raw[2 * i + 1] << 8);
    if (deltas) {
      undelta(both.data(), sample.length, 1);
      undelta(both.data() + sample.length, sample.length, 1);
    }
    for (uint32_t i = 0; i < sample.length; ++i)
      data[i] = static_cast<int16_t>((both[i] + both[sample.length + i]) >> 1);
  }
  delete[] raw;
  sample.bits = 16;
  const uint32_t end = sample.loopStart + sample.loopLength;
  if (sample.loopMode == kLoopPingPong) {
    data[end] = data[end - 1];
  } else if (sample.loopMode == kLoopForward) {
    // The copies, then the guard: the loop's first frame after its (last) end. What the sample
    // holds past its loop is never played.
    for (uint32_t i = end; i <= sample.loopStart + sample.mixLoopLength; ++i) data[i] = data[i - sample.loopLength];
  }
  sample.data = data;
  return true;
}

// The sample headers of an instrument, read into records; true unless memory runs out. Those
// beyond the slots are read for their lengths only: their data is skipped.
bool readSampleHeaders(Instrument& ins, Stream* stream, int count, int64_t headerSize, bool extensions,
                       int64_t& skippedBytes) {
  skippedBytes = 0;
  for (int k = 0; k < count; ++k) {
    uint8_t h[kSampleHeaderSize] = {};
    const int64_t at = streamTell(stream);
    streamRead(h, kSampleHeaderSize, stream);
    if (headerSize != kSampleHeaderSize) seekTo(stream, at + headerSize);
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

bool loadSamplesData(Song* song, Stream* stream, int index, int64_t skippedBytes, int64_t imageLength) {
  Instrument& ins = song->instruments[index];
  for (int k = 0; k < ins.sampleCount; ++k) {
    const uint32_t stated = ins.samples[k]->length;
    if (!loadSampleData(song, stream, *ins.samples[k], index, k, imageLength)) return false;
    if (ins.samples[k]->length < stated) ins.whole = false;  // cut to the data that is there
  }
  if (skippedBytes > 0) seekTo(stream, streamTell(stream) + skippedBytes);
  return true;
}

// An instrument's headers. Taken at their usual size, the rest of the instrument header is read
// whole and sample headers are 40 bytes; as stored, the instrument and sample headers are as
// long as the file says (where they fit in it) and a damaged sample count reads no further than
// the file's end. The instrument header's size says where its sample headers start.
bool loadInstrument(Song* song, Stream* stream, int index, int64_t imageLength, int64_t& skippedBytes) {
  const LoadRules& rules = song->rules->load;
  Instrument& ins = song->instruments[index];
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  skippedBytes = 0;
  const int64_t p = streamTell(stream);
  uint8_t h[kInstrumentRestEnd] = {};
  streamRead(h, kInstrumentRestAt, stream);
  const uint32_t headerSize = le32(h);
  const int count = le16(h + kSampleCountAt);
  if (count > rules.maxSamplesPerInstrument) return false;
  const int64_t usual = count ? kInstrumentHeaderSize : kInstrumentRestAt;
  const int64_t end =
      p + (rules.headersAsStored ? storedLength(p, headerSize, kInstrumentRestAt, usual, imageLength) : headerSize);
  ins.whole = p + kInstrumentRestAt <= imageLength;
  if (count == 0) {
    seekTo(stream, end);
    return true;
  }
  const int64_t restEnd = kInstrumentRestEnd;
  const int64_t rest = rules.headersAsStored ? std::min(restEnd, end - p) : restEnd;
  streamRead(h + kInstrumentRestAt, static_cast<int32_t>(rest - kInstrumentRestAt), stream);
  parseInstrument(ins, h);
  const uint32_t stated = le32(h + kSampleHeaderSizeAt);
  seekTo(stream, end);
  const int64_t perSample =
      rules.headersAsStored && stated >= kSampleHeaderSize && stated <= 1024 ? int64_t{stated} : int64_t{kSampleHeaderSize};
  ins.whole = ins.whole && end + count * perSample <= imageLength;
  int64_t readable = count;
  if (rules.headersAsStored) readable = std::min<int64_t>(count, std::max<int64_t>(0, imageLength - end) / perSample);
  return readSampleHeaders(ins, stream, static_cast<int>(readable), perSample, rules.headersAsStored, skippedBytes);
}

void countWholeInstruments(Song* song) {
  for (int i = 0; i < song->instrumentCount; ++i) song->wholeInstruments += song->instruments[i].whole;
}
}  // namespace

bool loadSong(Song* song, Stream* stream) {
  const LoadRules& rules = song->rules->load;
  // The image's length bounds what its headers may claim.
  streamSeek(stream, 0, 2);
  const int64_t imageLength = streamTell(stream);

  streamSeek(stream, 0, 0);
  char id[17] = {};
  if (streamRead(id, 17, stream) != 17 || std::memcmp(id, kId, 17) != 0) return false;
  song->defaultGlobalVolume = 64;

  uint8_t h[kModuleHeaderEnd] = {};
  streamSeek(stream, kTitleAt, 0);
  streamRead(h + kTitleAt, kOrdersAt - kTitleAt, stream);
  song->levels = mixLevels(h);
  song->version = le16(h + kVersionAt);
  const uint32_t headerSize = le32(h + kHeaderSizeAt);
  // Other trackers shorten the header to the orders they use; the rest of the table is empty.
  const int32_t orders =
      rules.headersAsStored ? static_cast<int32_t>(std::clamp<int64_t>(int64_t{headerSize} - 20, 0, 256)) : 256;
  streamRead(song->orders, orders, stream);
  seekTo(stream, kHeaderSizeAt + static_cast<int64_t>(headerSize));

  const uint16_t songLength = le16(h + kSongLengthAt);
  const uint16_t restart = le16(h + kRestartAt);
  const uint16_t channels = le16(h + kChannelsAt);
  const uint16_t patternCount = le16(h + kPatternCountAt);
  const uint16_t instrumentCount = le16(h + kInstrumentCountAt);
  // What the player cannot play is rejected here rather than half-loaded.
  if (songLength == 0 || channels == 0 || channels > kMaxChannels || patternCount > kMaxPatterns ||
      instrumentCount > kMaxInstruments)
    return false;
  song->songLength = static_cast<int16_t>(std::min<uint16_t>(songLength, 256));
  song->restartPosition = static_cast<int16_t>(restart < song->songLength ? restart : 0);
  song->channelCount = static_cast<int16_t>(channels);
  song->instrumentCount = static_cast<int16_t>(instrumentCount);
  song->flags = le16(h + kFlagsAt);
  // Speed 0 would never reach a row and tempo 0 has no tick length: take the usual defaults.
  const uint16_t speed = le16(h + kSpeedAt), bpm = le16(h + kBPMAt);
  song->defaultSpeed = static_cast<int16_t>(speed == 0 ? 6 : std::min<uint16_t>(speed, 255));
  song->defaultBPM = static_cast<int16_t>(bpm == 0 ? 125 : std::min<int32_t>(bpm, rules.maxBPM));

  int32_t used = 0;
  for (int i = 0; i < song->songLength; ++i)
    if (song->orders[i] >= used) used = song->orders[i] + 1;
  song->usedPatternCount = used;
  song->filePatternCount = patternCount;
  song->allocatedPatternCount = std::max<int32_t>(patternCount, used);
  song->patterns = new (std::nothrow) Pattern[song->allocatedPatternCount]();
  if (!song->patterns) return false;
  song->instruments = new (std::nothrow) Instrument[std::max<int>(instrumentCount, 1)]();
  if (!song->instruments) return false;

  // From 1.04 on each instrument's sample data follows its headers, after the patterns; files
  // before it, read as stored, hold every instrument's headers, then the patterns, then all the
  // sample data.
  std::vector<int64_t> skipped(instrumentCount);
  if (song->version >= 0x0104 || !rules.headersAsStored) {
    if (!loadPatterns(song, stream, imageLength)) return false;
    for (int i = 0; i < instrumentCount; ++i)
      if (!loadInstrument(song, stream, i, imageLength, skipped[i]) ||
          !loadSamplesData(song, stream, i, skipped[i], imageLength))
        return false;
    countWholeInstruments(song);
    return true;
  }
  for (int i = 0; i < instrumentCount; ++i)
    if (!loadInstrument(song, stream, i, imageLength, skipped[i])) return false;
  if (!loadPatterns(song, stream, imageLength)) return false;
  for (int i = 0; i < instrumentCount; ++i)
    if (!loadSamplesData(song, stream, i, skipped[i], imageLength)) return false;
  countWholeInstruments(song);
  return true;
}

Song* createSong(const void* name, SampleLoaderHook hook, const RuleSet& rules) {
  Song* song = new (std::nothrow) Song{};
  if (!song) return nullptr;
  Stream* stream = streamOpen(name, 0, 0);
  if (!stream) {
    delete song;
    return nullptr;
  }
  song->sampleLoader = hook;
  song->rules = &rules;
  song->tickFunction = rules.tick;
  const bool loaded = loadSong(song, stream);
  streamClose(stream);
  if (!loaded) {
    releaseSong(song);
    return nullptr;
  }
  return song;
}

bool releaseSong(Song* song) {
  if (!song) return false;
  XMPlayer& player = xmPlayer();
  if (player.song == song) {
    while (player.busy.load()) std::this_thread::yield();
    stop(player);
  }
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
  return true;
}
