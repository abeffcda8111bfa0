#pragma once

#include <cstdint>

// The sound library's public face: initialise an output, load a module, play, stop, close.
class Sound {
 public:
  virtual ~Sound() {}
  virtual bool init(int32_t rate, int32_t unused, int32_t fileMode) = 0;
  virtual bool load(const char* name) = 0;
  virtual bool loadFromMemory(const void* data, int32_t length) = 0;
  virtual bool loadFromResource(uint16_t number, const char* type) = 0;
  virtual bool play() = 0;
  virtual bool stop() = 0;
  virtual int32_t close() = 0;
};
