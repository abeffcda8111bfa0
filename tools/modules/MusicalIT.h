#pragma once

#include <cstdint>
#include <vector>

#include "modules/ITWriter.h"
#include "modules/S3MWriter.h"

// IT modules that sound like music, drawn from a seed, for comparing players tick by tick: the
// notes, samples and commands of a musical S3M (MusicalS3M.h: Impulse Tracker's commands are
// Scream Tracker 3's letters), played through instruments drawn beside them: new-note actions
// and duplicate checks, volume envelopes with sustain loops, loops and carry, panning and pitch
// or filter envelopes, fadeouts, the resonant filter, the pitch-pan separation; in sample mode
// now and then, with linear or Amiga slides, old effects and compatible Gxx as the flags say.
// Saved as Impulse Tracker 2.14 saves its files. The same seed always gives the same module.
struct MusicalIT {
  S3MModuleSpec song;  // the notes and samples
  std::vector<ITInstrumentSpec> instruments;  // the k-th sample's is instruments[(k - 1) % size]; none: sample mode
  uint16_t flags = 1 | 8;  // as the IT header holds them (4, instruments, set where there are)
};

struct MusicalITOptions {
  int channels = 0;  // 0: drawn from 2..8
  int32_t wholeTicksAt = 0;  // as MusicalS3MOptions
};

MusicalIT musicalIT(uint64_t seed, const MusicalITOptions& options = {});

// The module as Impulse Tracker saves it: each sample its instrument, mapping every key to it.
ITModuleSpec itOf(const MusicalIT& music);
