#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "LivePlayer.h"
#include "Platform/Terminal.h"

// The status line: order / song length, pattern, row / rows, speed, BPM, the time heard
// (mm:ss), "paused" while it is; cut to width - 1 columns so that it never wraps.
std::string statusLine(const SongPosition& position, int64_t frames, int32_t rate, bool paused, int width);

enum class KeyAction { kNone, kPauseOrResume, kQuit, kBack, kForward };
// Space pauses and resumes, q or Escape quits, the left and right arrows skip an order.
KeyAction actionForKey(int key);

// What a terminal user has in front of them: keys act on the player, and the status line is
// rewritten in place whenever it changes. Without a terminal at the input there are no keys and
// no status line: the song just plays.
class PlayerConsole {
 public:
  enum class End { kNone, kPlayed, kQuit, kInterrupted };

  // write: where the status line's text goes (standard output in bfplay).
  PlayerConsole(LivePlayer& player, Terminal& terminal, std::function<void(std::string_view)> write);

  // One turn: the keys waiting, a refill of the player's ring, the status line. False once the
  // song has been played, q or Escape pressed, or an interruption came; end() says which.
  bool step();
  // Ends the status line so that what follows starts on a line of its own.
  void finish();

  End end() const { return end_; }
  const std::string& status() const { return status_; }

 private:
  void show();

  LivePlayer& player_;
  Terminal& terminal_;
  std::function<void(std::string_view)> write_;
  const bool keys_;
  const bool statusLine_;
  std::string status_;
  End end_ = End::kNone;
};
