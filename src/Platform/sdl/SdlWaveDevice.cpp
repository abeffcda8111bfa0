// The wave device on Linux, on SDL's audio: the system's default output opened at the asked rate
// in 16-bit stereo, whose callback copies the player's ring round and round; the position is the
// bytes it has copied, so it runs ahead of what is heard by SDL's buffer (1024 frames) and the
// sound system's. Pause and resume stop and start the callback; reset detaches the ring.
// Leaves out: choosing a device, other sample formats, and the wave mapper's per-block
// notifications (the player reads the position instead).
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Platform/WaveDevice.h"

namespace {
// The sound libraries SDL tries in turn print their own failures on stderr (ALSA eight lines
// where a machine has no sound card); whether a device opened is for the program to say, in a
// line of its own. Sends stderr to /dev/null while it lives.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~QuietStderr() {
    if (saved_ < 0) return;
    dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_;
};

// The device pulls from the ring at its own pace; the position is what it has consumed.
class SdlWaveDevice : public WaveDevice {
 public:
  bool open(int32_t rate) override {
    if (device) close();
    QuietStderr quiet;
    failure.clear();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      failure = SDL_GetError();
      return false;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlWaveDevice::callback;
    want.userdata = this;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (!device) {
      failure = SDL_GetError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    return true;
  }

  std::string openFailure() override { return failure; }

  void startLoop(const void* buffer, uint32_t bytes) override {
    SDL_LockAudioDevice(device);
    ring = static_cast<const uint8_t*>(buffer);
    ringBytes = bytes;
    cursor = 0;
    played = 0;
    SDL_UnlockAudioDevice(device);
    SDL_PauseAudioDevice(device, 0);
  }

  uint32_t positionBytes() override { return played.load(std::memory_order_acquire); }

  // A paused device calls no callback, so the position stays put.
  void pause() override {
    if (device) SDL_PauseAudioDevice(device, 1);
  }

  void resume() override {
    if (device) SDL_PauseAudioDevice(device, 0);
  }

  void reset() override {
    if (!device) return;
    SDL_PauseAudioDevice(device, 1);
    SDL_LockAudioDevice(device);
    ring = nullptr;
    ringBytes = 0;
    SDL_UnlockAudioDevice(device);
  }

  int close() override {
    if (!device) return 0;
    SDL_CloseAudioDevice(device);
    device = 0;
    ring = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }

 private:
  static void callback(void* self, Uint8* stream, int length) {
    auto& d = *static_cast<SdlWaveDevice*>(self);
    if (!d.ring || d.ringBytes == 0) {
      SDL_memset(stream, 0, static_cast<size_t>(length));
      return;
    }
    uint32_t left = static_cast<uint32_t>(length);
    while (left) {
      const uint32_t n = std::min(left, d.ringBytes - d.cursor);
      SDL_memcpy(stream, d.ring + d.cursor, n);
      stream += n;
      left -= n;
      d.cursor = (d.cursor + n) % d.ringBytes;
    }
    d.played.fetch_add(static_cast<uint32_t>(length), std::memory_order_release);
  }

  SDL_AudioDeviceID device = 0;
  const uint8_t* ring = nullptr;
  uint32_t ringBytes = 0;
  uint32_t cursor = 0;
  std::atomic<uint32_t> played{0};
  std::string failure;
};
}  // namespace

WaveDevice& platformWaveDevice() {
  static SdlWaveDevice device;
  return device;
}
