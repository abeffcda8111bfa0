#pragma once

#include <cstdint>

#include "modules/XMWriter.h"

// Well-formed modules drawn from a seed: looped samples of random lengths, loop points,
// finetunes and relative notes (forward and ping-pong, 8 and 16 bits, down to one frame),
// volume and panning envelopes with sustain and loop points (some pointing past the last
// point), auto-vibrato, notes at random pitches on every channel with every effect and
// volume-column command, jumps, breaks and loops included, in either frequency table. The same
// seed always gives the same module. They drive the mixer across loop boundaries at every
// possible phase and the sequencer through every effect, which hand-written modules seldom do.
struct RandomModuleOptions {
  int channels = 0;            // 0: drawn from 2..32
  uint32_t maxSampleFrames = 4096;
};

XMModuleSpec randomModule(uint64_t seed, const RandomModuleOptions& options = {});
