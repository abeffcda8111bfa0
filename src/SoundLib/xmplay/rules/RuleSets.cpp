#include "SoundLib/xmplay/rules/RuleSets.h"

#include <algorithm>
#include <cstring>
#include <iterator>

// Each set's table, defined in its own folder.
namespace intro {
extern const RuleSet kRules;
}
namespace ft2 {
extern const RuleSet kRules;
}
namespace pt {
extern const RuleSet kRules;
}
namespace st3 {
extern const RuleSet kRules;
}
namespace it {
extern const RuleSet kRules;
}

namespace {
// Every set, in the order people are offered them.
const RuleSet* const kSets[] = {&ft2::kRules, &pt::kRules, &st3::kRules, &it::kRules, &intro::kRules};
}  // namespace

const RuleSet* ruleSetNamed(const char* name) {
  if (!name) return nullptr;
  for (const RuleSet* rules : kSets)
    if (!std::strcmp(name, rules->name)) return rules;
  return nullptr;
}

const RuleSet* ruleSetAt(int index) { return index >= 0 && index < ruleSetCount() ? kSets[index] : nullptr; }

int ruleSetCount() { return static_cast<int>(std::size(kSets)); }

std::string ruleSetNames() {
  std::string names;
  const size_t count = std::size(kSets);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kSets[i]->name;
  }
  return names;
}

float modPlugGain(int channels) {
  // In 128ths, by the number of channels halved, rounded down (1 channel as 2), as measured with
  // openmpt123 on modules of 1 to 32 channels.
  constexpr uint8_t kAmplification[17] = {128, 128, 128, 109, 96, 90, 85, 80, 76, 74, 73, 71, 69, 68, 66, 65, 65};
  return 0.25f * kAmplification[std::clamp(channels, 2, 32) / 2] / 128;
}

bool playsFormat(const RuleSet& rules, const char* format) {
  const size_t n = std::strlen(format);
  for (const char* at = rules.formats; (at = std::strstr(at, format)) != nullptr; at += n)
    if ((at == rules.formats || at[-1] == ' ') && (at[n] == 0 || at[n] == ' ')) return true;
  return false;
}
