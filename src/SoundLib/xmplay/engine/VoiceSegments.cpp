// A voice's way through a call's frames, segment by segment (VoiceSegments.h): its boundaries
// (wraps, ping-pong reflections, the end, a queued sample taking over), its volume ramps, and the
// one-frame loops of stereo samples and of other interpolations than linear.
#include "SoundLib/xmplay/engine/VoiceSegments.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "SoundLib/xmplay/engine/Filter.h"
#include "SoundLib/xmplay/engine/FilteredVoices.h"
#include "SoundLib/xmplay/engine/Interpolation.h"

namespace mixing {
namespace {
using mixer_kernels::kFractionScale;

uint32_t loopEndOf(const Sample& s) { return s.loopStart + (s.mixLoopLength ? s.mixLoopLength : s.loopLength); }

[[gnu::always_inline]] inline Loop activeLoop(const MixerChannel& c) {
  const Sample& s = *c.sample;
  if (hasSustainLoop(s) && !c.released)
    return {uint64_t{s.sustainStart} << 32, uint64_t{s.sustainStart + s.sustainLength} << 32, s.sustainMode};
  return {uint64_t{s.loopStart} << 32, uint64_t{loopEndOf(s)} << 32, s.loopMode};
}

uint64_t positionOf(const MixerChannel& c) { return uint64_t{c.position} << 32 | c.positionFraction; }

// Where a voice going forward meets its boundary: the loop's end (the sample's end without a
// loop); with a sample queued, the end of the loop's current pass, where the queued one takes
// over (the mixer's copies of a short loop are passes too).
uint64_t forwardEnd(const MixerChannel& c, const Loop& loop, uint64_t position) {
  const Sample& s = *c.sample;
  if (!c.queued || s.loopMode != kLoopForward) return loop.end;
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

// Frames until the channel crosses its boundary (or, beyond n frames, UINT64_MAX): the loop end
// going forward (the sample end without a loop), the loop start going backward. The exact ceiling
// of distance / step in 64 bits: the last frame of the segment lies short of the boundary and the position after it at or
// past it, so the wrap or reflection that follows always applies and no frame is read outside the
// loop. Never 0, because between segments a channel always stands at least 2^-32 short of the
// boundary it moves towards: a note starts at 0 in a sample of at least one frame; a segment cut
// short by the call's count or by a ramp stops before the ceiling, so before the boundary; a
// forward wrap lands below the loop end; a reflection leaves the channel inside the loop, above
// the start when it goes backward (see reflect); a released sustain loop is settled into the loop
// that follows it (settleIntoLoop). And the step is at least 100 Hz / 192000 Hz of a frame.
//
// Only asked whether the boundary lies within n frames, it answers without dividing where it lies
// beyond: the ceiling is at most n exactly where the distance is at most n steps.
uint64_t framesToBoundary(const MixerChannel& c, const Loop& loop, uint64_t position, uint64_t step, int32_t n) {
  const uint64_t distance = c.direction == kBackward ? position - loop.start : forwardEnd(c, loop, position) - position;
  if (step == 0) return UINT64_MAX;  // a channel that does not move reaches nothing
  const auto frames = static_cast<uint64_t>(n);
  if (step <= UINT64_MAX / frames && distance > step * frames) return UINT64_MAX;
  return distance / step + (distance % step != 0);
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
void reflect(MixerChannel& c, const Loop& loop, uint64_t& p) {
  const uint64_t start = loop.start, end = loop.end;
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

// What a voice does at its boundary: wraps, reflects or stops. False when it has stopped.
bool crossBoundary(MixerChannel& c, const Loop& loop, uint64_t& position) {
  switch (loop.mode) {
    case kLoopForward:
      if (position >= loop.end) position = loop.start + (position - loop.start) % (loop.end - loop.start);
      return true;
    case kLoopPingPong:
      reflect(c, loop, position);
      return true;
    default:
      c.sample = nullptr;
      position = 0;
      return false;
  }
}

// A voice whose sustain loop was let go may stand where the loop that follows does not take it
// (past the normal loop's end, or before its start going backward): it goes there at once, as if it
// had just crossed that boundary. False when that ends it.
bool settleIntoLoop(MixerChannel& c, uint64_t& position) {
  const Loop loop = activeLoop(c);
  if (loop.mode != kLoopPingPong) c.direction = kForward;
  if (c.direction == kForward && position >= loop.end) return crossBoundary(c, loop, position);
  if (c.direction == kBackward && position < loop.start) c.direction = kForward;
  return true;
}

// A filter's last two outputs, left and right, kept where a loop left them.
void keepHistory(VoiceFilter& f, float y1l, float y2l, float y1r, float y2r) {
  f.history[0][0] = y1l;
  f.history[0][1] = y2l;
  f.history[1][0] = y1r;
  f.history[1][1] = y2r;
}

// A stereo voice, one frame at a time: each side interpolated on its own, through the filter
// where it is on, times the levels, which move by their deltas every frame of a ramp.
template <bool kFilter, bool kBackward>
uint64_t renderVoice(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v,
                     bool ramp, VoiceFilter& f) {
  float l = v.left, r = v.right;
  float y1l = f.history[0][0], y2l = f.history[0][1], y1r = f.history[1][0], y2r = f.history[1][1];
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t index = static_cast<uint32_t>(position >> 32);
    const float fraction = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) * kFractionScale;
    const int16_t* at = data + 2 * static_cast<size_t>(index);
    float sl = static_cast<float>(at[0]) + static_cast<float>(at[2] - at[0]) * fraction;
    float sr = static_cast<float>(at[1]) + static_cast<float>(at[3] - at[1]) * fraction;
    if (kFilter) {
      sl = filterFrame(f, sl, y1l, y2l);
      sr = filterFrame(f, sr, y1r, y2r);
    }
    out[2 * i] += sl * l;
    out[2 * i + 1] += sr * r;
    if (ramp) {
      l += v.deltaLeft;
      r += v.deltaRight;
    }
    position = kBackward ? position - step : position + step;
  }
  keepHistory(f, y1l, y2l, y1r, y2r);
  v.left = l;
  v.right = r;
  return position;
}

#if defined(__SSE2__)
// renderVoice for a stereo sample with both sides in one register (left in lane 0, right in 1):
// the same operations on each side, so the same sums, in half the instructions.
template <bool kFilter, bool kBackward>
uint64_t renderStereo(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, SegmentLevels& v,
                      bool ramp, VoiceFilter& f) {
  __m128 levels = _mm_setr_ps(v.left, v.right, 0, 0);
  const __m128 deltas = _mm_setr_ps(v.deltaLeft, v.deltaRight, 0, 0);
  __m128 y1 = _mm_setr_ps(f.history[0][0], f.history[1][0], 0, 0);
  __m128 y2 = _mm_setr_ps(f.history[0][1], f.history[1][1], 0, 0);
  const __m128 a = _mm_set1_ps(f.a), b = _mm_set1_ps(f.b), c = _mm_set1_ps(f.c);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t index = static_cast<uint32_t>(position >> 32);
    const float fraction = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) * kFractionScale;
    // This frame and the next, left and right: four values widened to 32 bits.
    const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + 2 * static_cast<size_t>(index)));
    const __m128i frames = _mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16);
    const __m128i next = _mm_shuffle_epi32(frames, _MM_SHUFFLE(3, 2, 3, 2));
    __m128 x = _mm_add_ps(_mm_cvtepi32_ps(frames),
                          _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(next, frames)), _mm_set1_ps(fraction)));
    if (kFilter) {
      const __m128 y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a, x), _mm_mul_ps(c, y2)), _mm_mul_ps(b, y1));
      y2 = y1;
      y1 = y;
      x = y;
    }
    float* o = out + 2 * i;
    const __m128 mixed = _mm_add_ps(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(o))), _mm_mul_ps(x, levels));
    _mm_store_sd(reinterpret_cast<double*>(o), _mm_castps_pd(mixed));
    if (ramp) levels = _mm_add_ps(levels, deltas);
    position = kBackward ? position - step : position + step;
  }
  if (kFilter) {
    alignas(16) float h1[4], h2[4];
    _mm_store_ps(h1, y1);
    _mm_store_ps(h2, y2);
    keepHistory(f, h1[0], h2[0], h1[1], h2[1]);
  }
  alignas(16) float l[4];
  _mm_store_ps(l, levels);
  v.left = l[0];
  v.right = l[1];
  return position;
}
#endif

