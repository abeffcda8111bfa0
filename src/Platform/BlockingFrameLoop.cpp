// The frame loop of the platforms whose program owns its main thread (SDL on Linux, Win32):
// a plain loop, unthrottled; the buffer swap inside each frame sets the pace.

#include "Platform/WindowBackend.h"

int platformRunFrameLoop(std::function<bool()> frame, std::function<int()> end) {
  while (frame()) {
  }
  return end();
}
