#pragma once

#include <cstdint>

#include "modules/S3MWriter.h"

// S3M modules that sound like music, drawn from a seed, for comparing players tick by tick:
// short looped waveforms of one pitch each at C frequencies songs use, drums, 8- and 16-bit
// samples; lines of notes in a key on left and right channels with the volume column and the
// commands at the rates songs use them (slides of every kind, vibrato, arpeggio, offsets, the S
// commands), the flow ones (A, B, C, SB, SE, T) seldom. Saved as Scream Tracker 3.20 saves its
// files, with its flags now and then. The same seed always gives the same module.
struct MusicalS3MOptions {
  int channels = 0;  // 0: drawn from 2..8
  // Tempos (the header's and Txx's) only those whose tick lasts a whole number of frames at this
  // rate; 0: any tempo.
  int32_t wholeTicksAt = 0;
};

S3MModuleSpec musicalS3M(uint64_t seed, const MusicalS3MOptions& options = {});