template <bool kFilter>
uint64_t renderStereoEither(bool backward, float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                            SegmentLevels& v, bool ramp, VoiceFilter& f) {
#if defined(__SSE2__)
  return backward ? renderStereo<kFilter, true>(out, n, data, position, step, v, ramp, f)
                  : renderStereo<kFilter, false>(out, n, data, position, step, v, ramp, f);
#else
  return backward ? renderVoice<kFilter, true>(out, n, data, position, step, v, ramp, f)
                  : renderVoice<kFilter, false>(out, n, data, position, step, v, ramp, f);
#endif
}

// A voice read by another interpolation than the kernels' linear one (Interpolation.h), one frame
// at a time, each side on its own, through the filter where it is on, levels moving every frame of
// a ramp.
uint64_t renderInterpolated(Interpolation mode, MixerChannel& c, float* out, int32_t n, uint64_t position,
                            uint64_t step, SegmentLevels& v, bool ramp) {
  const Sample& s = *c.sample;
  const bool backward = c.direction == kBackward;
  const Loop loop = activeLoop(c);
  const bool wraps = loop.mode == kLoopForward;
  const auto stride = static_cast<int32_t>(s.stereo ? 2 : 1);
  const SampleView left = {s.data, stride, s.length + kSampleSpareFrames, static_cast<uint32_t>(loop.start >> 32),
                           wraps ? static_cast<uint32_t>(loop.end >> 32) : 0};
  SampleView right = left;
  right.data += stride - 1;
  VoiceFilter& f = c.filter;
  float y1l = f.history[0][0], y2l = f.history[0][1], y1r = f.history[1][0], y2r = f.history[1][1];
  float l = v.left, r = v.right;
  for (int32_t i = 0; i < n; ++i) {
    float sl = interpolateAt(mode, left, position, step);
    float sr = s.stereo ? interpolateAt(mode, right, position, step) : sl;
    if (f.on) {
      sl = filterFrame(f, sl, y1l, y2l);
      sr = s.stereo ? filterFrame(f, sr, y1r, y2r) : sl;
    }
    out[2 * i] += sl * l;
    out[2 * i + 1] += sr * r;
    if (ramp) {
      l += v.deltaLeft;
      r += v.deltaRight;
    }
    position = backward ? position - step : position + step;
  }
  if (f.on) {
    keepHistory(f, y1l, y2l, y1r, y2r);
  }
  v.left = l;
  v.right = r;
  return position;
}

}  // namespace

