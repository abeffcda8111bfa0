#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "SoundLib/xmplay/XMLoader.h"

// Loads a module image of any format the player reads, recognised by its content (XM by its
// "Extended Module: " id, MOD by its signature or its 15-sample header), to be played by the
// given rules, or with none by the rules of the tracker its format belongs to (XM: FastTracker
// 2's, MOD: ProTracker's). None when it cannot be played, with the reason in failure where one
// is given.
SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure);

// The format for people: "XM 1.04", "MOD M.K.", "MOD 15 samples".
std::string formatName(const Song& song);
