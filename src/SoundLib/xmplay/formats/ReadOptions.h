#pragma once

#include <cstdint>

// What a rule set asks of the format readers, as a plain record: the readers know no rule set.
struct ReadOptions {
  // Header lengths as the file gives them (where they fit in the file), XM's 1.02 and 1.03
  // layouts, and the sample header extensions other trackers write (two channels, ADPCM);
  // otherwise every header is taken at its usual size and the layout is XM 1.04's.
  bool headersAsStored;
  int32_t maxRows;                  // a pattern with more refuses the module
  int32_t maxSamplesPerInstrument;  // an instrument with more refuses the module
  int32_t maxBPM;                   // a larger tempo in the header is taken as this
  // A forward loop shorter than this many frames is stored repeated up to that length, so that
  // the mixer wraps less often; 0: loops as they are.
  uint32_t shortestMixedLoop;
};
