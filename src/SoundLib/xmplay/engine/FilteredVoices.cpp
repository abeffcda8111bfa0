// Filtered voices of mono samples, alone and up to four together (FilteredVoices.h).
#include "SoundLib/xmplay/engine/FilteredVoices.h"

#include <algorithm>
#include <climits>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "SoundLib/xmplay/engine/Filter.h"
#include "SoundLib/xmplay/engine/VoiceSegments.h"

namespace mixing {
namespace {
// A stretch's frames at most.
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

}  // namespace

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
}  // namespace mixing
