#pragma once

#include <string>

#include "SoundLib/xmplay/rules/RuleSet.h"

// The rule sets the player has, in one list (RuleSets.cpp).

// The set the tools' --rules option names ("intro", "ft2", "pt"); none for another name.
const RuleSet* ruleSetNamed(const char* name);
// Their names as a list for people: "ft2, pt, st3 or intro".
std::string ruleSetNames();
