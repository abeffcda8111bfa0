#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Platform/Thread.h"

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
  // Holds the loop where it is, position and all, until resume goes on from there. The intro's
  // player never pauses; a player with a pause key does, at once, without losing its place.
  virtual void pause() = 0;
  virtual void resume() = 0;
  virtual int close() = 0;   // the platform's result
  // Why the last open failed, in the sound system's words; "" where it does not say.
  virtual std::string openFailure() { return {}; }

  // Starts the mixing thread: `loop` is its whole body (a `pass` every 5 ms until the stop
  // flag), `pass` one poll of the device. Here `loop` runs on the platform's thread at
  // time-critical priority, returned for the caller to join. A device on a platform with no
  // thread to block (a browser page) overrides this: it calls `pass` from its own callback after
  // every stretch of the ring it has played, until reset or close, and returns no thread.
  virtual PlatformThread startMixingThread(std::function<void()> loop, std::function<void()> /*pass*/) {
    return PlatformThread::startTimeCritical(std::move(loop));
  }
};

// The platform's audio output.
WaveDevice& platformWaveDevice();

