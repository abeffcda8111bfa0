// The mixer's inner loops sixteen frames a pass (MixerKernels.h), built for AVX-512 (F, BW, DQ,
// VL; without fused multiply-add, which would round once where the other paths round twice). The
// sixteen frames' value pairs lie within 64 values where the step is at most four frames: the
// values the pass reads are loaded (no more, so nothing past the sample is touched) and one
// two-register permutation of words picks every frame's pair. The lanes are ordered so that
// interleaving each value with itself gives the mix's left-right order, as on the AVX2 path, and a
// quad ramp's lanes step on as the other paths' four-frame quads do.
#include <immintrin.h>

#include "SoundLib/xmplay/engine/MixerKernels.h"

const MixerKernels& avx2MixerKernels();

namespace {
using namespace mixer_kernels;

// The lanes' frames: interleaving each 128-bit lane's values with themselves then gives the mix's
// order, frames 0 to 7 from the low halves and 8 to 15 from the high ones.
constexpr int kOrder[16] = {0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15};

// The widest step whose sixteen frames' pairs lie within 64 values; a wider one, or a segment of
// fewer than sixteen frames, goes to the AVX2 loop.
constexpr uint64_t kNearest = uint64_t{4} << 32;

// The sixteen interpolated values from their pairs and the positions' fractions.
inline __m512 valuesOf(__m512i pairs, __m512i fraction) {
  const __m512i s0 = _mm512_srai_epi32(_mm512_slli_epi32(pairs, 16), 16);
  const __m512i s1 = _mm512_srai_epi32(pairs, 16);
  const __m512 f = _mm512_cvtepi32_ps(_mm512_srli_epi32(fraction, 1));
  const __m512 d = _mm512_cvtepi32_ps(_mm512_sub_epi32(s1, s0));
  return _mm512_add_ps(_mm512_cvtepi32_ps(s0), _mm512_mul_ps(_mm512_mul_ps(d, f), _mm512_set1_ps(kFractionScale)));
}

// Sixteen positions from a voice's on, lane j's at frame order[j] of the pass, as 64-bit values
// and as the 32-bit fractions (the low half of a sum is the sum of the low halves), stepping on
// sixteen frames a pass.
template <bool kBackward>
struct Sixteen {
  Sixteen(uint64_t position, uint64_t step, const int* order) : p(position), step(step) {
    alignas(64) uint64_t at[16];
    alignas(64) uint32_t low[16];
    for (int k = 0; k < 16; ++k) {
      const uint64_t offset = static_cast<uint64_t>(order[k]) * step;
      at[k] = kBackward ? position - offset : position + offset;
      low[k] = static_cast<uint32_t>(at[k]);
    }
    first = _mm512_load_si512(at);
    second = _mm512_load_si512(at + 8);
    fraction = _mm512_load_si512(low);
    advance = _mm512_set1_epi64(static_cast<int64_t>(16 * step));
    fractionAdvance = _mm512_set1_epi32(static_cast<int32_t>(16 * static_cast<uint32_t>(step)));
  }

  // The pass's sixteen interpolated values.
  __m512 values(const int16_t* data) const {
    // The frames' indices, from the lowest of the pass's.
    const uint32_t base = static_cast<uint32_t>((kBackward ? p - 15 * step : p) >> 32);
    const uint32_t top = static_cast<uint32_t>((kBackward ? p : p + 15 * step) >> 32) - base;  // at most 61
    const __m256i low = _mm512_cvtepi64_epi32(_mm512_srli_epi64(first, 32));
    const __m512i index = _mm512_inserti64x4(_mm512_castsi256_si512(low), _mm512_cvtepi64_epi32(_mm512_srli_epi64(second, 32)), 1);
    const __m512i k = _mm512_sub_epi32(index, _mm512_set1_epi32(static_cast<int32_t>(base)));
    // Each lane's pair: the words at k and k + 1 of the 64 from base (only those up to top + 1 read).
    const __m512i words = _mm512_add_epi32(_mm512_or_si512(k, _mm512_slli_epi32(k, 16)), _mm512_set1_epi32(0x10000));
    const uint64_t needed = top + 2 >= 64 ? ~uint64_t{0} : (uint64_t{1} << (top + 2)) - 1;
    const __m512i lo = _mm512_maskz_loadu_epi16(static_cast<__mmask32>(needed), data + base);
    const __m512i hi = _mm512_maskz_loadu_epi16(static_cast<__mmask32>(needed >> 32), data + base + 32);
    return valuesOf(_mm512_permutex2var_epi16(lo, words, hi), fraction);
  }

