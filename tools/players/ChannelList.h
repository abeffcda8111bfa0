#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "SoundLib/xmplay/engine/Song.h"

// The players' --channels value: channel numbers from 1, as trackers number them, and ranges,
// "1,3-5"; as a mask with bit c - 1 for channel c. False for anything else.
inline bool parseChannelList(const char* text, uint64_t& mask) {
  mask = 0;
  const char* at = text;
  auto number = [&at](long& value) {
    if (*at < '0' || *at > '9') return false;
    char* end = nullptr;
    value = std::strtol(at, &end, 10);
    at = end;
    return value >= 1 && value <= kMaxChannels;
  };
  while (true) {
    long first = 0, last = 0;
    if (!number(first)) return false;
    last = first;
    if (*at == '-') {
      ++at;
      if (!number(last) || last < first) return false;
    }
    for (long c = first; c <= last; ++c) mask |= uint64_t{1} << (c - 1);
    if (*at != ',') break;
    ++at;
  }
  return *at == '\0' && mask != 0;
}

inline const char kChannelListAllowed[] = "channel numbers from 1 to 64 and ranges, as 1,3-5";

// Where the list names channels the song lacks: the message that says so; "" when it fits.
inline std::string channelsBeyond(uint64_t mask, int channelCount) {
  if (channelCount >= 64 || mask >> channelCount == 0) return "";
  return "--channels: the module has " + std::to_string(channelCount) + " channels (1 to " +
         std::to_string(channelCount) + ")";
}
