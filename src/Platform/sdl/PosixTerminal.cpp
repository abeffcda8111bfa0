// The terminal on Linux (any POSIX system), through termios: raw mode turns off line editing
// and echo and makes reads return at once, but leaves signals on, so Ctrl-C still interrupts;
// arrow keys arrive as escape sequences (TerminalKeys); the width comes from TIOCGWINSZ.
// SIGINT, SIGTERM and SIGHUP are noted and put the terminal back at once, in the handler, so
// that it is sane even if the tool never gets to restore it; a second one ends the process.
// Job control: a stop (Ctrl-Z) gives the terminal its saved settings before the tool stops, and
// the continue (fg) puts raw mode back and says so, so that the tool draws its line anew.

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "Platform/Terminal.h"
#include "Platform/sdl/TerminalKeys.h"

namespace {
struct termios saved, raw;
volatile sig_atomic_t rawActive = 0;
volatile sig_atomic_t caught = 0;
volatile sig_atomic_t continued = 0;

void onContinue(int);

void onStop(int) {
  const int error = errno;
  if (rawActive) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  // Stop as the signal means: it is blocked while this runs and arrives on the way out.
  ::signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  errno = error;
}

void onContinue(int) {
  const int error = errno;
  if (rawActive) tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  struct sigaction action {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTSTP, &action, nullptr);
  continued = 1;
  errno = error;
}

void restoreSaved() {
  if (!rawActive) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  rawActive = 0;
}

void onSignal(int signal) {
  if (caught) {
    // Asked twice: the tool did not end on the first; leave as the signal means.
    ::signal(signal, SIG_DFL);
    raise(signal);
    return;
  }
  restoreSaved();
  caught = signal;
}

class PosixTerminal : public Terminal {
 public:
  bool inputIsTerminal() override { return isatty(STDIN_FILENO) == 1; }
  bool outputIsTerminal() override { return isatty(STDOUT_FILENO) == 1; }

  bool enterRawMode() override {
    if (rawActive) return true;
    if (!inputIsTerminal() || tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
    rawActive = 1;
    if (!restoreAtExit) restoreAtExit = std::atexit(restoreSaved) == 0;
    return true;
  }

  void restore() override { restoreSaved(); }

  int readKey() override {
    if (!rawActive) return kNoKey;
    fill();
    if (pending.empty()) return kNoKey;
    if (pending[0] == 0x1B && pending.size() < 3) {
      // A sequence's bytes come together; after a lone Escape nothing follows.
      pollfd input{STDIN_FILENO, POLLIN, 0};
      if (poll(&input, 1, 30) > 0) fill();
    }
    size_t used = 1;
    const int key = decodeTerminalKey(pending.data(), pending.size(), used);
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
    return key;
  }

  int width() override {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
  }

  void catchInterruptions() override {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    action.sa_handler = onStop;
    sigaction(SIGTSTP, &action, nullptr);
    action.sa_handler = onContinue;
    sigaction(SIGCONT, &action, nullptr);
  }

  int interruption() override { return caught; }

  bool continuedSinceAsked() override {
    const bool was = continued;
    continued = 0;
    return was;
  }

 private:
  void fill() {
    unsigned char buffer[64];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) pending.insert(pending.end(), buffer, buffer + n);
  }

  std::vector<unsigned char> pending;
  bool restoreAtExit = false;
};
}  // namespace

int decodeTerminalKey(const unsigned char* bytes, size_t size, size_t& used) {
  used = 1;
  if (bytes[0] != 0x1B) return bytes[0];
  if (size < 2 || (bytes[1] != '[' && bytes[1] != 'O')) return kKeyEscape;
  size_t at = 2;
  // ESC [ takes parameter and intermediate bytes (modifiers: ESC [ 1 ; 5 C) before its final one.
  if (bytes[1] == '[')
    while (at < size && bytes[at] >= 0x20 && bytes[at] <= 0x3F) ++at;
  if (at >= size) {
    used = size;
    return kKeyUnknown;
  }
  used = at + 1;
  switch (bytes[at]) {
    case 'A': return kKeyUp;
    case 'B': return kKeyDown;
    case 'C': return kKeyRight;
    case 'D': return kKeyLeft;
    default: return kKeyUnknown;
  }
}

Terminal& platformTerminal() {
  static PosixTerminal terminal;
  return terminal;
}
