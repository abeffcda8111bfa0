// The mixing thread on Win32: CreateThread with the default security and stack size, running at
// once, then SetThreadPriority to THREAD_PRIORITY_TIME_CRITICAL (15); joined with
// WaitForSingleObject and released with CloseHandle; Sleep for the polls. No C++ runtime thread (and so no POSIX
// threads library) is involved.

#include <windows.h>

#include <memory>

#include "Platform/Thread.h"

namespace {
DWORD WINAPI threadEntry(LPVOID parameter) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}
}  // namespace

PlatformThread PlatformThread::startTimeCritical(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  HANDLE thread = CreateThread(nullptr, 0, threadEntry, owned, 0, nullptr);
  if (!thread) {
    delete owned;
    return {};
  }
  SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  return PlatformThread(thread);
}

void platformSleep(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

void PlatformThread::join() {
  if (!native) return;
  WaitForSingleObject(static_cast<HANDLE>(native), INFINITE);
  CloseHandle(static_cast<HANDLE>(native));
  native = nullptr;
}
