// Threads on a browser page: there are none to start. The page's wave device runs the mixing
// passes from its own audio callback (WebWaveDevice.cpp) and so never asks for a thread; a
// request made anyway gets a handle that is not joinable, and its body does not run.

#include "Platform/Thread.h"

#include <chrono>
#include <thread>

void platformSleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

PlatformThread PlatformThread::startTimeCritical(std::function<void()>) { return {}; }

void PlatformThread::join() { native = nullptr; }
