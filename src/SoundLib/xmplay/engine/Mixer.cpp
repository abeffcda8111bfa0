#include "SoundLib/xmplay/engine/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
constexpr float kFractionScale = 1.0f / 2147483648.0f;  // 2^-31

// The loop's end as the mixer runs it (the loader may have repeated a short loop).
uint32_t loopEndOf(const Sample& s) { return s.loopStart + (s.mixLoopLength ? s.mixLoopLength : s.loopLength); }

uint64_t positionOf(const MixerChannel& c) { return uint64_t{c.position} << 32 | c.positionFraction; }
void setPosition(MixerChannel& c, uint64_t p) {
  c.position = static_cast<uint32_t>(p >> 32);
  c.positionFraction = static_cast<uint32_t>(p);
}

// Where a voice going forward meets its boundary: the loop's end as the mixer runs it (the sample's
// end without a loop); with a sample queued, the end of the loop's current pass, where the queued
// one takes over (the mixer's copies of a short loop are passes too).
uint64_t forwardEnd(const MixerChannel& c, uint64_t position) {
  const Sample& s = *c.sample;
  if (!c.queued || s.loopMode != kLoopForward) return uint64_t{loopEndOf(s)} << 32;
  const uint64_t start = uint64_t{s.loopStart} << 32, length = uint64_t{s.loopLength} << 32;
  if (position < start) return start + length;
  return start + ((position - start) / length + 1) * length;
}

// The queued sample takes over from a voice at the end of its pass (position, at or past it):
// its loop, from as far past the loop's start as the step overshot the end; one without a loop
// is silence. Returns the new position.
uint64_t swapInQueued(MixerChannel& c, uint64_t position) {
  const Sample& s = *c.sample;
  const uint64_t start = uint64_t{s.loopStart} << 32, length = uint64_t{s.loopLength} << 32;
  const uint64_t end = position < start + length ? start + length : start + (position - start) / length * length;
  const Sample* next = c.queued;
  c.queued = nullptr;
  if (!next->data || next->loopMode != kLoopForward) {
    c.sample = nullptr;
    return 0;
  }
  c.sample = next;
  c.direction = kForward;
  return (uint64_t{next->loopStart} << 32) + (position - end) % (uint64_t{next->loopLength} << 32);
}

// Frames until the channel crosses its boundary: the loop end going forward (the sample end
// without a loop), the loop start going backward. The exact ceiling of distance / step in 64
// bits: the last frame of the segment lies short of the boundary and the position after it at or
// past it, so the wrap or reflection that follows always applies and no frame is read outside the
// loop. Never 0, because between segments a channel always stands at least 2^-32 short of the
// boundary it moves towards: a note starts at 0 in a sample of at least one frame; a segment cut
// short by the call's count or by a ramp stops before the ceiling, so before the boundary; a
// forward wrap lands below the loop end; a reflection leaves the channel inside the loop, above
// the start when it goes backward (see reflect). And the step is at least 100 Hz / 192000 Hz of
// a frame, far above 0.
uint64_t framesToBoundary(const MixerChannel& c, uint64_t position, uint64_t step) {
  const Sample& s = *c.sample;
  const uint64_t distance = c.direction == kBackward ? position - (uint64_t{s.loopStart} << 32)
                                                     : forwardEnd(c, position) - position;
  if (step == 0) return UINT64_MAX;  // a channel that does not move reaches nothing
  return distance / step + (distance % step != 0);
}

// How a segment's levels move: not at all, frame by frame (the short ramps at note starts and
// volume changes, whose sums the scalar loop gives), or four frames at a time (a ramp across a
// whole tick, which only needs to be linear: one addition a quad instead of a chain of four).
enum RampKind { kSteady, kFrameRamp, kQuadRamp };

