#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "SoundLib/xmplay/formats/Format.h"
#include "SoundLib/xmplay/rules/RuleSet.h"

// The formats the player reads, in one list (Formats.cpp), and the load of a module by content.

// The format whose header the image has; none when it is of no format the player reads.
const Format* formatOf(const uint8_t* data, size_t size);
// The format of that name ("XM", "MOD"); none for another.
const Format* formatNamed(const char* name);
// The formats by index from 0 as people are offered them (XM, MOD, S3M, IT); none outside.
const Format* formatAt(int index);
int formatCount();
// Their names for people: "XM or MOD".
std::string formatNames();

// Gives a song read from its format to the rules that play it: false, with the reason in failure
// where given, when they do not play that format.
bool playBy(Song& song, const RuleSet& rules, LoadFailure* failure);

// Loads a module image of any format the player reads, recognised by its content, to be played by
// the given rules, or with none by its format's own. None when it cannot be played, with the
// reason in failure where one is given.
SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure);

// The format for people: "XM 1.04", "MOD M.K.", "MOD 15 samples".
std::string formatName(const Song& song);
