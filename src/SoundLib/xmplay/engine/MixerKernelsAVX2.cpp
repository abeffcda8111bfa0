// The mixer's inner loops eight frames a pass (MixerKernels.h), built for AVX2. The eight frames'
// value pairs are loaded one by one (a gather, or two wide loads and their permutations, cost more
// on the processors measured) into lanes ordered so that interleaving each value with itself gives
// the mix's left-right order directly: the levels, left and right interleaved too, then multiply
// both sides at once. A quad ramp's lanes step on as four-frame quads, the chain the other paths
// have.
#include <immintrin.h>

#include "SoundLib/xmplay/engine/MixerKernels.h"

namespace {
using namespace mixer_kernels;

// The eight frames' value pairs (the value at each frame and the next), one load each, in the
// order the mix's lanes hold them (frames 0, 1, 4, 5, 2, 3, 6, 7) or in frame order.
template <bool kBackward, bool kMixOrder = true>
inline __m256i pairsAt(const int16_t* data, uint64_t p, uint64_t step) {
  auto pairAt = [data](uint64_t q) {
    int32_t pair;
    std::memcpy(&pair, data + (q >> 32), sizeof pair);
    return pair;
  };
  const auto at = [p, step](uint64_t k) { return kBackward ? p - k * step : p + k * step; };
  if (!kMixOrder)
    return _mm256_setr_epi32(pairAt(at(0)), pairAt(at(1)), pairAt(at(2)), pairAt(at(3)), pairAt(at(4)), pairAt(at(5)),
                             pairAt(at(6)), pairAt(at(7)));
  return _mm256_setr_epi32(pairAt(at(0)), pairAt(at(1)), pairAt(at(4)), pairAt(at(5)), pairAt(at(2)), pairAt(at(3)),
                           pairAt(at(6)), pairAt(at(7)));
}

// The fractions of eight positions from p on, in the lanes' order (above), in 32-bit lanes: the
// low half of a sum is the sum of the low halves. With the step to add to them for the next eight.
template <bool kBackward>
inline __m256i fractionsAt(uint64_t p, uint64_t step, __m256i order, __m256i& advance) {
  const auto lowStep = static_cast<int32_t>(static_cast<uint32_t>(step));
  const __m256i lanes = _mm256_mullo_epi32(order, _mm256_set1_epi32(lowStep));
  const __m256i start = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(p)));
  advance = _mm256_set1_epi32(static_cast<int32_t>(8 * static_cast<uint32_t>(lowStep)));
  return kBackward ? _mm256_sub_epi32(start, lanes) : _mm256_add_epi32(start, lanes);
}

// The eight interpolated values from their pairs and the positions' fractions.
inline __m256 valuesOf(__m256i pairs, __m256i fraction) {
  const __m256i s0 = _mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16);
  const __m256i s1 = _mm256_srai_epi32(pairs, 16);
  const __m256 f = _mm256_cvtepi32_ps(_mm256_srli_epi32(fraction, 1));
  const __m256 d = _mm256_cvtepi32_ps(_mm256_sub_epi32(s1, s0));
  return _mm256_add_ps(_mm256_cvtepi32_ps(s0), _mm256_mul_ps(_mm256_mul_ps(d, f), _mm256_set1_ps(kFractionScale)));
}

// Adds eight frames' values (lanes in the order above) times their levels (left and right
// interleaved: frames 0 to 3 in first, 4 to 7 in second) into the mix at o.
inline void addEight(float* o, __m256 s, __m256 first, __m256 second) {
  _mm256_storeu_ps(o, _mm256_add_ps(_mm256_loadu_ps(o), _mm256_mul_ps(_mm256_unpacklo_ps(s, s), first)));
  _mm256_storeu_ps(o + 8, _mm256_add_ps(_mm256_loadu_ps(o + 8), _mm256_mul_ps(_mm256_unpackhi_ps(s, s), second)));
}

