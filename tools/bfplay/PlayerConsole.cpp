#include "PlayerConsole.h"

#include <cstdio>

std::string statusLine(const SongPosition& p, int64_t frames, int32_t rate, bool paused, int width) {
  const int64_t seconds = frames / rate;
  char text[160];
  std::snprintf(text, sizeof text, "Order %02d/%02d  Pattern %02d  Row %02d/%02d  Speed %d  BPM %d  %02lld:%02lld%s",
                p.order, p.songLength, p.pattern, p.row, p.rows, p.speed, p.bpm, static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60), paused ? "  paused" : "");
  std::string line = text;
  if (width > 1 && line.size() > static_cast<size_t>(width - 1)) line.resize(static_cast<size_t>(width - 1));
  return line;
}

KeyAction actionForKey(int key) {
  switch (key) {
    case ' ': return KeyAction::kPauseOrResume;
    case 'q':
    case 'Q':
    case kKeyEscape: return KeyAction::kQuit;
    case kKeyLeft: return KeyAction::kBack;
    case kKeyRight: return KeyAction::kForward;
    default: return KeyAction::kNone;
  }
}

PlayerConsole::PlayerConsole(LivePlayer& player, Terminal& terminal, std::function<void(std::string_view)> write)
    : player_(player),
      terminal_(terminal),
      write_(std::move(write)),
      keys_(terminal.inputIsTerminal()),
      statusLine_(keys_ && terminal.outputIsTerminal()) {}

bool PlayerConsole::step() {
  if (terminal_.interruption()) {
    end_ = End::kInterrupted;
    return false;
  }
  for (int key = keys_ ? terminal_.readKey() : kNoKey; key != kNoKey; key = terminal_.readKey()) {
    switch (actionForKey(key)) {
      case KeyAction::kPauseOrResume: player_.paused() ? player_.resume() : player_.pause(); break;
      case KeyAction::kQuit: end_ = End::kQuit; return false;
      case KeyAction::kBack: player_.skip(-1); break;
      case KeyAction::kForward: player_.skip(1); break;
      case KeyAction::kNone: break;
    }
  }
  if (!player_.update()) {
    end_ = End::kPlayed;
    show();
    return false;
  }
  show();
  return true;
}

void PlayerConsole::show() {
  if (!statusLine_) return;
  const std::string line = statusLine(player_.heard(), player_.heardFrames(), player_.rate(), player_.paused(),
                                      terminal_.width());
  if (line == status_) return;
  // Spaces cover what a longer line before left.
  const size_t longer = status_.size() > line.size() ? status_.size() - line.size() : 0;
  write_("\r" + line + std::string(longer, ' '));
  status_ = line;
}

void PlayerConsole::finish() {
  if (!status_.empty()) write_("\n");
}
