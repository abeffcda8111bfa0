// Threads on a browser page: there are none to start. The page's wave device runs the mixing
// passes from its own audio callback (WebWaveDevice.cpp) and so never asks for a thread; a
// request made anyway gets a handle that is not joinable, and its body does not run.

#include "Platform/Thread.h"

PlatformThread PlatformThread::startTimeCritical(std::function<void()>) { return {}; }

void PlatformThread::join() { native = nullptr; }
