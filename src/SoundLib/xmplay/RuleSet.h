#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct XMPlayer;
struct Song;

using TickFunction = void (*)(XMPlayer& player, Song& song);

// How the loader reads a module for a rule set.
struct LoadRules {
  // Header lengths as the file gives them (where they fit in the file), the 1.02 and 1.03
  // layouts, and the sample header extensions other trackers write (two channels, ADPCM);
  // otherwise every header is taken at its usual size and the layout is 1.04's.
  bool headersAsStored;
  int32_t maxRows;                  // a pattern with more refuses the module
  int32_t maxSamplesPerInstrument;  // an instrument with more refuses the module
  int32_t maxBPM;                   // a larger tempo in the header is taken as this
  // A forward loop shorter than this many frames is stored repeated up to that length, so that
  // the mixer wraps less often; 0: loops as they are.
  uint32_t shortestMixedLoop;
  // The formats the set plays: the loaders refuse a module of the other (intro: XM only; pt:
  // MOD only; ft2 both, MOD as FastTracker 2 loads it).
  bool xmOnly = false;
  bool modOnly = false;
};

// A rule set: how the engine plays a song, as a table of what it calls. The sequencer, the loader
// and the mixer ask the song's table and never which set it is. intro::kRules (IntroRules.h)
// plays the intro's own module; ft2::kRules (FT2Rules.h) plays any module as FastTracker 2 does;
// pt::kRules (PTRules.h) plays MOD files as ProTracker does.
struct RuleSet {
  const char* name;   // as the tools' --rules option names it: "intro", "ft2", "pt"
  const char* title;  // for people: "intro's", "FastTracker 2", "ProTracker"
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
  LoadRules load;
  float targetScale;   // level of a mixer channel's target that plays at full scale
  int32_t rampFrames;  // the mixer's volume ramp at 44100 Hz, scaled to the output rate
};

// A flow state with one more pattern loop under way (the channel's loop row and the repeats it
// has left) folded in.
inline uint64_t withLoopUnderWay(uint64_t state, int channel, uint32_t loopRow, uint32_t loopCount) {
  return (state ^ (uint64_t{static_cast<uint32_t>(channel) + 1} << 32 | uint64_t{loopRow} << 8 | loopCount)) * 0x100000001B3ull;
}

namespace intro {
extern const RuleSet kRules;  // IntroRules.cpp
}
namespace ft2 {
extern const RuleSet kRules;  // FT2Rules.cpp
}
namespace pt {
extern const RuleSet kRules;  // PTRules.cpp
}

// The set the tools' --rules option names ("intro", "ft2", "pt"); none for another name.
const RuleSet* ruleSetNamed(const char* name);
// Their names as a list for people: "ft2, pt or intro".
std::string ruleSetNames();
