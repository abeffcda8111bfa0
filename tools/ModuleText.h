#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The texts of an XM file that the player does not keep: the module's title, the tracker that
// wrote it, and the instrument names, where trackers keep credits and messages. Read from the
// file's own sizes; a file that ends early gives the names it holds.
struct ModuleText {
  std::string title;
  std::string tracker;
  std::vector<std::string> instruments;  // one per instrument the file holds, "" for an unnamed one
};

// A name field as a terminal may show it: anything outside printable ASCII (control codes, the
// code page's pictures) becomes a space, and the padding at the end goes.
inline std::string printableName(const uint8_t* at, size_t length) {
  std::string name;
  for (size_t i = 0; i < length && at[i]; ++i) name += at[i] >= 0x20 && at[i] < 0x7F ? static_cast<char>(at[i]) : ' ';
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

inline ModuleText readModuleText(const uint8_t* data, size_t size) {
  ModuleText text;
  if (size < 60) return text;
  auto u16 = [&](size_t at) { return at + 2 <= size ? static_cast<uint32_t>(data[at] | data[at + 1] << 8) : 0u; };
  auto u32 = [&](size_t at) { return at + 4 <= size ? u16(at) | u16(at + 2) << 16 : 0u; };
  text.title = printableName(data + 17, 20);
  text.tracker = printableName(data + 38, 20);
  if (size < 80) return text;
  const uint32_t version = u16(58);
  const uint32_t patterns = u16(70), instruments = u16(72);
  uint64_t at = 60 + uint64_t{u32(60)};
  auto skipPatterns = [&] {
    for (uint32_t p = 0; p < patterns && at + 9 <= size; ++p) at += uint64_t{u32(at)} + u16(at + 7);
  };
  // FastTracker 2 before 1.04 wrote the instruments before the patterns.
  if (version >= 0x0104) skipPatterns();
  for (uint32_t i = 0; i < instruments && i < 256 && at + 29 <= size; ++i) {
    const uint32_t headerSize = u32(at);
    text.instruments.push_back(printableName(data + at + 4, 22));
    const uint32_t samples = u16(at + 27);
    const uint32_t sampleHeaderSize = samples ? u32(at + 29) : 0;
    uint64_t next = at + std::max<uint32_t>(headerSize, 4);
    uint64_t sampleBytes = 0;
    for (uint32_t k = 0; k < samples && next + 18 <= size; ++k, next += sampleHeaderSize) {
      const uint32_t length = u32(next);
      // 4-bit ADPCM (marked 0xAD by the trackers that write it): a 16-byte table, two values a byte.
      sampleBytes += data[next + 17] == 0xAD ? 16 + (uint64_t{length} + 1) / 2 : length;
    }
    at = next + sampleBytes;
  }
  if (version < 0x0104) skipPatterns();
  return text;
}
