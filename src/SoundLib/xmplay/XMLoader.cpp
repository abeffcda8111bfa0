#include "SoundLib/xmplay/XMLoader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "SoundLib/xmplay/Player.h"
#include "SoundLib/xmplay/FT2Rules.h"
#include "SoundLib/xmplay/IntroRules.h"
#include "SoundLib/xmplay/WaveOutput.h"

Sample emptySample{};
Instrument emptyInstrument{};

namespace {
const char kId[] = "Extended Module: ";

uint8_t readU8(Stream* s) {
  uint8_t v = 0;
  streamRead(&v, 1, s);
  return v;
}
uint16_t readU16(Stream* s) {
  uint8_t b[2] = {};
  streamRead(b, 2, s);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}
uint32_t readU32(Stream* s) {
  uint8_t b[4] = {};
  streamRead(b, 4, s);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}
void seekTo(Stream* s, int64_t position) {
  streamSeek(s, static_cast<int32_t>(std::clamp<int64_t>(position, 0, INT32_MAX)), 0);
}

int16_t* newSampleBuffer(uint32_t frames) { return new (std::nothrow) int16_t[frames + 8](); }

// The shortest forward loop the mixer runs (see loadSampleData).
constexpr uint32_t kMixedLoop = 1024;

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

uint8_t nextFromStream(void* stream) { return readU8(static_cast<Stream*>(stream)); }

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

// Every pattern header taken as 9 bytes long, the notes unpacked straight from the stream.
bool loadPatternsFixed(Song* song, Stream* stream) {
  const int channels = song->channelCount;
  for (int p = 0; p < song->filePatternCount; ++p) {
    readU32(stream);  // header length: taken as 9
    readU8(stream);   // packing type
    const int32_t rows = readU16(stream);
    const uint16_t packedSize = readU16(stream);
    if (rows > kMaxRows) return false;
    Pattern& pattern = song->patterns[p];
    // A pattern without rows has no notes to read, whatever its packed size says, but the
    // sequencer needs a row to play from: it gets one empty row, added only after the reading
    // so that the next pattern's header is read where it is.
    pattern.rows = std::max(rows, 1);
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(pattern.rows) * channels]();
    if (!pattern.notes) return false;
    if (packedSize == 0) continue;
    for (int i = 0; i < rows * channels; ++i) unpackNote(pattern.notes[i], nextFromStream, stream);
  }
  return allocateEmptyPatterns(song);
}

// Header lengths as the file gives them (where they fit in the file), 1.02's one-byte row
// count, and each pattern's notes read from exactly its packed bytes.
bool loadPatternsAsStored(Song* song, Stream* stream, int64_t imageLength) {
  const int channels = song->channelCount;
  std::vector<uint8_t> packed;
  for (int p = 0; p < song->filePatternCount; ++p) {
    const int64_t start = streamTell(stream);
    const uint32_t headerLength = readU32(stream);
    readU8(stream);  // packing type
    int32_t rows = song->version == 0x0102 ? readU8(stream) + 1 : readU16(stream);
    const uint16_t packedSize = readU16(stream);
    const int64_t standard = song->version == 0x0102 ? 8 : 9;
    seekTo(stream, start + (headerLength >= standard && start + headerLength <= imageLength ? headerLength : standard));
    // The tracker keeps 1 to 256 rows and makes a pattern of none 64 rows long.
    if (rows == 0) rows = 64;
    if (rows > kMaxRowsAsStored) return false;
    Pattern& pattern = song->patterns[p];
    pattern.rows = rows;
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(rows) * channels]();
    if (!pattern.notes) return false;
    if (packedSize == 0) continue;
    packed.assign(packedSize, 0);
    const int32_t got = streamRead(packed.data(), packedSize, stream);
    PackedBytes bytes{packed.data(), packed.data() + std::max(got, 0)};
    for (int i = 0; i < rows * channels; ++i) unpackNote(pattern.notes[i], nextPacked, &bytes);
  }
  return allocateEmptyPatterns(song);
}

// The instrument header after its size, name, type and sample count: sample header size,
// keyboard, envelopes and settings, 212 bytes.
constexpr int kInstrumentRest = 212;
constexpr int kSampleHeader = 40;

void parseInstrument(Instrument& ins, const uint8_t* h) {
  std::memcpy(ins.noteToSample, h + 4, 96);
  for (int i = 0; i < 24; ++i) {
    ins.volumeEnvelope[i] = static_cast<uint16_t>(h[100 + 2 * i] | h[100 + 2 * i + 1] << 8);
    ins.panningEnvelope[i] = static_cast<uint16_t>(h[148 + 2 * i] | h[148 + 2 * i + 1] << 8);
  }
  const uint8_t* v = h + 196;
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
  ins.fadeout = static_cast<uint32_t>(v[14] | v[15] << 8) * 2;
}

