// The mixer's inner loops four frames a pass (MixerKernels.h), built for SSE2. The two interpolated
// values of a frame are adjacent and come in with one 32-bit load (x86 is little-endian: the first
// value is the low half).
#include <emmintrin.h>

#include "SoundLib/xmplay/engine/MixerKernels.h"

namespace {
using namespace mixer_kernels;

template <RampKind kRamp, bool kBackward>
uint64_t renderFour(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v) {
  const float dl = v.deltaLeft, dr = v.deltaRight;
  float left = v.left, right = v.right;
  __m128 l = _mm_set1_ps(left), r = _mm_set1_ps(right);
  const __m128 scale = _mm_set1_ps(kFractionScale);
  const __m128 quadLeft = _mm_set1_ps(4 * dl), quadRight = _mm_set1_ps(4 * dr);
  if (kRamp == kQuadRamp) {
    l = _mm_setr_ps(left, left + dl, left + 2 * dl, left + 3 * dl);
    r = _mm_setr_ps(right, right + dr, right + 2 * dr, right + 3 * dr);
  }
  auto pairAt = [data](uint64_t p) {
    int32_t pair;
    std::memcpy(&pair, data + (p >> 32), sizeof pair);
    return pair;
  };
  // The low 32 bits of the four positions advance by the low 32 bits of four steps, modulo 2^32
  // like the positions' own low halves.
  const auto low = [](uint64_t p) { return static_cast<int32_t>(static_cast<uint32_t>(p)); };
  const uint64_t next1 = kBackward ? position - step : position + step;
  const uint64_t next2 = kBackward ? next1 - step : next1 + step;
  const uint64_t next3 = kBackward ? next2 - step : next2 + step;
  __m128i fractions = _mm_setr_epi32(low(position), low(next1), low(next2), low(next3));
  const __m128i advance = _mm_set1_epi32(low(4 * step));
  const int32_t quads = n / 4;
  for (int32_t q = 0; q < quads; ++q) {
    const uint64_t p0 = position;
    const uint64_t p1 = kBackward ? p0 - step : p0 + step;
    const uint64_t p2 = kBackward ? p1 - step : p1 + step;
    const uint64_t p3 = kBackward ? p2 - step : p2 + step;
    position = kBackward ? p3 - step : p3 + step;
    const __m128i pairs = _mm_setr_epi32(pairAt(p0), pairAt(p1), pairAt(p2), pairAt(p3));
    const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
    const __m128i s1 = _mm_srai_epi32(pairs, 16);
    const __m128 f = _mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1));
    fractions = kBackward ? _mm_sub_epi32(fractions, advance) : _mm_add_epi32(fractions, advance);
    const __m128 d = _mm_cvtepi32_ps(_mm_sub_epi32(s1, s0));
    const __m128 s = _mm_add_ps(_mm_cvtepi32_ps(s0), _mm_mul_ps(_mm_mul_ps(d, f), scale));
    if (kRamp == kFrameRamp) {
      const float l1 = left + dl, l2 = l1 + dl, l3 = l2 + dl;
      const float r1 = right + dr, r2 = r1 + dr, r3 = r2 + dr;
      l = _mm_setr_ps(left, l1, l2, l3);
      r = _mm_setr_ps(right, r1, r2, r3);
      left = l3 + dl;
      right = r3 + dr;
    }
    const __m128 sl = _mm_mul_ps(s, l), sr = _mm_mul_ps(s, r);
    float* o = out + 8 * q;
    _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_unpacklo_ps(sl, sr)));
    _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_unpackhi_ps(sl, sr)));
    if (kRamp == kQuadRamp) {
      l = _mm_add_ps(l, quadLeft);
      r = _mm_add_ps(r, quadRight);
    }
  }
  if (kRamp == kQuadRamp) {
    left = _mm_cvtss_f32(l);
    right = _mm_cvtss_f32(r);
  }
  position = renderTail<kRamp, kBackward>(out + 8 * quads, n - 4 * quads, data, position, step, left, right, dl, dr);
  v.left = left;
  v.right = right;
  return position;
}

const MixerKernels kSSE2 = {
    "SSE2",
    {{renderFour<kSteady, false>, renderFour<kSteady, true>},
     {renderFour<kFrameRamp, false>, renderFour<kFrameRamp, true>},
     {renderFour<kQuadRamp, false>, renderFour<kQuadRamp, true>}},
    {valuesPlain<false>, valuesPlain<true>},
    roundPlain,
};
}  // namespace

const MixerKernels& sse2MixerKernels() { return kSSE2; }
