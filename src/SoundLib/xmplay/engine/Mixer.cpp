// The software mixer: each voice in segments that end at its loop's boundary, at the end of a
// volume ramp or at the end of the call, each segment rendered by the inner loops of
// MixerKernels.h (a stereo voice by a one-frame loop here; filtered voices in stretches, up to
// four together: the kernels' values, then filters and levels here); then the block fill, which
// calls the song's tick function on its exact frames, and the conversion to 16 bits.
#include "SoundLib/xmplay/engine/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
using mixer_kernels::kFractionScale;

// The loop a voice plays: the sample's sustain loop while it is held, else its loop as the mixer
// runs it (the loader may have repeated a short one); without one, the whole sample. 32.32.
struct Loop {
  uint64_t start, end;
  uint8_t mode;
};

uint32_t loopEndOf(const Sample& s) { return s.loopStart + (s.mixLoopLength ? s.mixLoopLength : s.loopLength); }

[[gnu::always_inline]] inline Loop activeLoop(const MixerChannel& c) {
  const Sample& s = *c.sample;
  if (hasSustainLoop(s) && !c.released)
    return {uint64_t{s.sustainStart} << 32, uint64_t{s.sustainStart + s.sustainLength} << 32, s.sustainMode};
  return {uint64_t{s.loopStart} << 32, uint64_t{loopEndOf(s)} << 32, s.loopMode};
}

uint64_t positionOf(const MixerChannel& c) { return uint64_t{c.position} << 32 | c.positionFraction; }
void setPosition(MixerChannel& c, uint64_t p) {
  c.position = static_cast<uint32_t>(p >> 32);
  c.positionFraction = static_cast<uint32_t>(p);
}

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

// Frames until the channel crosses its boundary (or, beyond n frames, UINT64_MAX): the loop end going forward (the sample end
// without a loop), the loop start going backward. The exact ceiling of distance / step in 64
// bits: the last frame of the segment lies short of the boundary and the position after it at or
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

// One frame of a side through a voice's filter, y1 and y2 its last two outputs. The last output's
// term is added last: the sum of the others waits on nothing.
inline float filterFrame(float a, float b, float c, float x, float& y1, float& y2) {
  const float y = a * x + c * y2 + b * y1;
  y2 = y1;
  y1 = y;
  return y;
}
inline float filterFrame(const VoiceFilter& f, float x, float& y1, float& y2) { return filterFrame(f.a, f.b, f.c, x, y1, y2); }

// A filter ringing down to nothing would go on in subnormal numbers, which cost many times more:
// once a call's frames of a voice are mixed, small values in its history become nothing.
void settleFilter(VoiceFilter& f) {
  for (auto& side : f.history)
    for (float& y : side)
      if (std::fabs(y) < 1e-20f) y = 0;
}

// Filtered voices of mono samples go in stretches of up to kStretch frames: first a stretch's
// values, interpolated by the kernels' loop, and the levels of its frames; then the values through
// the voice's filter (up to kGroup voices' filters together, their chains side by side, each
// waiting on its last output); then the values times the levels into the voice's frames. Each
// frame gets the operations of one frame at a time, in the same order.
constexpr int kGroup = 4;
constexpr int32_t kStretch = 256;

// A filter as a loop holds it: its coefficients and its last two outputs.
struct FilterState {
  float a, b, c, y1, y2;
};
FilterState filterStateOf(const VoiceFilter& f) { return {f.a, f.b, f.c, f.history[0][0], f.history[0][1]}; }
void keepFilterState(const FilterState& s, VoiceFilter& f) {
  f.history[0][0] = s.y1;
  f.history[0][1] = s.y2;
}