#if defined(__SSE2__)
// Four frames at once. Each lane does the scalar loop's operations in the same order (no fused
// multiply-add), and a frame ramp's levels step from frame to frame by the same single
// additions, so the sums are bit for bit the same. The two interpolated values of a frame are
// adjacent and come in with one 32-bit load (x86 is little-endian: the first value is the low
// half).
template <RampKind kRamp, bool kBackward>
uint64_t renderFour(float* out, int32_t quads, const int16_t* data, uint64_t position, uint64_t step, float& left,
                    float& right, float deltaLeft, float deltaRight) {
  __m128 l = _mm_set1_ps(left), r = _mm_set1_ps(right);
  const __m128 scale = _mm_set1_ps(kFractionScale);
  const __m128 quadLeft = _mm_set1_ps(4 * deltaLeft), quadRight = _mm_set1_ps(4 * deltaRight);
  if (kRamp == kQuadRamp) {
    l = _mm_setr_ps(left, left + deltaLeft, left + 2 * deltaLeft, left + 3 * deltaLeft);
    r = _mm_setr_ps(right, right + deltaRight, right + 2 * deltaRight, right + 3 * deltaRight);
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
      const float l1 = left + deltaLeft, l2 = l1 + deltaLeft, l3 = l2 + deltaLeft;
      const float r1 = right + deltaRight, r2 = r1 + deltaRight, r3 = r2 + deltaRight;
      l = _mm_setr_ps(left, l1, l2, l3);
      r = _mm_setr_ps(right, r1, r2, r3);
      left = l3 + deltaLeft;
      right = r3 + deltaRight;
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
  return position;
}
#endif

// Renders n frames of one channel; returns the position after them. The levels stay in
// registers, and without a ramp several frames are done per pass.
template <RampKind kRamp, bool kBackward>
uint64_t render(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, float& left,
                float& right, float deltaLeft, float deltaRight) {
  auto sampleAt = [data](uint64_t p) {
    const uint32_t index = static_cast<uint32_t>(p >> 32);
    const float s0 = data[index];
    const float d = static_cast<float>(data[index + 1] - data[index]);
    return s0 + d * static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(p) >> 1)) * kFractionScale;
  };
  auto advance = [step](uint64_t p) { return kBackward ? p - step : p + step; };
  float l = left, r = right;
  int32_t i = 0;
#if defined(__SSE2__)
  position = renderFour<kRamp, kBackward>(out, n / 4, data, position, step, l, r, deltaLeft, deltaRight);
  i = n / 4 * 4;
#endif
  if (kRamp == kSteady) {
    for (; i + 1 < n; i += 2) {
      const float a = sampleAt(position);
      position = advance(position);
      const float b = sampleAt(position);
      position = advance(position);
      out[2 * i] += a * l;
      out[2 * i + 1] += a * r;
      out[2 * i + 2] += b * l;
      out[2 * i + 3] += b * r;
    }
  }
  for (; i < n; ++i) {
    const float s = sampleAt(position);
    out[2 * i] += s * l;
    out[2 * i + 1] += s * r;
    if (kRamp != kSteady) {
      l += deltaLeft;
      r += deltaRight;
    }
    position = advance(position);
  }
  left = l;
  right = r;
  return position;
}

template <RampKind kRamp>
uint64_t renderEither(bool backward, float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                      float& left, float& right, float deltaLeft, float deltaRight) {
  return backward ? render<kRamp, true>(out, n, data, position, step, left, right, deltaLeft, deltaRight)
                  : render<kRamp, false>(out, n, data, position, step, left, right, deltaLeft, deltaRight);
}

void setUpRamp(MixerChannel& c, int32_t rampLength, float reciprocal, float scale) {
  if (c.rampFramesLeft > 0 && c.leftTarget == c.rampLeftTarget && c.rightTarget == c.rampRightTarget) return;
  // A new target: whatever ran before ends here, and a side already at its target stays put.
  c.rampFramesLeft = 0;
  c.rampLeftDelta = c.rampRightDelta = 0;
  c.rampLeftTarget = c.leftTarget;
  c.rampRightTarget = c.rightTarget;
  const int32_t dl = c.leftTarget - (c.rampLeftLevel >> 8);
  const int32_t dr = c.rightTarget - (c.rampRightLevel >> 8);
  if (dl != 0) {
    c.rampLeftDelta = static_cast<float>(dl) * (1.0f / scale) * reciprocal;
    c.rampFramesLeft = rampLength;
  }
  if (dr != 0) {
    c.rampRightDelta = static_cast<float>(dr) * (1.0f / scale) * reciprocal;
    c.rampFramesLeft = rampLength;
  }
}

