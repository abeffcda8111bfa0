#pragma once

#include <string>

#include "TickTrace.h"

// Where two players' traces of a module part, tick by tick and channel by channel.
enum class Kind { kNone, kFlow, kLevel, kPitch };
const char* kindName(Kind kind);

struct Difference {
  Kind kind = Kind::kNone;
  size_t tick = 0;
  int channel = -1;  // -1: the song's position (flow)
  TickPosition at;   // ours
  std::string detail;  // the two values
};

struct Comparison {
  size_t channelTicks = 0;  // ticks x channels compared
  size_t alike = 0;         // of them, alike in position, level and pitch
  double gain = 1;          // ours' level over the peer's
  Difference first;         // the first difference (kind kNone: none)
  double firstSeconds = 0;  // where its tick ends
};

// Levels alike within 1.5 dB or 0.002 of full scale (after the module's overall gain is taken
// out; -54 dB of full scale is as good as silence beside other channels), or between the peer's
// on this tick and the one before (a change ramped across the tick); pitches within 5 cents
// where both are louder than -34 dB; a tick whose position differs counts every channel as
// different.
// The gain is ours' level over the peer's where one is known (a calibration), otherwise the
// median over the loud ticks.
Comparison compareTraces(const TickTrace& ours, const TickTrace& theirs, double gain = 0);