bool sameBits(float a, float b) {
  uint32_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// A stretch of a voice: its values (filtered, once its filter has run), the levels of its frames
// (left and right in turn), and the frames it is heard in, from the stretch's start.
struct Stretch {
  float x[kStretch];
  float lr[2 * kStretch];
  int32_t heard;
  // Levels that hold through the stretch (the most common case) stay in l and r, lr unwritten.
  bool steady;
  float l, r;

  void start() {
    heard = 0;
    steady = true;
  }
  // Levels l and r for n frames from frame at on.
  void hold(int32_t at, int32_t n, float left, float right) {
    if (steady && (at == 0 || (sameBits(left, l) && sameBits(right, r)))) {
      l = left;
      r = right;
      return;
    }
    spread(at);
    for (int32_t i = at; i < at + n; ++i) {
      lr[2 * i] = left;
      lr[2 * i + 1] = right;
    }
  }
  // From here on levels differ from frame to frame: those held so far, written out for the
  // frames before at.
  void spread(int32_t at) {
    if (!steady) return;
    steady = false;
    for (int32_t i = 0; i < at; ++i) {
      lr[2 * i] = l;
      lr[2 * i + 1] = r;
    }
  }
};

// The levels of n frames on a ramp into lr, from v's, which they move on from.
void rampLevels(float* lr, int32_t n, SegmentLevels& v) {
  float l = v.left, r = v.right;
  for (int32_t i = 0; i < n; ++i) {
    lr[2 * i] = l;
    lr[2 * i + 1] = r;
    l += v.deltaLeft;
    r += v.deltaRight;
  }
  v.left = l;
  v.right = r;
}

void filterValues(FilterState& f, float* x, int32_t n) {
  FilterState s = f;  // in registers: x may alias nothing of f, but the compiler cannot tell
  for (int32_t i = 0; i < n; ++i) x[i] = filterFrame(s.a, s.b, s.c, x[i], s.y1, s.y2);
  f = s;
}

#if defined(__SSE2__)
// The frames from..to of four voices' values through their filters, the four chains in the lanes
// of one register, four frames at a time (the values turned so that a register holds one frame of
// each voice, and back). A lane's operations are the one-voice loop's.
void filterFourAt(FilterState* f, float* const* x, int32_t from, int32_t to) {
  alignas(16) float lanes[5][4];
  for (int k = 0; k < 4; ++k) {
    lanes[0][k] = f[k].a;
    lanes[1][k] = f[k].b;
    lanes[2][k] = f[k].c;
    lanes[3][k] = f[k].y1;
    lanes[4][k] = f[k].y2;
  }
  const __m128 a = _mm_load_ps(lanes[0]), b = _mm_load_ps(lanes[1]), c = _mm_load_ps(lanes[2]);
  __m128 y1 = _mm_load_ps(lanes[3]), y2 = _mm_load_ps(lanes[4]);
  for (int32_t i = from; i + 4 <= to; i += 4) {
    __m128 f0 = _mm_loadu_ps(x[0] + i), f1 = _mm_loadu_ps(x[1] + i), f2 = _mm_loadu_ps(x[2] + i), f3 = _mm_loadu_ps(x[3] + i);
    _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
    const auto frame = [&](__m128 v) {
      const __m128 y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a, v), _mm_mul_ps(c, y2)), _mm_mul_ps(b, y1));
      y2 = y1;
      y1 = y;
      return y;
    };
    f0 = frame(f0);
    f1 = frame(f1);
    f2 = frame(f2);
    f3 = frame(f3);
    _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
    _mm_storeu_ps(x[0] + i, f0);
    _mm_storeu_ps(x[1] + i, f1);
    _mm_storeu_ps(x[2] + i, f2);
    _mm_storeu_ps(x[3] + i, f3);
  }
  _mm_store_ps(lanes[3], y1);
  _mm_store_ps(lanes[4], y2);
  for (int k = 0; k < 4; ++k) {
    f[k].y1 = lanes[3][k];
    f[k].y2 = lanes[4][k];
  }
}
#endif

// The values of up to kGroup voices (count) through their filters, n[k] of voice k's: four at a
// time as far as those still going all have them (the lanes of voices done filtering nothing);
// where fewer than four frames are left that way, voice by voice.
void filterTogether(FilterState* f, float* const* x, const int32_t* n, int count) {
  int32_t i = 0;
#if defined(__SSE2__)
  float nothing[kStretch];  // a lane that filters nothing reads and writes zeros here
  bool zeroed = false;
  while (true) {
    FilterState lanes[4] = {};
    float* values[4] = {nothing, nothing, nothing, nothing};
    int32_t to = INT32_MAX, going = 0;
    for (int k = 0; k < count; ++k)
      if (n[k] > i) {
        lanes[k] = f[k];
        values[k] = x[k];
        to = std::min(to, n[k]);
        ++going;
      }
    if (to == INT32_MAX || to - i < 4) break;
    if (going < 4 && !zeroed) {
      std::memset(nothing, 0, sizeof nothing);
      zeroed = true;
    }
    to = i + (to - i) / 4 * 4;
    filterFourAt(lanes, values, i, to);
    for (int k = 0; k < count; ++k)
      if (n[k] > i) f[k] = lanes[k];
    i = to;
  }
#endif
  for (int k = 0; k < count; ++k)
    if (n[k] > i) filterValues(f[k], x[k] + i, n[k] - i);
}