// Bounces a ping-pong position back into the loop: one fraction unit below the mirror image, and
// mirrored at the other end as well when one reflection is not enough. The arithmetic wraps
// modulo 2^64 and compares differences, which stay small: a backward segment on a loop that
// starts at 0 ends just below 0, and that wrapped value stands for the small negative position.
//
// Then the channel is put where the next segment has at least one frame to mix: going forward
// below the loop end, going backward above the loop start. Two reflections do not suffice for a
// step longer than twice the loop; such a position is held at the loop's edge. A backward
// channel exactly on the loop start (mirror image of a segment that ended exactly on the loop
// end) turns forward there, as its next reflection would have done one unit lower.
void reflect(MixerChannel& c, uint64_t& p) {
  const Sample& s = *c.sample;
  const uint64_t start = uint64_t{s.loopStart} << 32;
  const uint64_t end = uint64_t{loopEndOf(s)} << 32;
  const int64_t length = static_cast<int64_t>(end - start);
  uint64_t q;
  if (c.direction == kForward) {
    q = 2 * end - p - 1;
    c.direction = kBackward;
    if (static_cast<int64_t>(q - start) < 0) {
      q = 2 * start - q - 1;
      c.direction = kForward;
    }
  } else {
    q = 2 * start - p - 1;
    c.direction = kForward;
    if (static_cast<int64_t>(q - start) >= length) {
      q = 2 * end - q - 1;
      c.direction = kBackward;
    }
  }
  const int64_t offset = static_cast<int64_t>(q - start);
  if (offset < 0) q = start;
  if (offset >= length) q = end - 1;
  if (c.direction == kBackward && q == start) c.direction = kForward;
  p = q;
}

void mixChannel(XMPlayer& player, MixerChannel& c, float* out, int32_t count) {
  uint64_t position = positionOf(c);
  const uint64_t step = uint64_t{c.step} << 32 | c.stepFraction;
  const float scale = player.targetScale;  // a target of this level plays at full scale
  while (count > 0 && c.sample) {
    const Sample& s = *c.sample;
    // n >= 1: count is above 0 here, the frames to the boundary are (framesToBoundary), and so
    // are the ramp's frames when one runs.
    int32_t n = count;
    bool atBoundary = false;
    const uint64_t toBoundary = framesToBoundary(c, position, step);
    if (toBoundary <= static_cast<uint64_t>(n)) {
      n = static_cast<int32_t>(toBoundary);
      atBoundary = true;
    }
    if (c.rampLength)
      setUpRamp(c, c.rampLength, 1.0f / static_cast<float>(c.rampLength), scale);
    else
      setUpRamp(c, player.rampLength, player.rampReciprocal, scale);
    const bool ramp = c.rampFramesLeft > 0;
    bool rampShortened = false;
    if (ramp && c.rampFramesLeft < n) {
      n = c.rampFramesLeft;
      rampShortened = true;
      atBoundary = false;
    }
    const bool backward = c.direction == kBackward;
    if (ramp) {
      float left = static_cast<float>(c.rampLeftLevel) / 256 / scale;
      float right = static_cast<float>(c.rampRightLevel) / 256 / scale;
      position = c.rampLength
                     ? renderEither<kQuadRamp>(backward, out, n, s.data, position, step, left, right,
                                               c.rampLeftDelta, c.rampRightDelta)
                     : renderEither<kFrameRamp>(backward, out, n, s.data, position, step, left, right,
                                                c.rampLeftDelta, c.rampRightDelta);
      c.rampLeftLevel = static_cast<int32_t>(std::lround(left * scale * 256));
      c.rampRightLevel = static_cast<int32_t>(std::lround(right * scale * 256));
      c.rampFramesLeft -= n;
      if (c.rampFramesLeft == 0) {
        c.rampLeftDelta = c.rampRightDelta = 0;
        c.rampLeftLevel = c.leftTarget * 256;
        c.rampRightLevel = c.rightTarget * 256;
      }
    } else if (c.leftTarget == 0 && c.rightTarget == 0) {
      // Silent: it would add only zeros, so only its position moves. A voice left behind by a
      // new note has faded out for good and stops instead.
      if (c.leftBehind) {
        c.sample = nullptr;
        position = 0;
        break;
      }
      const uint64_t distance = step * static_cast<uint64_t>(n);
      position = backward ? position - distance : position + distance;
    } else {
      float left = static_cast<float>(c.leftTarget) / scale;
      float right = static_cast<float>(c.rightTarget) / scale;
      position = renderEither<kSteady>(backward, out, n, s.data, position, step, left, right, 0, 0);
    }
    out += 2 * n;
    count -= n;
    if (rampShortened || !atBoundary) continue;
    if (c.queued) {
      position = swapInQueued(c, position);
      continue;
    }

    switch (s.loopMode) {
      case kLoopForward: {
        const uint64_t loopStart = uint64_t{s.loopStart} << 32;
        const uint64_t loopEnd = uint64_t{loopEndOf(s)} << 32;
        if (position >= loopEnd) position = loopStart + (position - loopStart) % (loopEnd - loopStart);
        break;
      }
      case kLoopPingPong:
        reflect(c, position);
        break;
      default:
        c.sample = nullptr;
        position = 0;
        break;
    }
  }
  setPosition(c, position);
}
}  // namespace

