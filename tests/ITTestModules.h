#pragma once

#include <vector>

#include "SoundLib/xmplay/formats/ITReader.h"
#include "modules/ITWriter.h"

// A small IT for the reader's tests: sample mode, one pattern of 64 rows, one 16-bit looped sample
// at 8363 Hz holding a constant.
inline ITModuleSpec constantIT() {
  ITModuleSpec m;
  m.patterns.resize(1);
  ITSampleSpec s;
  s.name = "constant";
  s.data.assign(2000, 8000);
  s.loop = true;
  s.loopStart = 0;
  s.loopEnd = 2000;
  m.samples.push_back(s);
  return m;
}

// A cell on a row of pattern p.
inline void put(ITModuleSpec& m, int row, ITCell cell, int pattern = 0) {
  m.patterns[static_cast<size_t>(pattern)].rows[static_cast<size_t>(row)].push_back(cell);
}

// What the reader is asked for until a rule set plays IT: patterns up to OpenMPT's 1024 rows
// (Impulse Tracker's are up to 200), as many samples as the keyboard has keys, loops as they are.
inline ReadOptions plainITOptions() {
  return {.headersAsStored = true, .maxRows = 1024, .maxSamplesPerInstrument = 120, .maxBPM = 255,
          .shortestMixedLoop = 0};
}

inline SongPtr readIT(const std::vector<uint8_t>& image, LoadFailure* failure = nullptr,
                      const ReadOptions& options = plainITOptions()) {
  return parseIT(image.data(), image.size(), options, failure);
}
inline SongPtr readIT(const ITModuleSpec& m, LoadFailure* failure = nullptr, const ReadOptions& options = plainITOptions()) {
  return readIT(writeIT(m), failure, options);
}