// The first n values of a stretch, filtered, times their levels, into the frames at out.
void addStretch(const Stretch& s, int32_t n, float* out) {
  int32_t i = 0;
  const float l = s.l, r = s.r;
#if defined(__SSE2__)
  const __m128 held = _mm_setr_ps(l, r, l, r);
  for (; i + 4 <= n; i += 4) {
    const __m128 v = _mm_loadu_ps(s.x + i);
    float* at = out + 2 * i;
    const __m128 first = s.steady ? held : _mm_loadu_ps(s.lr + 2 * i);
    const __m128 second = s.steady ? held : _mm_loadu_ps(s.lr + 2 * i + 4);
    _mm_storeu_ps(at, _mm_add_ps(_mm_loadu_ps(at), _mm_mul_ps(_mm_unpacklo_ps(v, v), first)));
    _mm_storeu_ps(at + 4, _mm_add_ps(_mm_loadu_ps(at + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), second)));
  }
#endif
  for (; i < n; ++i) {
    out[2 * i] += s.x[i] * (s.steady ? l : s.lr[2 * i]);
    out[2 * i + 1] += s.x[i] * (s.steady ? r : s.lr[2 * i + 1]);
  }
}

// n frames of one filtered voice of a mono sample, a stretch at a time.
uint64_t renderFilteredMono(const MixerKernels& kernels, float* out, int32_t n, const int16_t* data, uint64_t position,
                            uint64_t step, bool backward, SegmentLevels& v, bool ramp, VoiceFilter& f) {
  Stretch s;
  FilterState state = filterStateOf(f);
  for (int32_t done = 0; done < n;) {
    const int32_t m = std::min(kStretch, n - done);
    position = kernels.values[backward](s.x, m, data, position, step);
    s.start();
    if (ramp) {
      s.spread(0);
      rampLevels(s.lr, m, v);
    } else {
      s.hold(0, m, v.left, v.right);
    }
    filterValues(state, s.x, m);
    addStretch(s, m, out + 2 * done);
    done += m;
  }
  keepFilterState(state, f);
  return position;
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
  f.history[0][0] = y1l;
  f.history[0][1] = y2l;
  f.history[1][0] = y1r;
  f.history[1][1] = y2r;
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
    f.history[0][0] = h1[0];
    f.history[0][1] = h2[0];
    f.history[1][0] = h1[1];
    f.history[1][1] = h2[1];
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
    f.history[0][0] = y1l;
    f.history[0][1] = y2l;
    f.history[1][0] = y1r;
    f.history[1][1] = y2r;
  }
  v.left = l;
  v.right = r;
  return position;
}

// n frames of a voice at levels v, moving by their deltas where kind is a ramp.
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

// A voice's way through a call's frames, segment by segment: each ends at the voice's boundary, at
// the end of a ramp or at the end of the call. In steps, so that two filtered voices can go side
// by side (mixGroup).
struct VoiceWalk {
  MixerChannel* c;
  float* out;      // where the next frame goes
  int32_t count;   // frames of the call not yet walked
  uint64_t position, step;
  float scale;     // a target of this level plays at full scale
  // The segment under way: its loop, its frames and those not yet rendered, its levels, what ends it.
  Loop loop;
  int32_t length, left;
  RampKind kind;
  SegmentLevels v;
  bool ramp, atBoundary, rampShortened;
  // Silent segments are handed out too (silent set), not passed on the way: a group's voices go
  // on together through them.
  bool keepsSilence, silent;
};

// False where the voice has nothing to walk: a released sustain loop left it past its end.
[[gnu::always_inline]] inline bool beginWalk(const XMPlayer& player, MixerChannel& c, float* out, int32_t count, VoiceWalk& w) {
  w = {};
  w.c = &c;
  w.out = out;
  w.count = count;
  w.position = positionOf(c);
  w.step = uint64_t{c.step} << 32 | c.stepFraction;
  w.scale = player.targetScale;
  return !(c.released && hasSustainLoop(*c.sample) && !settleIntoLoop(c, w.position));
}

