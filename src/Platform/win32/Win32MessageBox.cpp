// The warning box on Win32: modal, no owner, caption "Warning", exclamation icon, one OK button.

#include <windows.h>

#include "Platform/win32/Win32WindowBackend.h"

void Win32WindowBackend::showWarning(const char* text) {
  MessageBoxA(nullptr, text, "Warning", MB_OK | MB_ICONEXCLAMATION);
}
