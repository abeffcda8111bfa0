#pragma once

#include "SoundLib/xmplay/Song.h"

// The value of the players' --rules option: "ft2" (FastTracker 2's, the default) or "intro".
inline bool rulesNamed(const char* name, const RuleSet*& rules) {
  const RuleSet* named = ruleSetNamed(name);
  if (named) rules = named;
  return named != nullptr;
}
