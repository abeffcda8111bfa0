#include "SoundLib/xmplay/XMLoader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "SoundLib/xmplay/Player.h"
#include "SoundLib/xmplay/Sequencer.h"
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

bool loadPatterns(Song* song, Stream* stream) {
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
    for (int i = 0; i < rows * channels; ++i) {
      Note& n = pattern.notes[i];
      const uint8_t b = readU8(stream);
      if (b & 0x80) {
        if (b & 1) n.note = readU8(stream);
        if (b & 2) n.instrument = readU8(stream);
        if (b & 4) n.volume = readU8(stream);
        if (b & 8) n.effect = readU8(stream);
        if (b & 16) n.parameter = readU8(stream);
      } else {
        n.note = b;
        n.instrument = readU8(stream);
        n.volume = readU8(stream);
        n.effect = readU8(stream);
        n.parameter = readU8(stream);
      }
      // Notes from 98 to 254 name nothing playable; 255 already is the key off of the unpacked
      // layout and stays one.
      if (n.note == 97)
        n.note = kKeyOff;
      else if (n.note > 97 && n.note != kKeyOff)
        n.note = 0;
      if (n.instrument > 128) n.instrument = 0;
    }
  }
  for (int p = song->filePatternCount; p < song->usedPatternCount; ++p) {
    song->patterns[p].rows = 64;
    song->patterns[p].notes = new (std::nothrow) Note[static_cast<size_t>(64) * channels]();
    if (!song->patterns[p].notes) return false;
  }
  return true;
}

bool loadInstrument(Song* song, Stream* stream, int index, int64_t imageLength) {
  Instrument& ins = song->instruments[index];
  const int64_t p = streamTell(stream);
  const uint32_t headerSize = readU32(stream);
  const int64_t sampleHeaders = p + headerSize;
  uint8_t skip[23];
  streamRead(skip, 23, stream);
  const uint16_t count = readU16(stream);
  if (count > kMaxSamplesPerInstrument) return false;
  ins.sampleCount = count;
  std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
  if (count == 0) {
    seekTo(stream, sampleHeaders);
    return true;
  }
  readU32(stream);  // sample header size: taken as 40
  streamRead(ins.noteToSample, 96, stream);
  uint8_t envelopes[96];
  std::memset(envelopes, 0, sizeof envelopes);
  streamRead(envelopes, 96, stream);
  for (int i = 0; i < 24; ++i) {
    ins.volumeEnvelope[i] = static_cast<uint16_t>(envelopes[2 * i] | envelopes[2 * i + 1] << 8);
    ins.panningEnvelope[i] = static_cast<uint16_t>(envelopes[48 + 2 * i] | envelopes[48 + 2 * i + 1] << 8);
  }
  uint8_t s[16] = {};
  streamRead(s, 16, stream);
  ins.volumePoints = s[0];
  ins.panningPoints = s[1];
  ins.volumeSustain = s[2];
  ins.volumeLoopStart = s[3];
  ins.volumeLoopEnd = s[4];
  ins.panningSustain = s[5];
  ins.panningLoopStart = s[6];
  ins.panningLoopEnd = s[7];
  ins.volumeType = ins.volumePoints < 2 ? 0 : s[8];
  ins.panningType = ins.panningPoints < 2 ? 0 : s[9];
  ins.vibratoType = s[10];
  ins.vibratoSweep = s[11];
  ins.vibratoDepth = s[12];
  ins.vibratoRate = s[13];
  ins.fadeout = static_cast<uint32_t>(s[14] | s[15] << 8) * 2;
  seekTo(stream, sampleHeaders);

  for (int k = 0; k < count; ++k) {
    Sample* sample = new (std::nothrow) Sample{};
    if (!sample) return false;
    ins.samples[k] = sample;
    sample->length = readU32(stream);
    sample->loopStart = readU32(stream);
    sample->loopLength = readU32(stream);
    sample->volume = std::min<uint8_t>(readU8(stream), 64);
    sample->finetune = static_cast<int8_t>(readU8(stream));
    sample->loopMode = kLoopNone;
    sample->bits = 8;
    const uint8_t type = readU8(stream);
    if (type & 1) sample->loopMode = kLoopForward;
    if (type & 2) sample->loopMode = kLoopPingPong;
    if (type & 16) sample->bits = 16;
    if (sample->loopMode == kLoopNone) {
      sample->loopStart = 0;
      sample->loopLength = sample->length;
    }
    if (sample->bits == 16) {
      sample->length /= 2;
      sample->loopStart /= 2;
      sample->loopLength /= 2;
    }
    if (sample->loopLength == 0) {
      sample->loopStart = 0;
      sample->loopLength = sample->length;
      sample->loopMode = kLoopNone;
    }
    sample->panning = readU8(stream);
    sample->relativeNote = static_cast<int8_t>(readU8(stream));
    streamRead(skip, 23, stream);
  }

  for (int k = 0; k < count; ++k) {
    Sample& sample = *ins.samples[k];
    if (sample.length == 0) continue;
    // A sample cannot hold more frames than the image has bytes left: a truncated or lying
    // header is cut to the data that is there instead of allocating what it claims.
    const int64_t left = std::max<int64_t>(0, imageLength - streamTell(stream));
    const int64_t bytesPerFrame = sample.bits / 8;
    if (sample.length > left / bytesPerFrame) sample.length = static_cast<uint32_t>(left / bytesPerFrame);
    if (sample.length == 0) {
      sample.loopStart = sample.loopLength = 0;
      sample.loopMode = kLoopNone;
      continue;
    }
    settleLoop(sample);
    const int32_t bytes = static_cast<int32_t>(sample.length * bytesPerFrame);
    int16_t* data = newSampleBuffer(sample.length);
    if (!data) return false;
    if (sample.bits == 8) {
      auto* raw = new (std::nothrow) uint8_t[static_cast<size_t>(sample.length) * 2 + 16]();
      if (!raw) {
        delete[] data;
        return false;
      }
      if (song->sampleLoader) {
        song->sampleLoader(raw, bytes, 8, index, k);
        streamSeek(stream, bytes, 1);
      } else {
        streamRead(raw, bytes, stream);
      }
      for (uint32_t i = 0; i < sample.length; ++i) data[i] = static_cast<int16_t>(raw[i] << 8);
      delete[] raw;
      sample.bits = 16;
    } else {
      uint8_t* bytesOut = reinterpret_cast<uint8_t*>(data);
      if (song->sampleLoader) {
        song->sampleLoader(data, bytes, 16, index, k);
        streamSeek(stream, bytes, 1);
      } else {
        streamRead(bytesOut, bytes, stream);
      }
      // Little-endian in the file; the buffer holds native values.
      for (uint32_t i = 0; i < sample.length; ++i)
        data[i] = static_cast<int16_t>(bytesOut[2 * i] | bytesOut[2 * i + 1] << 8);
    }
    if (!song->sampleLoader) {
      uint16_t sum = 0;
      for (uint32_t i = 0; i < sample.length; ++i) {
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i]));
        data[i] = static_cast<int16_t>(sum);
      }
    }
    const uint32_t end = sample.loopStart + sample.loopLength;
    if (sample.loopMode == kLoopPingPong)
      data[end] = data[end - 1];
    else if (sample.loopMode == kLoopForward)
      data[end] = data[sample.loopStart];
    sample.data = data;
  }
  return true;
}
}  // namespace

