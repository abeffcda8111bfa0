// The mixing thread on Linux: a std::thread that raises itself with SDL_SetThreadPriority to
// SDL_THREAD_PRIORITY_TIME_CRITICAL (without the privilege for it SDL reports failure and the
// thread runs at normal priority), joined by join; the standard library's sleep.

#include <SDL.h>

#include <chrono>
#include <thread>

#include "Platform/Thread.h"

void platformSleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

PlatformThread PlatformThread::startTimeCritical(std::function<void()> body) {
  return PlatformThread(new std::thread([body = std::move(body)] {
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    body();
  }));
}

void PlatformThread::join() {
  if (!native) return;
  auto* thread = static_cast<std::thread*>(native);
  thread->join();
  delete thread;
  native = nullptr;
}
