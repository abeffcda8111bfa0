// The program's resources on Win32: the module's own resource section, filled from the
// resource script the build generates. Type names are compared by the system, without regard
// to case; the bytes stay mapped with the module for the whole run.

#include <windows.h>

#include "Base/LogFile.h"
#include "Base/Resource.h"

void reportWin32Error() { logPrint("Win32 Api Error Nr.: %d\n", static_cast<int>(GetLastError())); }

const void* loadResource(uint32_t* size, uint16_t number, const char* type) {
  const HMODULE module = GetModuleHandleA(nullptr);
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), type);
  if (found) {
    const HGLOBAL loaded = LoadResource(module, found);
    if (loaded) {
      if (const void* bytes = LockResource(loaded)) {
        *size = SizeofResource(module, found);
        return bytes;
      }
    }
  }
  reportWin32Error();
  return nullptr;
}
