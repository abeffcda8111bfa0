// The Windows entry point of the GUI program: the command line as the C runtime split it.
// Started from a console, the program writes its help and errors there.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "ProgramMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!GetStdHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
  return programMain(__argc, __argv);
}
