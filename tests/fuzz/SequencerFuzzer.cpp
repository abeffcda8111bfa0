// libFuzzer target for depth rather than length: any byte string loaded by every rule set, each
// song then run for a few hundred ticks with a few frames mixed after every fourth, at a low
// output rate. That is enough to reach every effect, envelope and jump the input holds, at 700 to
// 1,000 inputs a second on a corpus of 32-channel modules, where the long render (ModuleFuzzer.cpp)
// manages a few dozen.
#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/rules/it/ITRules.h"
#include "SoundLib/xmplay/rules/pt/PTRules.h"
#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

namespace {
void runTicks(Song& song) {
  static XMPlayer player;
  static float frames[2 * 8];
  configureOutput(player, 8000);
  songStart(player, song);
  for (int tick = 0; tick < 200; ++tick) {
    song.tickFunction(player, song);
    if (tick % 4 == 3) mix(player, frames, 8);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The loader reads XM, S3M, IT or MOD by content and refuses a set that plays only the others.
  for (const RuleSet* rules : {&intro::kRules, &ft2::kRules, &pt::kRules, &st3::kRules, &it::kRules}) {
    const SongPtr song = loadModule(data, size, rules, nullptr);
    if (song) runTicks(*song);
  }
  return 0;
}
