#pragma once

#include <vector>

#include "SoundLib/xmplay/formats/Formats.h"
#include "modules/S3MWriter.h"

// A small S3M for the reader's and the rules' tests: four channels (L1 R1 L2 R2), one pattern,
// one 16-bit looped sample at 8363 Hz holding a constant.
inline S3MModuleSpec constantS3M() {
  S3MModuleSpec m;
  std::fill(std::begin(m.channelSettings), std::end(m.channelSettings), 255);
  const uint8_t settings[] = {0, 8, 1, 9};
  std::copy(std::begin(settings), std::end(settings), m.channelSettings);
  m.storePans = false;
  m.patterns.resize(1);
  S3MSampleSpec s;
  s.name = "constant";
  s.data.assign(2000, 8000);
  s.loop = true;
  s.loopStart = 0;
  s.loopEnd = 2000;
  m.samples.push_back(s);
  return m;
}

// A cell on a row of pattern p: channel, note (octave << 4 | semitone, -1 none), instrument,
// volume (-1 none), command letter (1 = A) and parameter.
inline void put(S3MModuleSpec& m, int row, S3MCell cell, int pattern = 0) {
  m.patterns[static_cast<size_t>(pattern)].rows[row].push_back(cell);
}

constexpr int kC4 = 0x40;  // C-4: the sample's C frequency

struct LoadedS3M {
  LoadedS3M(const S3MModuleSpec& design, const RuleSet* rules = nullptr, LoadFailure* failure = nullptr)
      : image(writeS3M(design)), owned(loadModule(image.data(), image.size(), rules, failure)), song(owned.get()) {}
  LoadedS3M(const S3MModuleSpec& design, const RuleSet& rules) : LoadedS3M(design, &rules) {}
  std::vector<uint8_t> image;
  SongPtr owned;
  Song* song;
};