  void next() {
    first = kBackward ? _mm512_sub_epi64(first, advance) : _mm512_add_epi64(first, advance);
    second = kBackward ? _mm512_sub_epi64(second, advance) : _mm512_add_epi64(second, advance);
    fraction = kBackward ? _mm512_sub_epi32(fraction, fractionAdvance) : _mm512_add_epi32(fraction, fractionAdvance);
    p = kBackward ? p - 16 * step : p + 16 * step;
  }

  __m512i first, second, fraction, advance, fractionAdvance;
  uint64_t p, step;
};

template <RampKind kRamp, bool kBackward>
uint64_t renderSixteen(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v) {
  if (step > kNearest || n < 16) return avx2MixerKernels().mono[kRamp][kBackward](out, n, data, position, step, v);
  const float dl = v.deltaLeft, dr = v.deltaRight;
  float left = v.left, right = v.right;
  // A quad ramp's levels, left and right interleaved: the two quads to come.
  const __m256 firstQuad =
      _mm256_setr_ps(left, right, left + dl, right + dr, left + 2 * dl, right + 2 * dr, left + 3 * dl, right + 3 * dr);
  const __m256 four8 = _mm256_setr_ps(4 * dl, 4 * dr, 4 * dl, 4 * dr, 4 * dl, 4 * dr, 4 * dl, 4 * dr);
  __m512 quads = _mm512_insertf32x8(_mm512_castps256_ps512(firstQuad), _mm256_add_ps(firstQuad, four8), 1);
  const __m512 four = _mm512_insertf32x8(_mm512_castps256_ps512(four8), four8, 1);
  const __m512 steady = _mm512_setr_ps(left, right, left, right, left, right, left, right,  //
                                       left, right, left, right, left, right, left, right);
  Sixteen<kBackward> at(position, step, kOrder);
  const int32_t passes = n / 16;
  for (int32_t q = 0; q < passes; ++q) {
    const __m512 s = at.values(data);
    at.next();
    __m512 l0, l1;
    if (kRamp == kFrameRamp) {
      alignas(64) float lr[32];
      lr[0] = left;
      lr[1] = right;
      for (int f = 1; f < 16; ++f) {
        lr[2 * f] = lr[2 * f - 2] + dl;
        lr[2 * f + 1] = lr[2 * f - 1] + dr;
      }
      left = lr[30] + dl;
      right = lr[31] + dr;
      l0 = _mm512_load_ps(lr);
      l1 = _mm512_load_ps(lr + 16);
    } else if (kRamp == kQuadRamp) {
      l0 = quads;
      l1 = _mm512_add_ps(_mm512_add_ps(quads, four), four);
      quads = _mm512_add_ps(_mm512_add_ps(l1, four), four);
    } else {
      l0 = l1 = steady;
    }
    float* o = out + 32 * q;
    _mm512_storeu_ps(o, _mm512_add_ps(_mm512_loadu_ps(o), _mm512_mul_ps(_mm512_unpacklo_ps(s, s), l0)));
    _mm512_storeu_ps(o + 16, _mm512_add_ps(_mm512_loadu_ps(o + 16), _mm512_mul_ps(_mm512_unpackhi_ps(s, s), l1)));
  }
  position = at.p;
  int32_t done = 16 * passes;
  if (kRamp == kQuadRamp) {
    // The quads left, one at a time, on from the chain.
    alignas(64) float lr[16];
    _mm512_store_ps(lr, quads);
    __m128 quadL = _mm_setr_ps(lr[0], lr[2], lr[4], lr[6]), quadR = _mm_setr_ps(lr[1], lr[3], lr[5], lr[7]);
    const __m128 fourL = _mm_set1_ps(4 * dl), fourR = _mm_set1_ps(4 * dr);
    for (; n - done >= 4; done += 4) {
      float ls[4], rs[4];
      _mm_storeu_ps(ls, quadL);
      _mm_storeu_ps(rs, quadR);
      quadL = _mm_add_ps(quadL, fourL);
      quadR = _mm_add_ps(quadR, fourR);
      float* o = out + 2 * done;
      for (int f = 0; f < 4; ++f) {
        const float x = sampleAt(data, position);
        position = kBackward ? position - step : position + step;
        o[2 * f] += x * ls[f];
        o[2 * f + 1] += x * rs[f];
      }
    }
    left = _mm_cvtss_f32(quadL);
    right = _mm_cvtss_f32(quadR);
  }
  position = renderTail<kRamp, kBackward>(out + 2 * done, n - done, data, position, step, left, right, dl, dr);
  v.left = left;
  v.right = right;
  return position;
}

template <bool kBackward>
uint64_t valuesSixteen(float* values, int32_t n, const int16_t* data, uint64_t position, uint64_t step) {
  if (step > kNearest || n < 16) return avx2MixerKernels().values[kBackward](values, n, data, position, step);
  static constexpr int kFrames[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  Sixteen<kBackward> at(position, step, kFrames);
  const int32_t passes = n / 16;
  for (int32_t q = 0; q < passes; ++q) {
    _mm512_storeu_ps(values + 16 * q, at.values(data));
    at.next();
  }
  return valuesPlain<kBackward>(values + 16 * passes, n - 16 * passes, data, at.p, step);
}

// Thirty-two samples a pass, each half narrowed to 16 bits with saturation, as the pack does.
uint64_t roundThirtyTwo(int16_t* out, const float* mix, int32_t n) {
  const __m512 low = _mm512_set1_ps(-32768.0f), high = _mm512_set1_ps(32767.0f);
  const __m512 above = _mm512_set1_ps(kClipsAbove), below = _mm512_set1_ps(kClipsBelow);
  uint64_t clipped = 0;
  int32_t i = 0;
  for (; i + 32 <= 2 * n; i += 32) {
    const __m512 x = _mm512_loadu_ps(mix + i), y = _mm512_loadu_ps(mix + i + 16);
    const __mmask16 cx = _mm512_cmp_ps_mask(x, above, _CMP_GE_OQ) | _mm512_cmp_ps_mask(x, below, _CMP_LT_OQ);
    const __mmask16 cy = _mm512_cmp_ps_mask(y, above, _CMP_GE_OQ) | _mm512_cmp_ps_mask(y, below, _CMP_LT_OQ);
    clipped += static_cast<uint64_t>(__builtin_popcount(cx) + __builtin_popcount(cy));
    const __m512i a = _mm512_cvtps_epi32(_mm512_min_ps(_mm512_max_ps(x, low), high));
    const __m512i b = _mm512_cvtps_epi32(_mm512_min_ps(_mm512_max_ps(y, low), high));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm512_cvtsepi32_epi16(a));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), _mm512_cvtsepi32_epi16(b));
  }
  return clipped + roundRest(out, mix, i, 2 * n);
}

const MixerKernels kAVX512 = {
    "AVX512",
    {{renderSixteen<kSteady, false>, renderSixteen<kSteady, true>},
     {renderSixteen<kFrameRamp, false>, renderSixteen<kFrameRamp, true>},
     {renderSixteen<kQuadRamp, false>, renderSixteen<kQuadRamp, true>}},
    {valuesSixteen<false>, valuesSixteen<true>},
    roundThirtyTwo,
};
}  // namespace

const MixerKernels& avx512MixerKernels() { return kAVX512; }