// What follows a segment once its frames are rendered (or, silent, passed): the ramp's levels
// where it left them, and the boundary, when it ended there.
[[gnu::always_inline]] inline void endSegment(VoiceWalk& w) {
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

// n frames of a silent segment: only the position moves.
void passSilence(VoiceWalk& w, int32_t n) {
  const uint64_t distance = w.step * static_cast<uint64_t>(n);
  w.position = w.c->direction == kBackward ? w.position - distance : w.position + distance;
}

// Sets up the next segment to render, passing silent ones on the way; false when the call's
// frames are walked or the voice has ended.
[[gnu::always_inline]] inline bool nextSegment(const XMPlayer& player, VoiceWalk& w) {
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

// The walk's frames rendered or passed since it began.
void moveOn(VoiceWalk& w, int32_t n) {
  w.out += 2 * n;
  w.count -= n;
  w.left -= n;
}

// The rest of the segment under way, then the next: false when the walk is done.
[[gnu::always_inline]] inline bool renderRest(const XMPlayer& player, VoiceWalk& w) {
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

// The levels of n frames of K voices on a ramp into their levels (lr, left and right in turn):
// each an addition a frame, a chain, the K chains side by side.
template <int K>
void rampTogether(VoiceWalk* const* w, float* const* lr, int32_t n) {
  float l[K], r[K], dl[K], dr[K];
  for (int k = 0; k < K; ++k) {
    l[k] = w[k]->v.left;
    r[k] = w[k]->v.right;
    dl[k] = w[k]->v.deltaLeft;
    dr[k] = w[k]->v.deltaRight;
  }
  for (int32_t i = 0; i < n; ++i) {
#pragma GCC unroll 4
    for (int k = 0; k < K; ++k) {
      lr[k][2 * i] = l[k];
      lr[k][2 * i + 1] = r[k];
      l[k] += dl[k];
      r[k] += dr[k];
    }
  }
  for (int k = 0; k < K; ++k) {
    w[k]->v.left = l[k];
    w[k]->v.right = r[k];
  }
}

// The next m frames of a group's voices (count), together to the nearest end of any one's
// segment: the values and levels of the frames each is heard in (Stretch), its position moved
// through those it is silent in (once silent in a call a voice stays so: its targets move only
// between calls, and a ramp ends on them). A voice whose sample turns stereo stops there
// (walked, the frames it got to). Their filters run after, over the stretch at once.
void walkTogether(const XMPlayer& player, VoiceWalk* w, bool* goes, int count, int32_t m, Stretch* s, int32_t* walked) {
  bool stopped[kGroup] = {};
  for (int k = 0; k < count; ++k) s[k].start();
  int32_t done = 0;
  while (done < m) {
    int32_t n = m - done;
    bool any = false;
    for (int k = 0; k < count; ++k) {
      if (!goes[k] || stopped[k]) continue;
      if (!w[k].silent && (w[k].c->sample->stereo || s[k].heard < done)) {
        stopped[k] = true;  // the second cannot be (above)
        walked[k] = done;
        continue;
      }
      n = std::min(n, w[k].left);
      any = true;
    }
    if (!any) break;
    VoiceWalk* ramps[kGroup];
    float* rampLevels[kGroup];
    int rampCount = 0;
    for (int k = 0; k < count; ++k) {
      VoiceWalk& v = w[k];
      if (!goes[k] || stopped[k]) continue;
      if (v.silent) {
        passSilence(v, n);
        continue;
      }
      const MixerChannel& c = *v.c;
      v.position = player.kernels->values[c.direction == kBackward](s[k].x + done, n, c.sample->data, v.position, v.step);
      s[k].heard = done + n;
      if (v.ramp) {
        s[k].spread(done);
        ramps[rampCount] = &v;
        rampLevels[rampCount++] = s[k].lr + 2 * done;
      } else {
        s[k].hold(done, n, v.v.left, v.v.right);
      }
    }
    switch (rampCount) {
      case 0: break;
      case 1: rampTogether<1>(ramps, rampLevels, n); break;
      case 2: rampTogether<2>(ramps, rampLevels, n); break;
      case 3: rampTogether<3>(ramps, rampLevels, n); break;
      default: rampTogether<4>(ramps, rampLevels, n); break;
    }
    for (int k = 0; k < count; ++k) {
      if (!goes[k] || stopped[k]) continue;
      moveOn(w[k], n);
      if (w[k].left == 0) {
        endSegment(w[k]);
        goes[k] = nextSegment(player, w[k]);
      }
    }
    done += n;
  }
  for (int k = 0; k < count; ++k)
    if (!stopped[k]) walked[k] = m;
}

// Up to n frames of a voice mixed by itself, segment by segment.
void walkAlone(const XMPlayer& player, VoiceWalk& w, bool& goes, int32_t n) {
  while (n > 0 && goes) {
    const int32_t k = std::min(w.left, n);
    if (w.silent)
      passSilence(w, k);
    else
      w.position = renderSegment(player, *w.c, w.kind, w.out, k, w.position, w.step, w.v);
    moveOn(w, k);
    n -= k;
    if (w.left == 0) {
      endSegment(w);
      goes = nextSegment(player, w);
    }
  }
}

// Filtered voices of mono samples (count, 2 to kGroup), each into its frames (outs: the mix, or a
// scratch of its own), as mixChannel mixes each, a stretch at a time: every voice's values and
// levels through the stretch (walkTogether), then their filters together, then their frames into
// the mix in the voices' order, so that each frame of the mix gets the voices' values in that
// order. A voice whose sample turned stereo (one queued to take over) is mixed by itself in its
// place.
void mixGroup(XMPlayer& player, MixerChannel* const* voices, float* const* outs, int count, int32_t frames) {
  VoiceWalk w[kGroup];
  bool goes[kGroup];
  for (int k = 0; k < count; ++k) {
    goes[k] = beginWalk(player, *voices[k], outs[k], frames, w[k]);
    w[k].keepsSilence = true;
    goes[k] = goes[k] && nextSegment(player, w[k]);
  }
  Stretch stretches[kGroup];
  for (int32_t done = 0; done < frames;) {
    const int32_t m = std::min(kStretch, frames - done);
    float* at[kGroup];
    int32_t walked[kGroup];
    FilterState filters[kGroup];
    for (int k = 0; k < count; ++k) {
      at[k] = w[k].out;
      filters[k] = filterStateOf(w[k].c->filter);
    }
    walkTogether(player, w, goes, count, m, stretches, walked);
    float* values[kGroup];
    int32_t heard[kGroup];
    for (int k = 0; k < count; ++k) {
      values[k] = stretches[k].x;
      heard[k] = stretches[k].heard;
    }
    filterTogether(filters, values, heard, count);
    for (int k = 0; k < count; ++k) {
      keepFilterState(filters[k], w[k].c->filter);
      addStretch(stretches[k], stretches[k].heard, at[k]);
      walkAlone(player, w[k], goes[k], m - walked[k]);
    }
    done += m;
  }
  for (int k = 0; k < count; ++k) {
    if (w[k].c->filter.on) settleFilter(w[k].c->filter);
    setPosition(*voices[k], w[k].position);
  }
}
}  // namespace

namespace {
// to[k] += from[k] for n values: the same sums, four at a time where the machine has them.
void addTo(float* to, const float* from, size_t n) {
  size_t k = 0;
#if defined(__SSE2__)
  for (; k + 4 <= n; k += 4) _mm_storeu_ps(to + k, _mm_add_ps(_mm_loadu_ps(to + k), _mm_loadu_ps(from + k)));
#endif
  for (; k < n; ++k) to[k] += from[k];
}

// The peak of count stereo frames, each side, raised into peaks; with to, the frames are added
// into it on the way (the same sums as addTo).
void raisePeaks(const float* frames, int32_t count, float* peaks, float* to = nullptr) {
  float l = peaks[0], r = peaks[1];
  int32_t i = 0;
#if defined(__SSE2__)
  // Two frames a step (left, right, left, right); a NaN leaves the peak as it was, as std::max.
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 m = _mm_setzero_ps();
  for (; i + 2 <= count; i += 2) {
    const __m128 v = _mm_loadu_ps(frames + 2 * i);
    if (to) _mm_storeu_ps(to + 2 * i, _mm_add_ps(_mm_loadu_ps(to + 2 * i), v));
    m = _mm_max_ps(_mm_and_ps(v, magnitude), m);
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, m);
  l = std::max({l, lanes[0], lanes[2]});
  r = std::max({r, lanes[1], lanes[3]});
#endif
  for (; i < count; ++i) {
    if (to) {
      to[2 * i] += frames[2 * i];
      to[2 * i + 1] += frames[2 * i + 1];
    }
    l = std::max(l, std::fabs(frames[2 * i]));
    r = std::max(r, std::fabs(frames[2 * i + 1]));
  }
  peaks[0] = l;
  peaks[1] = r;
}
}  // namespace

void mix(XMPlayer& player, float* destination, int32_t count) {
  if (count < 1) return;
  const bool metered = player.channelPeaks != nullptr;
  if ((metered || player.unheardMask) && !player.voiceScratch) {
    player.voiceScratch.reset(new float[2 * static_cast<size_t>(player.blockLength)]);
    player.channelScratch.reset(new float[2 * static_cast<size_t>(player.blockLength) * kChannelVoices]);
  }
  // Measured, a channel of one voice this call takes its peaks from the voice's own frames; one
  // of several, from their sum in its scratch.
  uint8_t voices[kChannelVoices] = {};
  if (metered)
    for (int i = 0; i < player.voiceCount; ++i) {
      const MixerChannel& c = player.mixer[i];
      if (c.sample && player.channelMask >> c.channel & 1) ++voices[c.channel & (kChannelVoices - 1)];
    }
  // Filtered voices of mono samples next to each other among those mixed go in groups of up to
  // kGroup (mixGroup), in their first voice's turn: straight into the mix where it is heard and
  // not measured, else each into a scratch of its own that stands for its frames in its turn.
  const bool linear = player.interpolation == Interpolation::kLinear;
  const auto mixed = [&player](const MixerChannel& c) { return c.sample && player.channelMask >> c.channel & 1; };
  const auto groupable = [linear](const MixerChannel& c) { return linear && c.filter.on && !c.sample->stereo; };
  int group[kGroup], groupSize = 0, groupNext = 0;  // the voices of the group under way, those done
  bool direct = false;
  uint64_t touched = 0;  // channels whose scratch holds this call's frames
  const size_t values = 2 * static_cast<size_t>(count);
  for (int i = 0; i < player.voiceCount; ++i) {
    MixerChannel& c = player.mixer[i];
    const bool heard = !(player.unheardMask >> c.channel & 1);
    // Alone into zeros, the voice's frames are exactly what it adds to the mix, which then gets
    // them by the same one addition a frame: the same sums as mixing it in directly.
    float* own;
    if (groupNext < groupSize && group[groupNext] == i) {
      // A later voice of the group (which may have ended there).
      if (direct) {
        ++groupNext;
        continue;
      }
      own = player.groupScratch.get() + 2 * static_cast<size_t>(player.blockLength) * groupNext++;
    } else {
      if (!mixed(c)) continue;
      groupSize = groupNext = 0;
      if (groupable(c)) {
        group[groupSize++] = i;
        direct = !metered && heard;
        for (int j = i + 1; j < player.voiceCount && groupSize < kGroup; ++j) {
          const MixerChannel& d = player.mixer[j];
          if (!mixed(d)) continue;
          if (!groupable(d)) break;
          group[groupSize++] = j;
          direct = direct && !(player.unheardMask >> d.channel & 1);
        }
        if (groupSize == 1) groupSize = 0;  // one alone is mixed as any other
      }
      if (groupSize) {
        if (!player.groupScratch) player.groupScratch.reset(new float[2 * kGroup * static_cast<size_t>(player.blockLength)]);
        MixerChannel* voices[kGroup];
        float* outs[kGroup];
        for (int k = 0; k < groupSize; ++k) {
          voices[k] = &player.mixer[group[k]];
          outs[k] = direct ? destination : player.groupScratch.get() + 2 * static_cast<size_t>(player.blockLength) * k;
          if (!direct) std::memset(outs[k], 0, sizeof(float) * values);
        }
        mixGroup(player, voices, outs, groupSize, count);
        groupNext = 1;
        if (direct) continue;
        own = outs[0];
      } else if (!metered && heard) {
        mixChannel(player, c, destination, count);
        continue;
      } else {
        own = player.voiceScratch.get();
        std::memset(own, 0, sizeof(float) * values);
        mixChannel(player, c, own, count);
      }
    }
    if (!metered) {
      if (heard) addTo(destination, own, values);
      continue;
    }
    const int channel = c.channel & (kChannelVoices - 1);
    if (voices[channel] == 1) {
      raisePeaks(own, count, player.channelPeaks + 2 * channel, heard ? destination : nullptr);
      continue;
    }
    if (heard) addTo(destination, own, values);
    float* sum = player.channelScratch.get() + static_cast<size_t>(channel) * 2 * player.blockLength;
    if (!(touched >> channel & 1)) {
      std::memcpy(sum, own, sizeof(float) * values);
      touched |= uint64_t{1} << channel;
    } else {
      addTo(sum, own, values);
    }
  }
  for (int channel = 0; channel < kChannelVoices; ++channel)
    if (touched >> channel & 1)
      raisePeaks(player.channelScratch.get() + static_cast<size_t>(channel) * 2 * player.blockLength, count,
                 player.channelPeaks + 2 * channel);
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
  if (player.channelPeaks) std::fill(player.channelPeaks, player.channelPeaks + 2 * kChannelVoices, 0.0f);
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