void setPosition(MixerChannel& c, uint64_t p) {
  c.position = static_cast<uint32_t>(p >> 32);
  c.positionFraction = static_cast<uint32_t>(p);
}

uint64_t renderSegment(const XMPlayer& player, MixerChannel& c, RampKind kind, float* out, int32_t n, uint64_t position,
                       uint64_t step, SegmentLevels& v) {
  const Sample& s = *c.sample;
  const bool backward = c.direction == kBackward;
  if (player.interpolation != Interpolation::kLinear)
    return renderInterpolated(player.interpolation, c, out, n, position, step, v, kind != kSteady);
  if (!s.stereo && !c.filter.on) return player.kernels->mono[kind][backward](out, n, s.data, position, step, v);
  const bool ramp = kind != kSteady;
  if (s.stereo)
    return c.filter.on ? renderStereoEither<true>(backward, out, n, s.data, position, step, v, ramp, c.filter)
                       : renderStereoEither<false>(backward, out, n, s.data, position, step, v, ramp, c.filter);
  return renderFilteredMono(*player.kernels, out, n, s.data, position, step, backward, v, ramp, c.filter);
}

bool beginWalk(const XMPlayer& player, MixerChannel& c, float* out, int32_t count, VoiceWalk& w) {
  w = {};
  w.c = &c;
  w.out = out;
  w.count = count;
  w.position = positionOf(c);
  w.step = uint64_t{c.step} << 32 | c.stepFraction;
  w.scale = player.targetScale;
  return !(c.released && hasSustainLoop(*c.sample) && !settleIntoLoop(c, w.position));
}

