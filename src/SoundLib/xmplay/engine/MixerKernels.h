#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The mixer's inner loops: n frames of one voice's 16-bit mono sample, linearly interpolated at a
// 32.32 step, times its two levels, added into the interleaved float mix. Four builds of the same
// loops, chosen when the program runs: plain C++, SSE2 (four frames a pass), AVX2 (eight) and, on
// 64-bit processors, AVX-512 (sixteen). Each lane does the plain loop's operations in the same
// order (no fused multiply-add), and the levels move from frame to frame by the same additions, so
// every path gives the same sums bit for bit.
//
// How a segment's levels move: not at all, frame by frame (the short ramps at note starts and
// volume changes: one addition a frame, a chain), or four frames at a time (a ramp across a whole
// tick, which only needs to be linear: the four levels of a quad step on by four deltas at once;
// frames past the last whole quad step frame by frame from the first level the next quad would
// have had).
enum RampKind { kSteady, kFrameRamp, kQuadRamp };

// A segment's levels: where they start (updated to where the next frame would be), and their step
// a frame.
struct SegmentLevels {
  float left, right;
  float deltaLeft, deltaRight;
};

// Adds n frames from position on (going back by the step where backward), returns the position
// after them.
using MonoKernel = uint64_t (*)(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                                SegmentLevels& levels);

// Writes the interpolated values of n frames from position on (no levels) to values, returns the
// position after them.
using ValueKernel = uint64_t (*)(float* values, int32_t n, const int16_t* data, uint64_t position, uint64_t step);

// Rounds n stereo frames of the mix to 16-bit samples (to nearest, ties to even, clipped at
// full scale); returns how many samples clipped.
using RoundKernel = uint64_t (*)(int16_t* out, const float* mix, int32_t n);

struct MixerKernels {
  const char* name;
  MonoKernel mono[3][2];  // [RampKind][backward]
  ValueKernel values[2];  // [backward]
  RoundKernel round;
};

enum class MixerPath : uint8_t { kPlain, kSSE2, kAVX2, kAVX512 };

// The loops of a path; none where the build or this processor lacks it.
const MixerKernels* mixerKernels(MixerPath path);
// The widest path this processor runs.
MixerPath widestMixerPath();

// What every path shares, with internal linkage in each file that includes it (the SIMD files are
// built for their instruction sets: their copies must not stand in for the plain one's).
namespace mixer_kernels {
constexpr float kFractionScale = 1.0f / 2147483648.0f;  // 2^-31

// The interpolated value at a 32.32 position: the frame there, and a fraction of the way to the next.
static inline float sampleAt(const int16_t* data, uint64_t p) {
  const uint32_t index = static_cast<uint32_t>(p >> 32);
  const float s0 = data[index];
  const float d = static_cast<float>(data[index + 1] - data[index]);
  return s0 + d * static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(p) >> 1)) * kFractionScale;
}

// Beyond these a sample rounds past 16 bits: 32767.5 rounds to 32768 and -32768.5 to -32768.
constexpr float kClipsAbove = 32767.5f, kClipsBelow = -32768.5f;

// The samples from i on, one at a time: clamped, then rounded to nearest even as lrint does; a
// NaN makes -32768 and counts as no clip. The paths' vectors do the same.
static inline uint64_t roundRest(int16_t* out, const float* mix, int32_t i, int32_t samples) {
  uint64_t clipped = 0;
  for (; i < samples; ++i) {
    clipped += mix[i] >= kClipsAbove || mix[i] < kClipsBelow;
    out[i] = static_cast<int16_t>(std::clamp<long>(std::lrint(std::clamp(mix[i], -32768.0f, 32767.0f)), -32768, 32767));
  }
  return clipped;
}

// The plain path's rounding, and the SSE2 path's: eight samples a pass where SSE2 is there. A
// lane's comparison is all ones (-1) where a sample clips: subtracting it counts.
static inline uint64_t roundPlain(int16_t* out, const float* mix, int32_t n) {
  int32_t i = 0;
  uint64_t clipped = 0;
#if defined(__SSE2__)
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  const __m128 above = _mm_set1_ps(kClipsAbove), below = _mm_set1_ps(kClipsBelow);
  __m128i lanes = _mm_setzero_si128();
  for (; i + 8 <= 2 * n; i += 8) {
    const __m128 x = _mm_loadu_ps(mix + i), y = _mm_loadu_ps(mix + i + 4);
    lanes = _mm_sub_epi32(lanes, _mm_castps_si128(_mm_or_ps(_mm_cmpge_ps(x, above), _mm_cmplt_ps(x, below))));
    lanes = _mm_sub_epi32(lanes, _mm_castps_si128(_mm_or_ps(_mm_cmpge_ps(y, above), _mm_cmplt_ps(y, below))));
    const __m128i a = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(x, low), high));
    const __m128i b = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(y, low), high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
  }
  alignas(16) uint32_t counts[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(counts), lanes);
  clipped = uint64_t{counts[0]} + counts[1] + counts[2] + counts[3];
#endif
  return clipped + roundRest(out, mix, i, 2 * n);
}

// Values one at a time (the plain path's, and the wider paths' last few).
template <bool kBackward>
static inline uint64_t valuesPlain(float* values, int32_t n, const int16_t* data, uint64_t position, uint64_t step) {
  for (int32_t i = 0; i < n; ++i) {
    values[i] = sampleAt(data, position);
    position = kBackward ? position - step : position + step;
  }
  return position;
}

// The frames after the last whole pass of a wider path, one at a time; levels step on each frame
// unless steady.
template <RampKind kRamp, bool kBackward>
static inline uint64_t renderTail(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                                  float& left, float& right, float deltaLeft, float deltaRight) {
  float l = left, r = right;
  int32_t i = 0;
  if (kRamp == kSteady) {
    for (; i + 1 < n; i += 2) {
      const float a = sampleAt(data, position);
      position = kBackward ? position - step : position + step;
      const float b = sampleAt(data, position);
      position = kBackward ? position - step : position + step;
      out[2 * i] += a * l;
      out[2 * i + 1] += a * r;
      out[2 * i + 2] += b * l;
      out[2 * i + 3] += b * r;
    }
  }
  for (; i < n; ++i) {
    const float s = sampleAt(data, position);
    out[2 * i] += s * l;
    out[2 * i + 1] += s * r;
    if (kRamp != kSteady) {
      l += deltaLeft;
      r += deltaRight;
    }
    position = kBackward ? position - step : position + step;
  }
  left = l;
  right = r;
  return position;
}
}  // namespace mixer_kernels
