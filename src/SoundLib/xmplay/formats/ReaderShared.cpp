#include "SoundLib/xmplay/formats/ReaderShared.h"

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

uint32_t planMixLoop(Sample& sample, uint32_t shortest) {
  sample.mixLoopLength = sample.loopLength;
  if (sample.loopMode == kLoopForward && sample.loopLength < shortest)
    sample.mixLoopLength = (shortest + sample.loopLength - 1) / sample.loopLength * sample.loopLength;
  return std::max(sample.length, sample.loopStart + sample.mixLoopLength);
}

int16_t* newSampleBuffer(uint32_t frames) { return new (std::nothrow) int16_t[frames + 8](); }

void finishSampleData(Sample& sample, int16_t* data) {
  const uint32_t end = sample.loopStart + sample.loopLength;
  if (sample.loopMode == kLoopPingPong) {
    data[end] = data[end - 1];
  } else if (sample.loopMode == kLoopForward) {
    // The copies, then the guard: the loop's first frame after its (last) end. What the sample
    // holds past its loop is never played.
    for (uint32_t i = end; i <= sample.loopStart + sample.mixLoopLength; ++i) data[i] = data[i - sample.loopLength];
  }
}

bool allocateEmptyPatterns(Song& song) {
  for (int p = song.filePatternCount; p < song.usedPatternCount; ++p) {
    song.patterns[p].rows = 64;
    song.patterns[p].notes = new (std::nothrow) Note[static_cast<size_t>(64) * song.channelCount]();
    if (!song.patterns[p].notes) return false;
  }
  return true;
}
