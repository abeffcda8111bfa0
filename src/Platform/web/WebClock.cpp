// The clock of the web backend: the page's performance.now(), a monotonic clock in
// milliseconds. Browsers coarsen it (Chromium to 100 microseconds on a page without cross-origin
// isolation), so two frames closer than that give a frameDelta of 0.

#include <emscripten/emscripten.h>

#include <cmath>

#include "Base/Clock.h"

namespace {
class PageClock : public Clock {
 public:
  int64_t frequency() override { return 1'000'000; }
  int64_t counter() override { return std::llround(emscripten_get_now() * 1000.0); }
};
}  // namespace

Clock& systemClock() {
  static PageClock clock;
  return clock;
}
