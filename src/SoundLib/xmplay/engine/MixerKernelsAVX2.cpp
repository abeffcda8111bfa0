// The mixer's inner loops eight frames a pass (MixerKernels.h), built for AVX2: the eight
// positions advance in 64-bit lanes, and a quad ramp's two quads of a pass keep the four-frame
// chain of levels the other paths have. Where the step is at most two frames (most notes), the
// eight frames' value pairs lie within seventeen values: two loads and two permutations fetch them
// (a gather is slow on many processors); a longer step loads them one by one.
#include <immintrin.h>

#include "SoundLib/xmplay/engine/MixerKernels.h"

namespace {
using namespace mixer_kernels;

// The low and the high 32 bits of eight 64-bit positions (lanes 0-3 in a, 4-7 in b), in order.
inline void splitPositions(__m256i a, __m256i b, __m256i& low, __m256i& high) {
  const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  // Even 32-bit lanes hold the low halves, odd ones the high: a's lows with b's lows moved up, and
  // a's highs moved down with b's highs, then each put in frame order.
  low = _mm256_permutevar8x32_epi32(_mm256_blend_epi32(a, _mm256_slli_epi64(b, 32), 0xAA), order);
  high = _mm256_permutevar8x32_epi32(_mm256_blend_epi32(_mm256_srli_epi64(a, 32), b, 0xAA), order);
}

// The eight frames' value pairs (the value at each position's frame and the next), where the
// frames lie within fifteen of `base`, the lowest: the pairs at even and at odd distances from it
// in two registers, each lane's picked from both by half its distance and chosen by its parity.
// It reads sixteen values past base, which the sample's spare frames cover (kSampleSpareFrames).
inline __m256i nearPairs(const int16_t* data, uint32_t base, __m256i index) {
  const __m256i even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base));
  const __m256i odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base + 1));
  const __m256i k = _mm256_sub_epi32(index, _mm256_set1_epi32(static_cast<int32_t>(base)));
  const __m256i half = _mm256_srli_epi32(k, 1);
  const __m256i isOdd = _mm256_srai_epi32(_mm256_slli_epi32(k, 31), 31);
  return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(even, half), _mm256_permutevar8x32_epi32(odd, half), isOdd);
}

// The same pairs one load at a time, from the frames' positions.
template <bool kBackward>
inline __m256i farPairs(const int16_t* data, uint64_t p, uint64_t step) {
  auto pairAt = [data](uint64_t q) {
    int32_t pair;
    std::memcpy(&pair, data + (q >> 32), sizeof pair);
    return pair;
  };
  const auto at = [p, step](uint64_t k) { return kBackward ? p - k * step : p + k * step; };
  return _mm256_setr_epi32(pairAt(at(0)), pairAt(at(1)), pairAt(at(2)), pairAt(at(3)), pairAt(at(4)), pairAt(at(5)),
                           pairAt(at(6)), pairAt(at(7)));
}

// The eight interpolated values from their pairs and the positions' fractions.
inline __m256 valuesOf(__m256i pairs, __m256i fraction) {
  const __m256i s0 = _mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16);
  const __m256i s1 = _mm256_srai_epi32(pairs, 16);
  const __m256 f = _mm256_cvtepi32_ps(_mm256_srli_epi32(fraction, 1));
  const __m256 d = _mm256_cvtepi32_ps(_mm256_sub_epi32(s1, s0));
  return _mm256_add_ps(_mm256_cvtepi32_ps(s0), _mm256_mul_ps(_mm256_mul_ps(d, f), _mm256_set1_ps(kFractionScale)));
}

// Adds eight frames' values times their levels into the interleaved mix at o.
inline void addEight(float* o, __m256 s, __m256 l, __m256 r) {
  const __m256 sl = _mm256_mul_ps(s, l), sr = _mm256_mul_ps(s, r);
  const __m256 a = _mm256_unpacklo_ps(sl, sr);  // frames 0, 1 | 4, 5
  const __m256 b = _mm256_unpackhi_ps(sl, sr);  // frames 2, 3 | 6, 7
  _mm256_storeu_ps(o, _mm256_add_ps(_mm256_loadu_ps(o), _mm256_permute2f128_ps(a, b, 0x20)));
  _mm256_storeu_ps(o + 8, _mm256_add_ps(_mm256_loadu_ps(o + 8), _mm256_permute2f128_ps(a, b, 0x31)));
}