void endSegment(VoiceWalk& w) {
  MixerChannel& c = *w.c;
  if (w.ramp) {
    c.rampLeftLevel = static_cast<int32_t>(std::lround(w.v.left * w.scale * 256));
    c.rampRightLevel = static_cast<int32_t>(std::lround(w.v.right * w.scale * 256));
    c.rampFramesLeft -= w.length;
    if (c.rampFramesLeft == 0) {
      c.rampLeftDelta = c.rampRightDelta = 0;
      c.rampLeftLevel = c.leftTarget * 256;
      c.rampRightLevel = c.rightTarget * 256;
    }
  }
  if (w.rampShortened || !w.atBoundary) return;
  if (c.queued) {
    w.position = swapInQueued(c, w.position);
    return;
  }
  crossBoundary(c, w.loop, w.position);
}

void passSilence(VoiceWalk& w, int32_t n) {
  const uint64_t distance = w.step * static_cast<uint64_t>(n);
  w.position = w.c->direction == kBackward ? w.position - distance : w.position + distance;
}

bool nextSegment(const XMPlayer& player, VoiceWalk& w) {
  MixerChannel& c = *w.c;
  while (w.count > 0 && c.sample) {
    w.loop = activeLoop(c);
    // n >= 1: count is above 0 here, the frames to the boundary are (framesToBoundary), and so
    // are the ramp's frames when one runs.
    int32_t n = w.count;
    w.atBoundary = false;
    const uint64_t toBoundary = framesToBoundary(c, w.loop, w.position, w.step, n);
    if (toBoundary <= static_cast<uint64_t>(n)) {
      n = static_cast<int32_t>(toBoundary);
      w.atBoundary = true;
    }
    if (c.rampLength)
      setUpRamp(c, c.rampLength, 1.0f / static_cast<float>(c.rampLength), w.scale);
    else
      setUpRamp(c, player.rampLength, player.rampReciprocal, w.scale);
    w.ramp = c.rampFramesLeft > 0;
    w.rampShortened = false;
    if (w.ramp && c.rampFramesLeft < n) {
      n = c.rampFramesLeft;
      w.rampShortened = true;
      w.atBoundary = false;
    }
    w.length = w.left = n;
    w.silent = false;
    if (w.ramp) {
      w.kind = c.rampLength ? kQuadRamp : kFrameRamp;
      w.v = {static_cast<float>(c.rampLeftLevel) / 256 / w.scale, static_cast<float>(c.rampRightLevel) / 256 / w.scale,
             c.rampLeftDelta, c.rampRightDelta};
      return true;
    }
    if (c.leftTarget != 0 || c.rightTarget != 0) {
      w.kind = kSteady;
      w.v = {static_cast<float>(c.leftTarget) / w.scale, static_cast<float>(c.rightTarget) / w.scale, 0, 0};
      return true;
    }
    // Silent: it would add only zeros, so only its position moves. A voice left behind by a new
    // note has faded out for good and stops instead.
    if (c.leftBehind) {
      c.sample = nullptr;
      w.position = 0;
      return false;
    }
    w.silent = true;
    if (w.keepsSilence) return true;
    passSilence(w, n);
    w.out += 2 * n;
    w.count -= n;
    w.left = 0;
    endSegment(w);
  }
  return false;
}

void moveOn(VoiceWalk& w, int32_t n) {
  w.out += 2 * n;
  w.count -= n;
  w.left -= n;
}

static bool renderRest(const XMPlayer& player, VoiceWalk& w) {
  w.position = renderSegment(player, *w.c, w.kind, w.out, w.left, w.position, w.step, w.v);
  moveOn(w, w.left);
  endSegment(w);
  return nextSegment(player, w);
}

// The filter's history is settled (settleFilter) once a call's frames are mixed.
void mixChannel(XMPlayer& player, MixerChannel& c, float* out, int32_t count) {
  VoiceWalk w;
  if (beginWalk(player, c, out, count, w) && nextSegment(player, w))
    while (renderRest(player, w)) {
    }
  if (c.filter.on) settleFilter(c.filter);
  setPosition(c, w.position);
}

}  // namespace mixing
