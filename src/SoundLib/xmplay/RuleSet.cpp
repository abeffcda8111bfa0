#include "SoundLib/xmplay/RuleSet.h"

#include <cstring>
#include <iterator>

namespace {
// Every set, in the order people are offered them.
const RuleSet* const kSets[] = {&ft2::kRules, &pt::kRules, &intro::kRules};
}  // namespace

const RuleSet* ruleSetNamed(const char* name) {
  if (!name) return nullptr;
  for (const RuleSet* rules : kSets)
    if (!std::strcmp(name, rules->name)) return rules;
  return nullptr;
}

std::string ruleSetNames() {
  std::string names;
  const size_t count = std::size(kSets);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kSets[i]->name;
  }
  return names;
}