template <RampKind kRamp, bool kBackward>
uint64_t renderEight(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v) {
  const float dl = v.deltaLeft, dr = v.deltaRight;
  float left = v.left, right = v.right;
  // A quad ramp's levels: the four of the quad to come.
  __m128 quadL = _mm_setr_ps(left, left + dl, left + 2 * dl, left + 3 * dl);
  __m128 quadR = _mm_setr_ps(right, right + dr, right + 2 * dr, right + 3 * dr);
  const __m128 fourL = _mm_set1_ps(4 * dl), fourR = _mm_set1_ps(4 * dr);
  const uint64_t s1 = step, s2 = 2 * step, s3 = 3 * step, s4 = 4 * step;
  const auto at = [position](uint64_t offset) { return kBackward ? position - offset : position + offset; };
  __m256i first = _mm256_setr_epi64x(static_cast<int64_t>(at(0)), static_cast<int64_t>(at(s1)),
                                     static_cast<int64_t>(at(s2)), static_cast<int64_t>(at(s3)));
  __m256i second = _mm256_setr_epi64x(static_cast<int64_t>(at(s4)), static_cast<int64_t>(at(s4 + s1)),
                                      static_cast<int64_t>(at(s4 + s2)), static_cast<int64_t>(at(s4 + s3)));
  const __m256i advance = _mm256_set1_epi64x(static_cast<int64_t>(8 * step));
  const int32_t octets = n / 8;
  // Within two frames a step, the eighth frame lies at most fourteen after the first.
  const bool near = step <= uint64_t{2} << 32;
  uint64_t p = position;  // the octet's first frame
  __m256 l = _mm256_set1_ps(left), r = _mm256_set1_ps(right);
  for (int32_t q = 0; q < octets; ++q) {
    __m256i index, fraction;
    splitPositions(first, second, fraction, index);
    first = kBackward ? _mm256_sub_epi64(first, advance) : _mm256_add_epi64(first, advance);
    second = kBackward ? _mm256_sub_epi64(second, advance) : _mm256_add_epi64(second, advance);
    __m256i pairs;
    if (near) {
      const uint32_t base = static_cast<uint32_t>((kBackward ? p - 7 * step : p) >> 32);
      pairs = nearPairs(data, base, index);
    } else {
      pairs = farPairs<kBackward>(data, p, step);
    }
    p = kBackward ? p - 8 * step : p + 8 * step;
    const __m256 s = valuesOf(pairs, fraction);
    if (kRamp == kFrameRamp) {
      float ls[8], rs[8];
      ls[0] = left;
      rs[0] = right;
      for (int k = 1; k < 8; ++k) {
        ls[k] = ls[k - 1] + dl;
        rs[k] = rs[k - 1] + dr;
      }
      left = ls[7] + dl;
      right = rs[7] + dr;
      l = _mm256_loadu_ps(ls);
      r = _mm256_loadu_ps(rs);
    } else if (kRamp == kQuadRamp) {
      const __m128 nextL = _mm_add_ps(quadL, fourL), nextR = _mm_add_ps(quadR, fourR);
      l = _mm256_set_m128(nextL, quadL);
      r = _mm256_set_m128(nextR, quadR);
      quadL = _mm_add_ps(nextL, fourL);
      quadR = _mm_add_ps(nextR, fourR);
    }
    addEight(out + 16 * q, s, l, r);
  }
  position = at(8 * static_cast<uint64_t>(octets) * step);
  int32_t done = 8 * octets;
  if (n - done >= 4) {
    // One quad more, as the four-frame paths do it.
    float* o = out + 2 * done;
    float ls[4], rs[4];
    if (kRamp == kQuadRamp) {
      _mm_storeu_ps(ls, quadL);
      _mm_storeu_ps(rs, quadR);
      quadL = _mm_add_ps(quadL, fourL);
      quadR = _mm_add_ps(quadR, fourR);
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
    left = _mm_cvtss_f32(quadL);
    right = _mm_cvtss_f32(quadR);
  }
  position = renderTail<kRamp, kBackward>(out + 2 * done, n - done, data, position, step, left, right, dl, dr);
  v.left = left;
  v.right = right;
  return position;
}

const MixerKernels kAVX2 = {
    "AVX2",
    {{renderEight<kSteady, false>, renderEight<kSteady, true>},
     {renderEight<kFrameRamp, false>, renderEight<kFrameRamp, true>},
     {renderEight<kQuadRamp, false>, renderEight<kQuadRamp, true>}},
};
}  // namespace

const MixerKernels& avx2MixerKernels() { return kAVX2; }
