#include "SoundLib/xmplay/formats/ReaderShared.h"

#include "SoundLib/xmplay/engine/SampleStore.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

bool refuseLoad(LoadFailure* failure, const char* format, ...) {
  if (!failure) return false;
  va_list args;
  va_start(args, format);
  std::vsnprintf(failure->text, sizeof failure->text, format, args);
  va_end(args);
  return false;
}

Sample* appendSample(Song& song) {
  // The list grows to the next power of two when it is full.
  const int32_t n = song.sampleCount;
  if ((n & (n - 1)) == 0) {
    Sample** grown = new (std::nothrow) Sample*[n == 0 ? 1 : 2 * static_cast<size_t>(n)];
    if (!grown) return nullptr;
    if (n) std::memcpy(grown, song.samples, sizeof(Sample*) * static_cast<size_t>(n));
    delete[] song.samples;
    song.samples = grown;
  }
  Sample* sample = new (std::nothrow) Sample{};
  if (!sample) return nullptr;
  sample->globalVolume = 64;
  song.samples[song.sampleCount++] = sample;
  return sample;
}

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

void settleSustainLoop(Sample& sample) {
  if (!hasSustainLoop(sample)) {
    sample.sustainMode = kLoopNone;
    sample.sustainStart = sample.sustainLength = 0;
    return;
  }
  sample.sustainStart = std::min(sample.sustainStart, sample.length);
  sample.sustainLength = std::min(sample.sustainLength, sample.length - sample.sustainStart);
  if (sample.sustainLength == 0) {
    sample.sustainMode = kLoopNone;
    sample.sustainStart = 0;
  }
}

uint32_t planMixLoop(Sample& sample, uint32_t shortest) {
  sample.mixLoopLength = sample.loopLength;
  // Where a sustain loop is held the frames past the loop may still be played: no copies there.
  if (sample.loopMode == kLoopForward && !hasSustainLoop(sample) && sample.loopLength < shortest)
    sample.mixLoopLength = (shortest + sample.loopLength - 1) / sample.loopLength * sample.loopLength;
  return std::max(sample.length, sample.loopStart + sample.mixLoopLength);
}

int16_t* newSampleBuffer(Song& song, uint32_t frames, int channels) {
  // Only the spare frames need clearing: the reader writes every frame before them.
  const size_t values = static_cast<size_t>(frames) * static_cast<size_t>(channels);
  const size_t spare = size_t{kSampleSpareFrames} * static_cast<size_t>(channels);
  int16_t* data = allocateSampleValues(song, values + spare);
  if (data) std::memset(data + values, 0, spare * sizeof(int16_t));
  return data;
}

namespace {
// The frame the interpolation reads after a loop's last: its first again (a forward loop) or its
// last (ping-pong), with the copies of a repeated forward loop before it. Where frames after the
// loop may still be played (a sustain loop before them), only past the sample's end.
void guardLoop(const Sample& sample, int16_t* data, uint32_t start, uint32_t length, uint32_t mixLength, uint8_t mode) {
  const uint32_t end = start + length;
  const int channels = sample.stereo ? 2 : 1;
  auto copyFrame = [&](uint32_t to, uint32_t from) {
    for (int k = 0; k < channels; ++k) data[to * channels + k] = data[from * channels + k];
  };
  if (hasSustainLoop(sample) && end < sample.length) return;
  if (mode == kLoopPingPong) {
    copyFrame(end, end - 1);
  } else if (mode == kLoopForward) {
    for (uint32_t i = end; i <= start + mixLength; ++i) copyFrame(i, i - length);
  }
}
}  // namespace

void finishSampleData(Sample& sample, int16_t* data) {
  // What the sample holds past its loop is never played but for a sustain loop's sake.
  guardLoop(sample, data, sample.loopStart, sample.loopLength, sample.mixLoopLength, sample.loopMode);
  if (hasSustainLoop(sample))
    guardLoop(sample, data, sample.sustainStart, sample.sustainLength, sample.sustainLength, sample.sustainMode);
}

bool allocateEmptyPatterns(Song& song) {
  for (int p = song.filePatternCount; p < song.usedPatternCount; ++p) {
    song.patterns[p].rows = 64;
    song.patterns[p].notes = new (std::nothrow) Note[static_cast<size_t>(64) * song.channelCount]();
    if (!song.patterns[p].notes) return false;
  }
  return true;
}

SongPtr startReading(const Format& format, const uint8_t* data, size_t size, LoadFailure* failure) {
  if (failure) failure->text[0] = 0;
  if (size > kMaxImageBytes) {
    refuseLoad(failure, "larger than 1 GB");
    return nullptr;
  }
  if (!format.recognise(data, size)) {
    refuseLoad(failure, "not an %s module (%s)", format.name, format.notRecognised);
    return nullptr;
  }
  SongPtr song(newSong());
  if (!song) {
    refuseLoad(failure, "out of memory");
    return nullptr;
  }
  song->format = &format;
  return song;
}
