#pragma once

#include <cstring>

#include "SoundLib/xmplay/Song.h"

// The value of the players' --rules option: "ft2" (FastTracker 2's, the default) or "intro".
inline bool rulesNamed(const char* name, Rules& rules) {
  if (!std::strcmp(name, "ft2")) {
    rules = Rules::kFT2;
    return true;
  }
  if (!std::strcmp(name, "intro")) {
    rules = Rules::kIntro;
    return true;
  }
  return false;
}
