#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a player does on each tick of a song, channel by channel, measured from its output alone:
// where the song is (order, row, speed, tempo) and, for every channel rendered on its own, how
// loud each side plays and at what pitch. Both players are measured on the same ticks: ours
// says where each begins, and the peer is read a tick at a time in step with it (modules for
// this keep to tempos whose ticks last whole frames, so both count the same frames a tick).
struct ChannelTick {
  float left = 0, right = 0;  // RMS, full scale 1, over whole cycles at the tick's end
  float pitch = 0;            // Hz of a periodic sound; 0 where the tick shows none
  bool offset = false;        // it never crosses zero: a constant offset dying away, no tone
};

struct TickPosition {
  int32_t order = 0, row = 0, speed = 0, tempo = 0;
  bool operator==(const TickPosition&) const = default;
};

struct TickTrace {
  int32_t rate = 0;
  std::vector<int64_t> starts;          // the frame each tick begins on, and one past the last tick's end
  std::vector<TickPosition> positions;  // per tick
  std::vector<std::vector<ChannelTick>> channels;  // [channel][tick]
  std::string error;                    // the module did not load
};

// Ours by the rules of the module's format, for at least `seconds` (whole ticks).
TickTrace traceOurs(const std::vector<uint8_t>& image, int32_t rate, double seconds);
// libopenmpt's, on ours' ticks.
TickTrace traceOpenMPT(const std::vector<uint8_t>& image, const std::vector<int64_t>& starts, int32_t rate);

// The levels and pitch of one tick of one channel's stereo frames (interleaved, full scale 1).
ChannelTick measureTick(const float* frames, int64_t count, int32_t rate);