// A 40-byte sample header. The extensions other trackers write (two channels, ADPCM) only
// count where the song is read as stored.
void parseSample(Sample& sample, const uint8_t* h, bool extensions) {
  auto u32 = [h](int at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<uint32_t>(h[at + 3]) << 24; };
  sample.length = u32(0);
  sample.loopStart = u32(4);
  sample.loopLength = u32(8);
  sample.volume = std::min<uint8_t>(h[12], 64);
  sample.finetune = static_cast<int8_t>(h[13]);
  sample.loopMode = kLoopNone;
  sample.bits = 8;
  sample.fileChannels = 1;
  sample.encoding = kDeltaPCM;
  const uint8_t type = h[14];
  if (type & 1) sample.loopMode = kLoopForward;
  if (type & 2) sample.loopMode = kLoopPingPong;
  if (type & 16) sample.bits = 16;
  if (extensions && (type & 32)) sample.fileChannels = 2;
  if (extensions && h[17] == 0xAD && sample.bits == 8 && sample.fileChannels == 1) sample.encoding = kADPCM;
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
  sample.panning = h[15];
  sample.relativeNote = static_cast<int8_t>(h[16]);
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
  // wraps thousands of times a second. Repeated to at least kMixedLoop frames it plays the same
  // values at every position (the data is periodic) and wraps far less. Not for the intro's
  // rules: a ramp's level is rounded where a run ends, so their wraps are part of their sound.
  sample.mixLoopLength = sample.loopLength;
  if (song->rules == Rules::kFT2 && sample.loopMode == kLoopForward && sample.loopLength < kMixedLoop)
    sample.mixLoopLength = (kMixedLoop + sample.loopLength - 1) / sample.loopLength * sample.loopLength;
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
    uint8_t h[kSampleHeader] = {};
    const int64_t at = streamTell(stream);
    streamRead(h, kSampleHeader, stream);
    if (headerSize != kSampleHeader) seekTo(stream, at + headerSize);
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
  for (int k = 0; k < ins.sampleCount; ++k)
    if (!loadSampleData(song, stream, *ins.samples[k], index, k, imageLength)) return false;
  if (skippedBytes > 0) seekTo(stream, streamTell(stream) + skippedBytes);
  return true;
}

// Every header taken at its usual size: 40-byte sample headers, at most 16 samples.
bool loadInstrumentFixed(Song* song, Stream* stream, int index, int64_t imageLength) {
  Instrument& ins = song->instruments[index];
  const int64_t p = streamTell(stream);
  const uint32_t headerSize = readU32(stream);
  const int64_t sampleHeaders = p + headerSize;
  uint8_t skip[23];
  streamRead(skip, 23, stream);
  const uint16_t count = readU16(stream);
  if (count > kMaxSamplesPerInstrument) return false;
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  if (count == 0) {
    seekTo(stream, sampleHeaders);
    return true;
  }
  uint8_t rest[kInstrumentRest] = {};
  streamRead(rest, kInstrumentRest, stream);
  parseInstrument(ins, rest);
  seekTo(stream, sampleHeaders);
  int64_t skipped = 0;
  if (!readSampleHeaders(ins, stream, count, kSampleHeader, false, skipped)) return false;
  return loadSamplesData(song, stream, index, 0, imageLength);
}

// Instrument and sample headers at the sizes the file gives (where they fit in the file), up
// to 32 samples. The data follows at once from 1.04 on; older files keep it for the end.
bool loadInstrumentAsStored(Song* song, Stream* stream, int index, int64_t imageLength, int64_t& skippedBytes) {
  Instrument& ins = song->instruments[index];
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  const int64_t p = streamTell(stream);
  uint8_t h[29] = {};
  streamRead(h, 29, stream);
  const uint32_t headerSize = h[0] | h[1] << 8 | h[2] << 16 | static_cast<uint32_t>(h[3]) << 24;
  const int count = h[27] | h[28] << 8;
  const int64_t standard = count ? 29 + kInstrumentRest + 22 : 29;
  const bool sane = headerSize >= 29 && p + headerSize <= imageLength;
  const int64_t size = sane ? headerSize : standard;
  skippedBytes = 0;
  if (count == 0) {
    seekTo(stream, p + size);
    return true;
  }
  uint8_t rest[kInstrumentRest] = {};
  streamRead(rest, static_cast<int32_t>(std::min<int64_t>(kInstrumentRest, size - 29)), stream);
  parseInstrument(ins, rest);
  const uint32_t sampleHeader = rest[0] | rest[1] << 8 | rest[2] << 16 | static_cast<uint32_t>(rest[3]) << 24;
  seekTo(stream, p + size);
  const int64_t perSample = sampleHeader >= kSampleHeader && sampleHeader <= 1024 ? sampleHeader : kSampleHeader;
  // Headers the file has no room for are not there: a damaged count reads no further than its end.
  const int64_t room = std::max<int64_t>(0, imageLength - streamTell(stream)) / perSample;
  return readSampleHeaders(ins, stream, static_cast<int>(std::min<int64_t>(count, room)), perSample, true,
                           skippedBytes);
}

}  // namespace

