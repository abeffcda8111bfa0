#pragma once

#include <cstdint>

#include "Programs/Options.h"
#include "players/ChannelList.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

// The rows bfrender and bfplay share, so that the two players take the same values with the
// same words.

// rules: the set's name as given; none keeps the format's own.
inline Option rulesOption(const char*& rules) {
  return Option::custom(
      "--rules", 0, "ft2|pt|st3|it|intro", ruleSetNames(),
      [](const char* v, void* rules) { return ruleSetNamed(*static_cast<const char**>(rules) = v) != nullptr; }, &rules,
      "ft2: play as FastTracker 2 does (the default for XM; MOD as it loads them)\n"
      "pt: play as ProTracker does (the default for MOD; MOD only)\n"
      "st3: play as Scream Tracker 3 does (the default for S3M; S3M only)\n"
      "it: play as Impulse Tracker does (the default for IT; IT only)\n"
      "intro: play as the intro does, its own few effects, no envelopes (XM only)");
}

inline Option channelsOption(uint64_t& mask) {
  return Option::custom(
      "--channels", 0, "LIST", kChannelListAllowed,
      [](const char* v, void* mask) { return parseChannelList(v, *static_cast<uint64_t*>(mask)); }, &mask,
      "only these channels, numbered from 1 (\"1,3-5\"), the others muted");
}

inline Option separationOption(long& percent) {
  return Option::integer("--separation", 0, "P", "percent", 0, 100, percent,
                         "MOD's Amiga panning, 0 (mono) to 100 % (hard left and right); default 50");
}

inline Option gainOption(double& decibels) {
  return Option::number("--gain", 0, "DB", "decibels", -48, 48, false, decibels,
                        "louder (above 0) or quieter by DB decibels, -48 to 48 (default 0)");
}

inline const char kClippedAdvice[] = "samples clipped at full scale (a negative --gain lowers the level)";
