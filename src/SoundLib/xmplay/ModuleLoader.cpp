#include "SoundLib/xmplay/ModuleLoader.h"

SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure) {
  return parseXM(data, size, rules ? *rules : ft2::kRules, failure);
}
