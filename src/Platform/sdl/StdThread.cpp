// The mixing thread's join, and sleeps, on Linux: the standard library's (the thread itself is
// started in SdlThread.cpp).

#include <chrono>
#include <thread>

#include "Platform/Thread.h"

void platformSleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void PlatformThread::join() {
  if (!native) return;
  auto* thread = static_cast<std::thread*>(native);
  thread->join();
  delete thread;
  native = nullptr;
}
