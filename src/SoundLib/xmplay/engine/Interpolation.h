#pragma once

#include <cstdint>

// How the mixer reads a sample between its frames. Linear is what the mixer's kernels do on
// every path (MixerKernels.h) and every rule set's default; the others are for listeners who ask,
// one frame at a time: the frame at or before the position, a Catmull-Rom cubic through four
// frames, and a Blackman-windowed sinc of eight whose cutoff follows the step (at the output's
// Nyquist frequency when the sample plays faster than the output rate), so that a note played
// high aliases less.
enum class Interpolation : uint8_t { kNearest, kLinear, kCubic, kSinc8 };

// A mono sample or one side of a stereo one, as the reads below see it: frames before its start
// read as 0; past the end of a forward loop, as from the loop's start again, so that the taps of
// the wider modes see the loop's own frames (past the sample's end, its spare frames are zero).
struct SampleView {
  const int16_t* data;
  int32_t stride;  // values a frame: 1 or 2
  uint32_t frames;  // readable frames: the sample's and its spare ones
  uint32_t loopStart, loopEnd;  // a forward loop to wrap the taps around; loopEnd 0: none
};

// The value at a 32.32 position by the mode; step is the voice's (the sinc's cutoff follows it).
float interpolateAt(Interpolation mode, const SampleView& sample, uint64_t position, uint64_t step);
