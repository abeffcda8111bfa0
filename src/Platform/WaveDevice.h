#pragma once

#include <cstdint>

// The waveform audio output the player relies on: 16-bit stereo PCM at one rate, playing one
// buffer as an endless loop and reporting how many bytes it has played.
class WaveDevice {
 public:
  virtual ~WaveDevice() = default;
  virtual bool open(int32_t rate) = 0;
  // Starts (or restarts) playing bytes from buffer in a loop; the buffer must stay valid until
  // reset or close.
  virtual void startLoop(const void* buffer, uint32_t bytes) = 0;
  virtual uint32_t positionBytes() = 0;
  virtual void reset() = 0;  // stops playing
  virtual int close() = 0;   // the platform's result
};

// The platform's audio output.
WaveDevice& platformWaveDevice();

// Raises the calling thread to time-critical priority where the system grants it.
void setCurrentThreadTimeCritical();
