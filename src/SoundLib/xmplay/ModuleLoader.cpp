#include "SoundLib/xmplay/ModuleLoader.h"

#include <cstdio>
#include <cstring>

#include "SoundLib/xmplay/MODLoader.h"

SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure) {
  static const char kXMId[] = "Extended Module: ";
  const bool xm = data && size >= 17 && std::memcmp(data, kXMId, 17) == 0;
  if (!xm) {
    if (recogniseMOD(data, size).channels > 0) return parseMOD(data, size, rules ? *rules : pt::kRules, failure);
    if (failure) std::snprintf(failure->text, sizeof failure->text, "neither XM (no \"Extended Module: \" at its start) nor MOD");
    return nullptr;
  }
  return parseXM(data, size, rules ? *rules : ft2::kRules, failure);
}

std::string formatName(const Song& song) {
  char text[32];
  if (song.format == ModuleFormat::kXM)
    std::snprintf(text, sizeof text, "XM %d.%02x", song.version >> 8, song.version & 0xFF);
  else if (song.signature[0])
    std::snprintf(text, sizeof text, "MOD %s", printableName(song.signature, sizeof song.signature).c_str());
  else
    std::snprintf(text, sizeof text, "MOD 15 samples");
  return text;
}
