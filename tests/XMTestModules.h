#pragma once

#include <vector>

#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/formats/XMReader.h"
#include "modules/XMWriter.h"

// A one-instrument module whose sample is a constant level, so mixed values are easy to work out.
inline XMModuleSpec constantModule(int channels = 1, int rows = 16, int16_t level = 100, size_t length = 20000) {
  XMModuleSpec m;
  m.channels = channels;
  m.speed = 6;
  m.orders = {0};
  m.patterns.resize(1);
  m.patterns[0].rows = rows;
  XMInstrumentSpec ins;
  XMSampleSpec s;
  s.data.assign(length, level);
  s.loopType = 1;
  s.loopStart = 0;
  s.loopLength = static_cast<uint32_t>(length);
  ins.samples.push_back(s);
  m.instruments.push_back(ins);
  return m;
}

// A module written from its design (or given as bytes) and loaded to be played by the rules.
struct LoadedSong {
  LoadedSong(const XMModuleSpec& design, const RuleSet& rules) : LoadedSong(writeXM(design), rules) {}
  LoadedSong(std::vector<uint8_t> bytes, const RuleSet& rules)
      : image(std::move(bytes)), owned(loadModule(image.data(), image.size(), &rules, nullptr)), song(owned.get()) {}
  std::vector<uint8_t> image;
  SongPtr owned;
  Song* song;
};
