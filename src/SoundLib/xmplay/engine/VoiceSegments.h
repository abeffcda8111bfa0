#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/MixerKernels.h"
#include "SoundLib/xmplay/engine/Player.h"

// A voice's way through one mix call's frames, segment by segment: each segment ends at the
// voice's boundary (its loop's end or start, the sample's end), at the end of a volume ramp or at
// the end of the call, and is rendered by the inner loops of MixerKernels.h (a mono sample), a
// one-frame loop (a stereo sample) or in stretches (a filtered mono sample, FilteredVoices.h).
namespace mixing {
// The loop a voice plays: the sample's sustain loop while it is held, else its loop as the mixer
// runs it (the loader may have repeated a short one); without one, the whole sample. 32.32.
struct Loop {
  uint64_t start, end;
  uint8_t mode;
};

// Where a voice's walk through a call stands, a step at a time, so that filtered voices can go side
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
bool beginWalk(const XMPlayer& player, MixerChannel& c, float* out, int32_t count, VoiceWalk& w);
// Sets up the next segment to render, passing silent ones on the way (unless w.keepsSilence);
// false when the call's frames are walked or the voice has ended.
bool nextSegment(const XMPlayer& player, VoiceWalk& w);
// n frames of a silent segment: only the position moves.
void passSilence(VoiceWalk& w, int32_t n);
// The walk's frames rendered or passed: n more.
void moveOn(VoiceWalk& w, int32_t n);
// What follows a segment once its frames are rendered or passed: the ramp's levels where it left
// them, and the boundary, when it ended there.
void endSegment(VoiceWalk& w);
// n frames of a voice at levels v (moving by their deltas where kind is a ramp), from position;
// returns the position after them.
uint64_t renderSegment(const XMPlayer& player, MixerChannel& c, RampKind kind, float* out, int32_t n, uint64_t position,
                       uint64_t step, SegmentLevels& v);
void setPosition(MixerChannel& c, uint64_t position);
// A voice's count frames added into out; its filter's history settled after them.
void mixChannel(XMPlayer& player, MixerChannel& c, float* out, int32_t count);
}  // namespace mixing
