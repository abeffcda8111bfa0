#pragma once

#include <cstdio>
#include <string>

// A line on a terminal that says how far long work has come, rewritten in place: what is done
// of what (the caller's words), the share, the time taken and the time left at that pace,
// "bfrender: 1:02 of 3:05 rendered (33%), 0:01 elapsed, 0:02 left". Work done within a second
// shows none; output that is no terminal (a file, a pipe, a log) gets none at all.
class ProgressLine {
 public:
  // Writes to out when shown (see onTerminal).
  ProgressLine(FILE* out, bool shown) : out_(out), shown_(shown) {}
  ~ProgressLine() { finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Whether the file is a terminal a line can be rewritten on.
  static bool onTerminal(FILE* file);

  // Where the work is: done, a share from 0 to 1, after elapsed seconds. Rewrites the line at
  // most four times a second.
  void update(const std::string& done, double share, double elapsed);
  // Takes the line away, so that what follows starts on a clean one.
  void finish();

  // The line's text, for a share above 0.
  static std::string text(const std::string& done, double share, double elapsed);
  // "1:02", "1:02:03".
  static std::string clock(double seconds);

 private:
  FILE* out_;
  bool shown_;
  double lastShown_ = -1;
  size_t width_ = 0;  // of the line on the terminal now
};