bool loadSong(Song* song, Stream* stream) {
  // The image's length bounds what its headers may claim.
  streamSeek(stream, 0, 2);
  const int64_t imageLength = streamTell(stream);
  const bool asStored = song->rules == Rules::kFT2;

  streamSeek(stream, 0, 0);
  char id[17] = {};
  if (streamRead(id, 17, stream) != 17 || std::memcmp(id, kId, 17) != 0) return false;
  song->tickFunction = asStored ? ft2::tickDriver : tickDriver;
  song->defaultGlobalVolume = 64;

  streamSeek(stream, 58, 0);
  song->version = readU16(stream);
  const uint32_t headerSize = readU32(stream);
  uint8_t h[16] = {};
  streamRead(h, 16, stream);
  auto u16 = [&](int at) { return static_cast<uint16_t>(h[at] | h[at + 1] << 8); };
  const uint16_t songLength = u16(0);
  const uint16_t restart = u16(2);
  const uint16_t channels = u16(4);
  const uint16_t patternCount = u16(6);
  const uint16_t instrumentCount = u16(8);
  // Other trackers shorten the header to the orders they use; the rest of the table is empty.
  const int32_t orders = asStored ? std::clamp<int64_t>(int64_t{headerSize} - 20, 0, 256) : 256;
  streamRead(song->orders, orders, stream);
  seekTo(stream, 60 + static_cast<int64_t>(headerSize));

  // What the player cannot play is rejected here rather than half-loaded.
  if (songLength == 0 || channels == 0 || channels > kMaxChannels || patternCount > kMaxPatterns ||
      instrumentCount > kMaxInstruments)
    return false;
  song->songLength = static_cast<int16_t>(std::min<uint16_t>(songLength, 256));
  song->restartPosition = static_cast<int16_t>(restart < song->songLength ? restart : 0);
  song->channelCount = static_cast<int16_t>(channels);
  song->instrumentCount = static_cast<int16_t>(instrumentCount);
  song->flags = u16(10);
  // Speed 0 would never reach a row and tempo 0 has no tick length: take the usual defaults.
  const uint16_t speed = u16(12), bpm = u16(14);
  song->defaultSpeed = static_cast<int16_t>(speed == 0 ? 6 : std::min<uint16_t>(speed, 255));
  song->defaultBPM = static_cast<int16_t>(bpm == 0 ? 125 : std::min<uint16_t>(bpm, asStored ? 255 : 999));

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

  if (!asStored) {
    if (!loadPatternsFixed(song, stream)) return false;
    for (int i = 0; i < instrumentCount; ++i)
      if (!loadInstrumentFixed(song, stream, i, imageLength)) return false;
    return true;
  }
  // Files before 1.04 hold every instrument's headers, then the patterns, then all sample data.
  std::vector<int64_t> skipped(instrumentCount);
  if (song->version >= 0x0104) {
    if (!loadPatternsAsStored(song, stream, imageLength)) return false;
    for (int i = 0; i < instrumentCount; ++i)
      if (!loadInstrumentAsStored(song, stream, i, imageLength, skipped[i]) ||
          !loadSamplesData(song, stream, i, skipped[i], imageLength))
        return false;
    return true;
  }
  for (int i = 0; i < instrumentCount; ++i)
    if (!loadInstrumentAsStored(song, stream, i, imageLength, skipped[i])) return false;
  if (!loadPatternsAsStored(song, stream, imageLength)) return false;
  for (int i = 0; i < instrumentCount; ++i)
    if (!loadSamplesData(song, stream, i, skipped[i], imageLength)) return false;
  return true;
}

Song* createSong(const void* name, SampleLoaderHook hook, Rules rules) {
  Song* song = new (std::nothrow) Song{};
  if (!song) return nullptr;
  Stream* stream = streamOpen(name, 0, 0);
  if (!stream) {
    delete song;
    return nullptr;
  }
  song->sampleLoader = hook;
  song->rules = rules;
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
