#pragma once

#include <gtest/gtest.h>

#include "RulesFixture.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "XMTestModules.h"

// A small module of one constant sample played tick by tick by the FastTracker 2 rules; the
// channel's state and its mixer voice.
class FT2RulesFixture : public RulesFixture<LoadedSong, XMModuleSpec> {
 protected:
  FT2RulesFixture() : RulesFixture(ft2::kRules, constantModule(2, 16)) {}
  ft2::FT2Channel& channel(int i = 0) { return ft2::state(player).channels[i]; }
  MixerChannel& voice(int i = 0) { return *ft2::state(player).channels[i].mixer; }
};

inline int32_t linearPeriod(int realNote) { return 7680 - realNote * 64; }
