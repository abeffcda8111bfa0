#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "players/LivePlayer.h"
#include "Platform/Terminal.h"

// What the screen shows of the song beside its position.
struct SongFacts {
  int32_t channels = 0;
  uint64_t channelsHeard = ~uint64_t{0};  // bit c for channel c (--channels)
  int64_t lengthFrames = 0;             // one pass
  std::vector<std::string> instruments;  // names, where trackers keep credits and messages
  bool endlessLoop = false;              // the pass ends in a pattern loop that never ends
  // What the keys set while playing (from the options' values), shown on the line where they
  // differ from the defaults.
  double gainDb = 0;
  int32_t separation = 50;
  bool looping = false;
  std::vector<std::string> samples{};  // the table of samples (sampleTable), heading first
};

// The status line, as a user of xmp reads it: order / song length, pattern, row / rows, speed,
// BPM, the time heard / the song's length (mm:ss, the length to the nearest second; "+" after it where a pattern loop that never
// ends follows the pass), a bar with a mark for each channel sounding
// (a space for one muted by --channels), "paused" while it is. It never reaches the last column
// (a line that wraps cannot be rewritten): a narrower pane loses the bar first, then speed, BPM,
// pattern, row and the song's length; the order, the time and "paused" stay.
std::string statusLine(const SongPosition& position, int64_t frames, int32_t rate, bool paused, const SongFacts& facts,
                       int width);

// The header printed once before the status line: file, title, tracker, format and rule set,
// channels, orders, patterns, instruments and the length of one pass, and the keys where they
// are read (keys); each line cut to width - 1.
std::string headerText(const std::string& file, const std::string& title, const std::string& tracker,
                       const std::string& format, const SongFacts& facts, int orders, int patterns, bool loop,
                       int32_t rate, int width, bool keys);

// The keys, for h and ?; the instrument names, numbered, for i; the samples' table for I.
std::string keysText();
std::string instrumentsText(const SongFacts& facts, int width);
std::string samplesText(const SongFacts& facts, int width);

enum class KeyAction {
  kNone, kPauseOrResume, kQuit, kBack, kForward, kKeys, kInstruments, kNextFile, kPreviousFile,
  kToggleChannel, kUnmuteAll, kSolo, kLouder, kQuieter, kWider, kNarrower, kLoop, kSamples,
  kSeekBack, kSeekOn, kSeekBackMinute, kSeekOnMinute
};
// Space pauses and resumes, q or Escape quits, the left and right arrows skip an order, h or ?
// show the keys, i the instrument names and I the samples' table, n and p go to the next and
// previous file of the list; , and . seek five seconds back and on, the down and up arrows a
// minute.
// The digits 1 to 9 and 0 toggle channels 1 to 10, ! unmutes all, s solos the channel last
// toggled; + and - the gain by a decibel, ] and [ the separation by 10 %, l the loop.
KeyAction actionForKey(int key);

// What a terminal user has in front of them: keys act on the player, and the status line is
// rewritten in place whenever it changes; what a key prints goes above it. Without a terminal at
// the input there are no keys and no status line: the song just plays.
class PlayerConsole {
 public:
  enum class End { kNone, kPlayed, kQuit, kInterrupted, kNextFile, kPreviousFile };

  // write: where the text goes (standard output in bfplay); statusLine: false keeps the line
  // off even on a terminal (bfplay --quiet).
  PlayerConsole(LivePlayer& player, Terminal& terminal, std::function<void(std::string_view)> write,
                SongFacts facts = {}, bool statusLine = true);

  // One turn: every key waiting, a refill of the player's ring, the status line. False once the
  // song has been played, q or Escape pressed, or an interruption came; end() says which.
  bool step();
  // Ends the status line so that what follows starts on a line of its own.
  void finish();

  End end() const { return end_; }
  const std::string& status() const { return status_; }

 private:
  void show();
  void changeChannels(KeyAction action, int key);
  // Clears the status line, writes text (whole lines), and lets show() put the line back.
  void printAbove(const std::string& text);

  LivePlayer& player_;
  Terminal& terminal_;
  std::function<void(std::string_view)> write_;
  SongFacts facts_;
  int lastToggled_ = 0;
  const bool keys_;
  const bool statusLine_;
  std::string status_;
  End end_ = End::kNone;
};
