#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modules/MODWriter.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/formats/MODReader.h"

// ProTracker's periods of C-2 and its neighbours, as files store them.
constexpr uint16_t kC2 = 428, kD2 = 381, kC3 = 214, kB3 = 113;

// A 4-channel module of one pattern: sample 1 a long looped constant level, sample 2 a short one
// without a loop, so that levels and positions are easy to work out.
inline MODModuleSpec constantMOD(int channels = 4) {
  MODModuleSpec m;
  m.channels = channels;
  m.signature = channels == 4 ? "M.K." : std::to_string(channels) + (channels < 10 ? "CHN" : "CH");
  m.patterns.resize(1);
  MODSampleSpec looped;
  looped.data.assign(4000, 64);
  looped.loopStart = 0;
  looped.loopLength = 2000;
  m.samples.push_back(looped);
  MODSampleSpec oneShot;
  oneShot.data.assign(1000, -64);
  oneShot.volume = 32;
  m.samples.push_back(oneShot);
  return m;
}

// A module written from its design and loaded to be played by the rules.
struct LoadedMOD {
  LoadedMOD(const MODModuleSpec& design, const RuleSet& rules, LoadFailure* failure = nullptr)
      : image(writeMOD(design)), owned(loadModule(image.data(), image.size(), &rules, failure)), song(owned.get()) {}
  std::vector<uint8_t> image;
  SongPtr owned;
  Song* song;
};
