#include "SoundLib/xmplay/formats/XMTrackers.h"

#include <algorithm>
#include <cstring>

#include "SoundLib/xmplay/formats/SavedMixSettings.h"

namespace {
bool trackerNamed(const char* tracker, const char* name) { return std::strncmp(tracker, name, std::strlen(name)) == 0; }
}  // namespace

SavedBy xmSavedBy(const char* tracker, const uint8_t* title, bool wholeHeader) {
  if (trackerNamed(tracker, "FastTracker v 2.00  ")) return SavedBy::kModPlug;
  if (!trackerNamed(tracker, "FastTracker v2.00   ") || !wholeHeader) return SavedBy::kOther;
  return std::find(title, title + 20, 0) == title + 20 ? SavedBy::kFastTracker2 : SavedBy::kModPlug;
}

MixLevels xmMixLevels(const char* tracker, SavedBy by) {
  auto named = [tracker](const char* name) { return trackerNamed(tracker, name); };
  switch (by) {
    case SavedBy::kModPlug: return MixLevels::kModPlug;
    case SavedBy::kFastTracker2: return MixLevels::kConstantPower;
    default: break;  // another tracker: by its name
  }
  if (named("FastTracker v2.00   ")) return MixLevels::kLinear;
  if (named("MilkyTracker") && !named("MilkyTracker        ")) return MixLevels::kConstantPower;
  if (named("Fasttracker II clone")) return MixLevels::kConstantPower;
  if (named("OpenMPT ")) {
    // Its version as four numbers, "1.22.07.19"; a missing one counts as 0, a long one stops
    // growing at 99999.
    int version[4] = {};
    const char* at = tracker + 8;
    for (int i = 0; i < 4 && at < tracker + 20 && *at >= '0' && *at <= '9'; ++i) {
      while (at < tracker + 20 && *at >= '0' && *at <= '9') version[i] = std::min(version[i] * 10 + (*at++ - '0'), 99999);
      if (at < tracker + 20 && *at == '.') ++at;
    }
    static const int kConstantPowerFrom[4] = {1, 22, 7, 19};
    if (!std::lexicographical_compare(version, version + 4, kConstantPowerFrom, kConstantPowerFrom + 4))
      return MixLevels::kConstantPower;
  }
  return MixLevels::kLinear;
}

// The levels by the saved mix mode; the pre-amp scales from its default of 48, the global volume
// from its full 256.
void applySavedMixSettings(Song& song, const uint8_t* tail, size_t size) {
  const SavedMixSettings saved = readSavedMixSettings(tail, size, song.instrumentCount);
  song.levels = levelsOfMixMode(saved, song.levels);
  if (saved.preamp > 0 && saved.preamp <= 2000) song.levelScale *= static_cast<float>(saved.preamp) / 48;
  if (saved.globalVolume >= 0 && saved.globalVolume <= 256) song.levelScale *= static_cast<float>(saved.globalVolume) / 256;
}
