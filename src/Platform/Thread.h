#pragma once

#include <functional>

// A thread of the platform's own making, for the music's mixing loop: started on a function and
// raised to time-critical priority where the system grants it, then joined once. Movable, not
// copyable; a handle that still holds a thread when it is overwritten or goes waits for that
// thread to end first.
// Sleeps the calling thread for about the given milliseconds (the mixing thread's 5 ms poll,
// stop's 50 ms wait for it).
void platformSleep(int milliseconds);

class PlatformThread {
 public:
  PlatformThread() = default;
  PlatformThread(PlatformThread&& other) noexcept : native(other.native) { other.native = nullptr; }
  PlatformThread& operator=(PlatformThread&& other) noexcept {
    if (this != &other) {
      join();
      native = other.native;
      other.native = nullptr;
    }
    return *this;
  }
  PlatformThread(const PlatformThread&) = delete;
  PlatformThread& operator=(const PlatformThread&) = delete;
  ~PlatformThread() { join(); }

  // Runs body on a new thread at time-critical priority. The handle is not joinable when no
  // thread could be started, or where the platform starts none (a browser page, whose wave
  // device runs the mixing passes itself).
  static PlatformThread startTimeCritical(std::function<void()> body);

  bool joinable() const { return native != nullptr; }
  // Waits for the thread to end and releases it; nothing when not joinable.
  void join();

 private:
  explicit PlatformThread(void* thread) : native(thread) {}
  void* native = nullptr;  // the backend's own record of the thread
};
