#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/MixerKernels.h"
#include "SoundLib/xmplay/engine/Player.h"

// Filtered voices of mono samples, in stretches: first a stretch's values, interpolated by the
// kernels' loop, and the levels of its frames; then the values through the voice's filter (up to
// kGroup voices' filters together, their chains side by side, each waiting on its last output);
// then the values times the levels into the voice's frames. Each frame gets the operations of one
// frame at a time, in the same order.
namespace mixing {
constexpr int kGroup = 4;

// n frames of one filtered voice of a mono sample from position at levels v (moving on where they
// ramp), through its filter, into out; returns the position after them.
uint64_t renderFilteredMono(const MixerKernels& kernels, float* out, int32_t n, const int16_t* data, uint64_t position,
                            uint64_t step, bool backward, SegmentLevels& v, bool ramp, VoiceFilter& f);

// Filtered voices of mono samples (count, 2 to kGroup), each into its frames (outs: the mix, or a
// scratch of its own), as mixChannel mixes each, a stretch at a time: each frame of the mix gets
// the voices' values in the voices' order.
void mixGroup(XMPlayer& player, MixerChannel* const* voices, float* const* outs, int count, int32_t frames);
}  // namespace mixing
