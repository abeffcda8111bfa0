// The mixing thread on Linux: a std::thread that raises itself with SDL_SetThreadPriority to
// SDL_THREAD_PRIORITY_TIME_CRITICAL (without the privilege for it SDL reports failure and the
// thread runs at normal priority). Joining and sleeping need no SDL (StdThread.cpp), so a
// program that only renders offline and never starts the thread links none of it.

#include <SDL.h>

#include <thread>

#include "Platform/Thread.h"

PlatformThread PlatformThread::startTimeCritical(std::function<void()> body) {
  return PlatformThread(new std::thread([body = std::move(body)] {
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    body();
  }));
}
