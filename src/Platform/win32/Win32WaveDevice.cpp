// Waveform audio output on Win32 (winmm): the wave mapper opened for 16-bit stereo PCM without a
// callback, one header looping the whole ring for ever, the play position read in bytes, pause
// and restart. The mixing thread is the platform's (Win32Thread.cpp).
// Not implemented: more than one device at a time (the player opens one).

#include <windows.h>
#include <mmsystem.h>

#include "Platform/WaveDevice.h"

namespace {
class WinmmWaveDevice : public WaveDevice {
 public:
  bool open(int32_t rate) override {
    if (device) close();
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    result = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    return result == MMSYSERR_NOERROR;
  }

  std::string openFailure() override {
    char text[MAXERRORLENGTH] = "";
    if (result == MMSYSERR_NOERROR || waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) return {};
    return text;
  }

  void startLoop(const void* buffer, uint32_t bytes) override {
    // A looping header never finishes: the one before must be taken back before this one plays.
    if (prepared) reset();
    header = WAVEHDR{};
    header.lpData = static_cast<LPSTR>(const_cast<void*>(buffer));
    header.dwBufferLength = bytes;
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 0xFFFFFFFFu;
    waveOutPrepareHeader(device, &header, sizeof header);
    prepared = true;
    waveOutWrite(device, &header, sizeof header);
  }

  uint32_t positionBytes() override {
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    // A driver may answer in another format than asked; samples are 4 bytes each here.
    if (time.wType == TIME_SAMPLES) return time.u.sample * 4;
    return time.u.cb;
  }

  // waveOutGetPosition stands still while paused.
  void pause() override {
    if (device) waveOutPause(device);
  }

  void resume() override {
    if (device) waveOutRestart(device);
  }

  void reset() override {
    if (!device) return;
    waveOutReset(device);
    if (prepared) {
      waveOutUnprepareHeader(device, &header, sizeof header);
      prepared = false;
    }
  }

  int close() override {
    if (!device) return 0;
    reset();
    const MMRESULT result = waveOutClose(device);
    device = nullptr;
    return static_cast<int>(result);
  }

 private:
  HWAVEOUT device = nullptr;
  WAVEHDR header{};
  bool prepared = false;
  MMRESULT result = MMSYSERR_NOERROR;  // of the last open
};
}  // namespace

WaveDevice& platformWaveDevice() {
  static WinmmWaveDevice device;
  return device;
}
