// The console on Windows: keys through the C runtime's console input (_kbhit, _getch), which
// already reads them unechoed and without Enter, so raw mode has nothing to change; the width
// of the console window; Ctrl-C, Ctrl-Break and closing the console noted by a control handler
// (as SIGINT, SIGINT and SIGTERM).
// Not implemented: terminals that are not a console (mintty's pipes count as no terminal).

#include <windows.h>
#include <conio.h>

#include <atomic>
#include <csignal>

#include "Platform/Terminal.h"

namespace {
std::atomic<int> caught{0};

BOOL WINAPI onControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: caught = SIGINT; return TRUE;
    case CTRL_CLOSE_EVENT: caught = SIGTERM; return TRUE;
    default: return FALSE;
  }
}

// A console, not a file or the NUL device (which _isatty takes for a terminal).
bool isConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

class Win32Terminal : public Terminal {
 public:
  bool inputIsTerminal() override { return isConsole(STD_INPUT_HANDLE); }
  bool outputIsTerminal() override { return isConsole(STD_OUTPUT_HANDLE); }
  bool enterRawMode() override { return inputIsTerminal(); }
  void restore() override {}

  int readKey() override {
    if (!_kbhit()) return kNoKey;
    const int c = _getch();
    if (c != 0 && c != 0xE0) return c;
    // Arrows and function keys: a prefix, then the key's scan code.
    switch (_getch()) {
      case 72: return kKeyUp;
      case 80: return kKeyDown;
      case 77: return kKeyRight;
      case 75: return kKeyLeft;
      default: return kKeyUnknown;
    }
  }

  int width() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
  }

  void catchInterruptions() override { SetConsoleCtrlHandler(onControl, TRUE); }
  int interruption() override { return caught; }
};
}  // namespace

Terminal& platformTerminal() {
  static Win32Terminal terminal;
  return terminal;
}
