#include "ITReducer.h"

#include <functional>
#include <utility>
#include <vector>

#include "S3MReducer.h"

namespace {
using Simplify = std::function<bool(ITInstrumentSpec&)>;  // false: nothing to take away

// Each takes one feature away from an instrument.
const std::vector<Simplify>& simplifications() {
  static const std::vector<Simplify> kAll = {
      [](ITInstrumentSpec& i) { return std::exchange(i.newNoteAction, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.duplicateCheck, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.volume.flags, 0) != 0; },
      [](ITInstrumentSpec& i) { return (i.volume.flags & 2) && (i.volume.flags &= ~2, true); },
      [](ITInstrumentSpec& i) { return (i.volume.flags & 4) && (i.volume.flags &= ~4, true); },
      [](ITInstrumentSpec& i) { return (i.volume.flags & 8) && (i.volume.flags &= ~8, true); },
      [](ITInstrumentSpec& i) { return std::exchange(i.panning.flags, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.pitch.flags, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.fadeout, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.filterCutoff, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.filterResonance, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.pitchPanSeparation, 0) != 0; },
      [](ITInstrumentSpec& i) { return std::exchange(i.globalVolume, 128) != 128; },
  };
  return kAll;
}
}  // namespace

MusicalIT reduceModule(MusicalIT module, const StillDiffersIT& stillDiffers) {
  auto test = [&](const MusicalIT& candidate) {
    Where ignored;
    return stillDiffers(candidate, ignored);
  };
  // The notes and samples first, the instruments as they are.
  const std::vector<ITInstrumentSpec> instruments = module.instruments;
  const uint16_t flags = module.flags;
  module.song = reduceModule(module.song, [&](const S3MModuleSpec& song, Where& where) {
    return stillDiffers(MusicalIT{song, instruments, flags}, where);
  });
  if (!module.instruments.empty()) {
    MusicalIT c = module;
    c.instruments.clear();
    if (test(c)) module = c;
  }
  while (module.instruments.size() > 1) {
    MusicalIT c = module;
    c.instruments.pop_back();
    if (!test(c)) break;
    module = c;
  }
  for (size_t i = 0; i < module.instruments.size(); ++i)
    for (const Simplify& simplify : simplifications()) {
      MusicalIT c = module;
      if (simplify(c.instruments[i]) && test(c)) module = c;
    }
  // Old effects and compatible Gxx off, linear slides on, where the difference stays.
  for (const auto& [flag, on] : {std::pair{16, false}, std::pair{32, false}, std::pair{8, true}}) {
    if (static_cast<bool>(module.flags & flag) == on) continue;
    MusicalIT c = module;
    c.flags = static_cast<uint16_t>(c.flags ^ flag);
    if (test(c)) module = c;
  }
  return module;
}

std::set<std::string> featuresOf(const MusicalIT& m) {
  std::set<std::string> f = featuresOf(m.song);
  // Scream Tracker 3's header settings do not come into an IT.
  for (const char* s3mOnly : {"Amiga limits", "fast slides", "mono"}) f.erase(s3mOnly);
  if (m.flags & 16) f.insert("old effects");
  if (m.flags & 32) f.insert("compatible Gxx");
  if (!(m.flags & 8)) f.insert("Amiga slides");
  if (m.instruments.empty()) f.insert("sample mode");
  static const char* const kActions[] = {"NNA cut", "NNA continue", "NNA note off", "NNA fade"};
  for (const ITInstrumentSpec& i : m.instruments) {
    if (i.newNoteAction) f.insert(kActions[i.newNoteAction & 3]);
    if (i.duplicateCheck) f.insert("duplicate check");
    if (i.volume.flags & 1) f.insert("volume envelope");
    if ((i.volume.flags & 5) == 5) f.insert("sustain");
    if ((i.volume.flags & 3) == 3) f.insert("envelope loop");
    if ((i.volume.flags & 9) == 9) f.insert("carry");
    if (i.panning.flags & 1) f.insert("panning envelope");
    if (i.pitch.flags & 1) f.insert(i.pitch.flags & 0x80 ? "filter envelope" : "pitch envelope");
    if (i.fadeout) f.insert("fadeout");
    if (i.filterCutoff & 0x80) f.insert("filter");
    if (i.filterResonance & 0x80) f.insert("resonance");
    if (i.pitchPanSeparation) f.insert("pitch-pan separation");
    if (i.globalVolume != 128) f.insert("instrument volume");
  }
  return f;
}
