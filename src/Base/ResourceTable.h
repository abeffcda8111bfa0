#pragma once

#include <cstdint>

// One embedded resource; the build generates the table from resources/resources.txt.
struct ResourceEntry {
  const char* type;  // upper case
  uint16_t number;
  const unsigned char* bytes;
  uint32_t size;
};

extern const ResourceEntry kResourceTable[];
extern const unsigned kResourceCount;
