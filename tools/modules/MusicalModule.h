#pragma once

#include <cstdint>

#include "modules/MusicalParts.h"
#include "modules/XMWriter.h"

// Modules that sound like music, drawn from a seed, for comparing players tick by tick: short
// looped waveforms of one pitch each (so a listener, or a measure, can tell the note), drums,
// instruments with volume and panning envelopes, sustain, loops, fadeout and auto-vibrato, 8-
// and 16-bit samples with forward and ping-pong loops; lines of notes in a key on every channel
// with both effect columns at the rates songs use them (arpeggio, slides, vibrato and volume
// slides often, the rest now and then), the flow effects (Bxx, Dxx, E6x, EEx, Fxx) seldom.
// Saved as FastTracker 2 saves its own files. The same seed always gives the same module.
struct MusicalModuleOptions {
  int channels = 0;  // 0: drawn from 2..8
  // Tempos (the header's and Fxx's) are only those whose tick lasts a whole number of frames
  // at this rate, so that players that count ticks differently stay in step; 0: any tempo.
  int32_t wholeTicksAt = 0;
  int patternDelays = 0;  // percent of rows given a pattern delay (EEx) beside what they hold
};

XMModuleSpec musicalModule(uint64_t seed, const MusicalModuleOptions& options = {});

// After a pattern's cells are drawn: pattern delays (EEx) on delayPercent % of its rows, then now
// and then a pattern loop as songs write one (a start, then a count a few rows on). The MOD
// designs (MusicalMOD.h) draw theirs the same way.
void addFlowRows(musical::Random& r, XMPatternSpec& pattern, int channels, int delayPercent);
