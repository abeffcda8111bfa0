#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "SoundLib/xmplay/engine/Song.h"
#include "SoundLib/xmplay/formats/ReadOptions.h"

// A rule set: how the engine plays a song, as a table of what it calls. The sequencer, the
// readers and the mixer ask the song's table and never which set it is. The sets are listed in
// RuleSets.cpp; each one's table is its namespace's kRules (intro::kRules plays the intro's own
// module, ft2::kRules XM as FastTracker 2 does, pt::kRules MOD as ProTracker does).
struct RuleSet {
  const char* name;   // as the tools' --rules option names it: "intro", "ft2", "pt"
  const char* title;  // for people: "intro's", "FastTracker 2", "ProTracker"
  // The formats it plays, by their names, space-separated: "XM MOD".
  const char* formats;
  // The set's own state (its channels, what it keeps of the song's flow): the player holds this
  // many bytes for it, zeroed at song start, and only the set reads them (XMPlayer::ruleState).
  size_t stateSize;
  // After the shared reset of position, tempo and mixer and the zeroed state: the set's own
  // channels and tempo.
  void (*songStart)(XMPlayer& player, Song& song);
  // After the shared seek: what the set keeps about the position (loops, delays).
  void (*seekOrder)(XMPlayer& player, Song& song);
  TickFunction tick;  // a row on the first tick of each, the running effects on every tick
  // What besides the order and row decides where the song goes from the row about to start
  // (pattern loops under way), as a number that differs between such states; 0 where nothing
  // does, and where the set has no such state (none). One pass of a song ends at a row it has
  // played in the same state.
  uint64_t (*flowState)(XMPlayer& player, const Song& song) = nullptr;
  // Once the song is read and given to the set: what the set decides about it from its whole
  // content (none: nothing).
  void (*prepare)(Song& song) = nullptr;
  ReadOptions read;  // what it asks of the readers
  float targetScale;   // level of a mixer channel's target that plays at full scale
  int32_t rampFrames;  // the mixer's volume ramp at 44100 Hz, scaled to the output rate
  // The voices it mixes: the 64 of its channels and their partners, or up to 256 with a pool of
  // background voices for new-note actions (Voices.h).
  int32_t voices = 64;
};

// ModPlug Tracker's original levels (MixLevels::kModPlug), as openmpt123 plays its files: a
// channel at full volume on one side at 1/4 of full scale with up to 4 channels, quieter as the
// song has more.
float modPlugGain(int channels);

// Whether the set plays the named format.
bool playsFormat(const RuleSet& rules, const char* format);

// A flow state with one more pattern loop under way (the channel's loop row and the repeats it
// has left) folded in.
inline uint64_t withLoopUnderWay(uint64_t state, int channel, uint32_t loopRow, uint32_t loopCount) {
  return (state ^ (uint64_t{static_cast<uint32_t>(channel) + 1} << 32 | uint64_t{loopRow} << 8 | loopCount)) * 0x100000001B3ull;
}
