#pragma once

#include <string>

#include "SoundLib/xmplay/rules/RuleSet.h"

// The rule sets the player has, in one list (RuleSets.cpp).

// The set the tools' --rules option names ("intro", "ft2", "pt"); none for another name.
const RuleSet* ruleSetNamed(const char* name);
// The sets by index from 0, in the order people are offered them; none outside.
const RuleSet* ruleSetAt(int index);
int ruleSetCount();
// Their names as a list for people: "ft2, pt, st3 or intro".
std::string ruleSetNames();
