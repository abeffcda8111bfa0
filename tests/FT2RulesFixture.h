#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "SoundLib/xmplay/FT2Rules.h"
#include "XMTestModules.h"

// A small module of one constant sample played tick by tick by the FastTracker 2 rules, for the
// rules' worked values: the design is written and loaded at start(), then the test steps ticks
// and reads the channel's state and its mixer voice.
class FT2RulesFixture : public ::testing::Test {
 protected:
  void start() {
    loaded = std::make_unique<LoadedSong>(design, ft2::kRules);
    ASSERT_NE(loaded->song, nullptr);
    configureOutput(player, 44100);
    songStart(player, *loaded->song);
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) song().tickFunction(player, song());
  }
  // The (order, row) of every row the song plays in the next `count` rows.
  std::vector<std::pair<int, int>> rows(int count) {
    std::vector<std::pair<int, int>> seen;
    while (static_cast<int>(seen.size()) < count) {
      ticks(1);
      if (song().tick == 1 % song().speed) seen.emplace_back(song().orderPosition, song().row);
    }
    return seen;
  }
  Song& song() { return *loaded->song; }
  ft2::FT2Channel& channel(int i = 0) { return ft2::state(player).channels[i]; }
  MixerChannel& voice(int i = 0) { return *ft2::state(player).channels[i].mixer; }
  XMNote& note(int row, int ch = 0, int pattern = 0) { return design.patterns[pattern].at(row, ch, design.channels); }

  XMModuleSpec design = constantModule(2, 16);
  XMPlayer player;
  std::unique_ptr<LoadedSong> loaded;
};

inline int32_t linearPeriod(int realNote) { return 7680 - realNote * 64; }
