#pragma once

#include <cstdint>

// The five stream operations the module loader reads through, replaceable as a set.
struct StreamCallbacks {
  void* (*open)(const void* name);
  void (*close)(void* handle);
  int32_t (*read)(void* buffer, int32_t count, void* handle);
  void* (*seek)(void* handle, int32_t offset, int origin);  // origin 0 start, 1 current, 2 end
  int32_t (*tell)(void* handle);

  bool complete() const { return open && close && read && seek && tell; }
};

// The player-wide set. Installing a set with any operation missing empties the whole set.
const StreamCallbacks& streamCallbacks();
void installStreamCallbacks(const StreamCallbacks& set);

// Standard-library files, opened "rb".
extern const StreamCallbacks kFileStreamCallbacks;
// A module image in memory: the name is its address, the length comes from setMemoryStreamLength.
extern const StreamCallbacks kMemoryStreamCallbacks;

constexpr uint32_t kDefaultMemoryStreamLength = 87616;
void setMemoryStreamLength(uint32_t length);
uint32_t memoryStreamLength();

// The handle of the memory set.
struct MemoryStream {
  uint32_t length;
  uint32_t position;
  const uint8_t* base;
};

// The stream record the loader passes around; all operations tolerate a missing record.
struct Stream {
  uint8_t kind;
  void* handle;
  int32_t user;
};

Stream* streamOpen(const void* name, uint8_t kind, int32_t user);
void streamClose(Stream* stream);
int32_t streamRead(void* buffer, int32_t count, Stream* stream);
void streamSeek(Stream* stream, int32_t offset, int origin);
int32_t streamTell(Stream* stream);
