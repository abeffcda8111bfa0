#pragma once

// The text terminal a command-line tool runs in: keys read one at a time as they are pressed,
// the width of a line, and the interrupt and termination requests that should end the tool
// cleanly (with the terminal as it found it). Writing goes through the C library as usual.
class Terminal {
 public:
  virtual ~Terminal() = default;
  // Whether keys can be read from the input, and whether the output is a terminal a line can
  // be rewritten on.
  virtual bool inputIsTerminal() = 0;
  virtual bool outputIsTerminal() = 0;
  // Keys unechoed, without waiting for Enter, until restore; the terminal's settings come back
  // also at exit and when an interrupt or termination request arrives.
  virtual bool enterRawMode() = 0;
  virtual void restore() = 0;
  // The next key pressed: its character, one of the kKey codes below, or kNoKey when none waits.
  virtual int readKey() = 0;
  // Columns of the output; 80 where it cannot tell.
  virtual int width() = 0;
  // From now on an interrupt (Ctrl-C) or termination request is noted instead of ending the
  // process; interruption() then gives its signal number (non-zero), 0 before any.
  virtual void catchInterruptions() = 0;
  virtual int interruption() = 0;
  // Whether the tool was stopped (Ctrl-Z) and continued (fg) since the last time it was asked.
  // The terminal is as the tool had it again (the stop gives the shell its own settings back),
  // but the shell has written on the screen meanwhile: a status line must be drawn anew.
  virtual bool continuedSinceAsked() { return false; }
};

constexpr int kNoKey = -1;
constexpr int kKeyEscape = 27;
constexpr int kKeyUp = 0x101;
constexpr int kKeyDown = 0x102;
constexpr int kKeyRight = 0x103;
constexpr int kKeyLeft = 0x104;
constexpr int kKeyUnknown = 0x1FF;  // a function or editing key nobody asked for

// The process's own terminal.
Terminal& platformTerminal();