void mix(XMPlayer& player, float* destination, int32_t count) {
  if (count < 1) return;
  for (int i = 0; i < player.voiceCount; ++i) {
    MixerChannel& c = player.mixer[i];
    if (c.sample && (player.channelMask >> c.channel & 1)) mixChannel(player, c, destination, count);
  }
}

void convert(int16_t* destination, const float* source, int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  // Clamping before rounding gives what rounding and then clamping gives, NaN included (both
  // make it -32768), and the conversion rounds to nearest even as lrint does.
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  for (; i + 8 <= 2 * count; i += 8) {
    const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), low), high);
    const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i + 4), low), high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
  }
#endif
  for (; i < 2 * count; ++i) {
    const long v = std::lrint(source[i]);
    destination[i] = static_cast<int16_t>(std::clamp<long>(v, -32768, 32767));
  }
}

uint64_t countClipped(const float* source, int32_t count) {
  // Rounding to nearest, ties to even: 32767.5 rounds to 32768 and -32768.5 to -32768.
  constexpr float kAbove = 32767.5f, kBelow = -32768.5f;
  uint64_t clipped = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  // A lane's comparison is all ones (-1) where a sample clips: subtracting it counts.
  const __m128 above = _mm_set1_ps(kAbove), below = _mm_set1_ps(kBelow);
  __m128i lanes = _mm_setzero_si128();
  for (; i + 4 <= 2 * count; i += 4) {
    const __m128 v = _mm_loadu_ps(source + i);
    lanes = _mm_sub_epi32(lanes, _mm_castps_si128(_mm_or_ps(_mm_cmpge_ps(v, above), _mm_cmplt_ps(v, below))));
  }
  alignas(16) uint32_t counts[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(counts), lanes);
  clipped = uint64_t{counts[0]} + counts[1] + counts[2] + counts[3];
#endif
  for (; i < 2 * count; ++i) clipped += source[i] >= kAbove || source[i] < kBelow;
  return clipped;
}

void convertScaled(int16_t* destination, const float* source, int32_t count, float gain) {
  if (gain == 1) {
    convert(destination, source, count);
    return;
  }
  float scaled[512];
  for (int32_t done = 0; done < 2 * count;) {
    const int32_t n = std::min<int32_t>(512, 2 * count - done);
    for (int32_t i = 0; i < n; ++i) scaled[i] = source[done + i] * gain;
    convert(destination + done, scaled, n / 2);
    done += n;
  }
}

uint64_t clippedSamples(const float* source, int32_t count, float gain) {
  if (gain == 1) return countClipped(source, count);
  float scaled[512];
  uint64_t clipped = 0;
  for (int32_t done = 0; done < 2 * count;) {
    const int32_t n = std::min<int32_t>(512, 2 * count - done);
    for (int32_t i = 0; i < n; ++i) scaled[i] = source[done + i] * gain;
    clipped += countClipped(scaled, n / 2);
    done += n;
  }
  return clipped;
}

void fillBlock(XMPlayer& player) {
  Song& song = *player.song;
  const int32_t b = player.blockLength;
  const int32_t block = player.blockIndex;
  float* place = player.mixBuffer + static_cast<size_t>(block) * b * 2;
  float* const blockStart = place;
  std::memset(place, 0, sizeof(float) * 2 * static_cast<size_t>(b));
  int32_t countdown = song.samplesLeftInTick;
  int32_t done = 0;
  while (done < b) {
    if (countdown <= 0) {
      song.tickFunction(player, song);
      countdown = song.samplesPerTick;
    }
    const int32_t n = std::min(countdown, b - done);
    mix(player, place, n);
    place += 2 * n;
    done += n;
    countdown -= n;
  }
  song.samplesLeftInTick = countdown;
  convert(player.output.get() + static_cast<size_t>(block) * b * 2, blockStart, b);
  player.blockIndex = block + 1 >= player.ringLength / b ? 0 : block + 1;
}