template <RampKind kRamp, bool kBackward>
uint64_t renderEight(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v) {
  const float dl = v.deltaLeft, dr = v.deltaRight;
  float left = v.left, right = v.right;
  // A quad ramp's levels, left and right interleaved: the quad to come.
  __m256 quad = _mm256_setr_ps(left, right, left + dl, right + dr, left + 2 * dl, right + 2 * dr, left + 3 * dl, right + 3 * dr);
  const __m256 four = _mm256_setr_ps(4 * dl, 4 * dr, 4 * dl, 4 * dr, 4 * dl, 4 * dr, 4 * dl, 4 * dr);
  const __m256 steady = _mm256_setr_ps(left, right, left, right, left, right, left, right);
  __m256i advance;
  __m256i fraction = fractionsAt<kBackward>(position, step, _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7), advance);
  const int32_t octets = n / 8;
  uint64_t p = position;
  for (int32_t q = 0; q < octets; ++q) {
    const __m256 s = valuesOf(pairsAt<kBackward>(data, p, step), fraction);
    fraction = kBackward ? _mm256_sub_epi32(fraction, advance) : _mm256_add_epi32(fraction, advance);
    p = kBackward ? p - 8 * step : p + 8 * step;
    if (kRamp == kFrameRamp) {
      alignas(32) float lr[16];
      lr[0] = left;
      lr[1] = right;
      for (int k = 1; k < 8; ++k) {
        lr[2 * k] = lr[2 * k - 2] + dl;
        lr[2 * k + 1] = lr[2 * k - 1] + dr;
      }
      left = lr[14] + dl;
      right = lr[15] + dr;
      addEight(out + 16 * q, s, _mm256_load_ps(lr), _mm256_load_ps(lr + 8));
    } else if (kRamp == kQuadRamp) {
      const __m256 next = _mm256_add_ps(quad, four);
      addEight(out + 16 * q, s, quad, next);
      quad = _mm256_add_ps(next, four);
    } else {
      addEight(out + 16 * q, s, steady, steady);
    }
  }
  position = p;
  int32_t done = 8 * octets;
  alignas(32) float lr[8];
  _mm256_store_ps(lr, quad);
  if (n - done >= 4) {
    float* o = out + 2 * done;
    float ls[4], rs[4];
    if (kRamp == kQuadRamp) {
      for (int k = 0; k < 4; ++k) {
        ls[k] = lr[2 * k];
        rs[k] = lr[2 * k + 1];
      }
      quad = _mm256_add_ps(quad, four);
      _mm256_store_ps(lr, quad);
    } else {
      for (int k = 0; k < 4; ++k) {
        ls[k] = kRamp == kSteady ? left : (k == 0 ? left : ls[k - 1] + dl);
        rs[k] = kRamp == kSteady ? right : (k == 0 ? right : rs[k - 1] + dr);
      }
      if (kRamp == kFrameRamp) {
        left = ls[3] + dl;
        right = rs[3] + dr;
      }
    }
    for (int k = 0; k < 4; ++k) {
      const float s = sampleAt(data, position);
      position = kBackward ? position - step : position + step;
      o[2 * k] += s * ls[k];
      o[2 * k + 1] += s * rs[k];
    }
    done += 4;
  }
  if (kRamp == kQuadRamp) {
    left = lr[0];
    right = lr[1];
  }
  position = renderTail<kRamp, kBackward>(out + 2 * done, n - done, data, position, step, left, right, dl, dr);
  v.left = left;
  v.right = right;
  return position;
}

template <bool kBackward>
uint64_t valuesEight(float* values, int32_t n, const int16_t* data, uint64_t position, uint64_t step) {
  __m256i advance;
  __m256i fraction = fractionsAt<kBackward>(position, step, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), advance);
  const int32_t octets = n / 8;
  for (int32_t q = 0; q < octets; ++q) {
    _mm256_storeu_ps(values + 8 * q, valuesOf(pairsAt<kBackward, false>(data, position, step), fraction));
    fraction = kBackward ? _mm256_sub_epi32(fraction, advance) : _mm256_add_epi32(fraction, advance);
    position = kBackward ? position - 8 * step : position + 8 * step;
  }
  return valuesPlain<kBackward>(values + 8 * octets, n - 8 * octets, data, position, step);
}

// Sixteen samples a pass; the pack works within each half, so its quarters are put in order.
uint64_t roundSixteen(int16_t* out, const float* mix, int32_t n) {
  const __m256 low = _mm256_set1_ps(-32768.0f), high = _mm256_set1_ps(32767.0f);
  const __m256 above = _mm256_set1_ps(kClipsAbove), below = _mm256_set1_ps(kClipsBelow);
  __m256i lanes = _mm256_setzero_si256();
  int32_t i = 0;
  for (; i + 16 <= 2 * n; i += 16) {
    const __m256 x = _mm256_loadu_ps(mix + i), y = _mm256_loadu_ps(mix + i + 8);
    lanes = _mm256_sub_epi32(lanes, _mm256_castps_si256(_mm256_or_ps(_mm256_cmp_ps(x, above, _CMP_GE_OQ),
                                                                     _mm256_cmp_ps(x, below, _CMP_LT_OQ))));
    lanes = _mm256_sub_epi32(lanes, _mm256_castps_si256(_mm256_or_ps(_mm256_cmp_ps(y, above, _CMP_GE_OQ),
                                                                     _mm256_cmp_ps(y, below, _CMP_LT_OQ))));
    const __m256i a = _mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(x, low), high));
    const __m256i b = _mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(y, low), high));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
  }
  alignas(32) uint32_t counts[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(counts), lanes);
  uint64_t clipped = 0;
  for (uint32_t c : counts) clipped += c;
  return clipped + roundRest(out, mix, i, 2 * n);
}

const MixerKernels kAVX2 = {
    "AVX2",
    {{renderEight<kSteady, false>, renderEight<kSteady, true>},
     {renderEight<kFrameRamp, false>, renderEight<kFrameRamp, true>},
     {renderEight<kQuadRamp, false>, renderEight<kQuadRamp, true>}},
    {valuesEight<false>, valuesEight<true>},
    roundSixteen,
};
}  // namespace

const MixerKernels& avx2MixerKernels() { return kAVX2; }