bool loadSong(Song* song, Stream* stream) {
  // The image's length bounds what its headers may claim.
  streamSeek(stream, 0, 2);
  const int64_t imageLength = streamTell(stream);

  streamSeek(stream, 0, 0);
  char id[17] = {};
  if (streamRead(id, 17, stream) != 17 || std::memcmp(id, kId, 17) != 0) return false;
  song->tickFunction = tickDriver;
  song->defaultGlobalVolume = 64;

  streamSeek(stream, 60, 0);
  const uint32_t headerSize = readU32(stream);
  uint8_t h[264] = {};
  streamRead(h, 16, stream);
  auto u16 = [&](int at) { return static_cast<uint16_t>(h[at] | h[at + 1] << 8); };
  const uint16_t songLength = u16(0);
  const uint16_t restart = u16(2);
  const uint16_t channels = u16(4);
  const uint16_t patternCount = u16(6);
  const uint16_t instrumentCount = u16(8);
  streamRead(song->orders, 256, stream);
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
  song->defaultBPM = static_cast<int16_t>(bpm == 0 ? 125 : std::min<uint16_t>(bpm, 999));

  int32_t used = 0;
  for (int i = 0; i < song->songLength; ++i)
    if (song->orders[i] >= used) used = song->orders[i] + 1;
  song->usedPatternCount = used;
  song->filePatternCount = patternCount;
  song->allocatedPatternCount = std::max<int32_t>(patternCount, used);
  song->patterns = new (std::nothrow) Pattern[song->allocatedPatternCount]();
  if (!song->patterns) return false;
  if (!loadPatterns(song, stream)) return false;

  song->instruments = new (std::nothrow) Instrument[std::max<int>(instrumentCount, 1)]();
  if (!song->instruments) return false;
  for (int i = 0; i < instrumentCount; ++i)
    if (!loadInstrument(song, stream, i, imageLength)) return false;
  return true;
}

Song* createSong(const void* name, SampleLoaderHook hook) {
  Song* song = new (std::nothrow) Song{};
  if (!song) return nullptr;
  Stream* stream = streamOpen(name, 0, 0);
  if (!stream) {
    delete song;
    return nullptr;
  }
  song->sampleLoader = hook;
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
