// The plain path of the mixer's inner loops (MixerKernels.h), and the choice of path: the plain
// loops do what the SIMD ones do, four frames a pass, lane by lane.
#include "SoundLib/xmplay/engine/MixerKernels.h"

#include <cctype>
#include <cstdlib>

namespace {
using namespace mixer_kernels;

bool sameLetters(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

template <RampKind kRamp, bool kBackward>
uint64_t renderPlain(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                     SegmentLevels& v) {
  const float dl = v.deltaLeft, dr = v.deltaRight;
  float left = v.left, right = v.right;
  float l[4] = {left, left, left, left}, r[4] = {right, right, right, right};
  if (kRamp == kQuadRamp) {
    for (int k = 1; k < 4; ++k) {
      l[k] = left + static_cast<float>(k) * dl;
      r[k] = right + static_cast<float>(k) * dr;
    }
  }
  const int32_t quads = n / 4;
  for (int32_t q = 0; q < quads; ++q) {
    if (kRamp == kFrameRamp) {
      l[0] = left;
      r[0] = right;
      for (int k = 1; k < 4; ++k) {
        l[k] = l[k - 1] + dl;
        r[k] = r[k - 1] + dr;
      }
      left = l[3] + dl;
      right = r[3] + dr;
    }
    float* o = out + 8 * q;
    for (int k = 0; k < 4; ++k) {
      const float s = sampleAt(data, position);
      position = kBackward ? position - step : position + step;
      o[2 * k] += s * l[k];
      o[2 * k + 1] += s * r[k];
    }
    if (kRamp == kQuadRamp) {
      for (int k = 0; k < 4; ++k) {
        l[k] += 4 * dl;
        r[k] += 4 * dr;
      }
    }
  }
  if (kRamp == kQuadRamp) {
    left = l[0];
    right = r[0];
  }
  position = renderTail<kRamp, kBackward>(out + 8 * quads, n - 4 * quads, data, position, step, left, right, dl, dr);
  v.left = left;
  v.right = right;
  return position;
}

const MixerKernels kPlain = {
    "plain",
    {{renderPlain<kSteady, false>, renderPlain<kSteady, true>},
     {renderPlain<kFrameRamp, false>, renderPlain<kFrameRamp, true>},
     {renderPlain<kQuadRamp, false>, renderPlain<kQuadRamp, true>}},
    {valuesPlain<false>, valuesPlain<true>},
    roundPlain,
};
}  // namespace

#if defined(__x86_64__) || defined(__i386__)
// MixerKernelsSSE2.cpp and MixerKernelsAVX2.cpp, built for those instruction sets.
const MixerKernels& sse2MixerKernels();
const MixerKernels& avx2MixerKernels();
#endif
#if defined(__x86_64__)
// MixerKernelsAVX512.cpp, on 64-bit processors only.
const MixerKernels& avx512MixerKernels();
#endif

const MixerKernels* mixerKernels(MixerPath path) {
  switch (path) {
    case MixerPath::kPlain: return &kPlain;
#if defined(__x86_64__) || defined(__i386__)
    case MixerPath::kSSE2: return __builtin_cpu_supports("sse2") ? &sse2MixerKernels() : nullptr;
    case MixerPath::kAVX2: return __builtin_cpu_supports("avx2") ? &avx2MixerKernels() : nullptr;
#if defined(__x86_64__)
    case MixerPath::kAVX512:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")
                 ? &avx512MixerKernels()
                 : nullptr;
#endif
#else
    default: return nullptr;
#endif
  }
  return nullptr;
}

MixerPath widestMixerPath() {
  // For measuring one path against another: BRACKENFOLD_MIXER=plain, sse2, avx2 or avx512 takes
  // that one where the processor has it.
  if (const char* asked = std::getenv("BRACKENFOLD_MIXER")) {
    const MixerPath paths[] = {MixerPath::kPlain, MixerPath::kSSE2, MixerPath::kAVX2, MixerPath::kAVX512};
    for (MixerPath p : paths) {
      const MixerKernels* k = mixerKernels(p);
      if (k && sameLetters(asked, k->name)) return p;
    }
  }
  if (mixerKernels(MixerPath::kAVX512)) return MixerPath::kAVX512;
  if (mixerKernels(MixerPath::kAVX2)) return MixerPath::kAVX2;
  if (mixerKernels(MixerPath::kSSE2)) return MixerPath::kSSE2;
  return MixerPath::kPlain;
}
