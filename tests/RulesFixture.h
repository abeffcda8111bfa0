#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "SoundLib/xmplay/engine/Player.h"
#include "SoundLib/xmplay/rules/RuleSet.h"
#include "SoundLib/xmplay/engine/Sequencer.h"

// A small module played tick by tick by one rule set, for the rules' worked values: the design is
// written and loaded at start(), then the test steps ticks and reads the song and the set's state.
// Loaded builds the module from the design (LoadedSong for XM, LoadedMOD for MOD).
template <class Loaded, class Design>
class RulesFixture : public ::testing::Test {
 protected:
  RulesFixture(const RuleSet& rules, Design first) : design(std::move(first)), rules_(rules) {}

  void start() {
    loaded = std::make_unique<Loaded>(design, rules_);
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
  auto& note(int row, int ch = 0, int pattern = 0) { return design.patterns[pattern].at(row, ch, design.channels); }

  Design design;
  XMPlayer player;
  std::unique_ptr<Loaded> loaded;

 private:
  const RuleSet& rules_;
};
