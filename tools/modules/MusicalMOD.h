#pragma once

#include <cstdint>

#include "modules/MODWriter.h"
#include "modules/XMWriter.h"

// MOD modules that sound like music, drawn from a seed, for comparing players tick by tick: four
// channels of lines in a key over ProTracker's three octaves, 8-bit looped waveforms and drums
// with finetunes, ProTracker's effects 0 to F and its E commands at the rates songs use them
// (the flow effects seldom). Drawn as an XM design within MOD's limits, so that the XM reducer
// takes them apart, and written by modOf as ProTracker saves "M.K." files. The same seed always
// gives the same module.
struct MusicalMODOptions {
  // Tempos set by Fxx only where their tick lasts a whole number of frames at this rate; 0: any.
  int32_t wholeTicksAt = 0;
  int patternDelays = 0;  // percent of rows given a pattern delay (EEx)
};

XMModuleSpec musicalMOD(uint64_t seed, const MusicalMODOptions& options = {});

// The design as a MOD: notes 37 to 72 as ProTracker's C-1 to B-3 (others clamped into them),
// each instrument's first sample as the sample of its number (8-bit, finetune / 16, loops in
// words), 64-row patterns of four channels (shorter ones padded, channels beyond four dropped).
MODModuleSpec modOf(const XMModuleSpec& design);
