// The frame timer's clock on Linux and on the other POSIX systems: the standard library's steady
// clock, counting nanoseconds. Leaves out nothing the timer asks for.
#include <chrono>

#include "Base/Clock.h"

namespace {
class SteadyClock : public Clock {
 public:
  int64_t frequency() override { return 1'000'000'000; }
  int64_t counter() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};
}  // namespace

Clock& systemClock() {
  static SteadyClock clock;
  return clock;
}
