#include "players/PlayerConsole.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// The time played counts whole seconds as a clock does; a length is rounded to the nearest, as
// the trackers show a song's.
std::string minutesSeconds(int64_t frames, int32_t rate, bool rounded = false) {
  const int64_t seconds = (frames + (rounded ? rate / 2 : 0)) / rate;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

// A line cut so that it never reaches the last column.
std::string fitted(std::string line, int width) {
  if (width > 1 && line.size() > static_cast<size_t>(width - 1)) line.resize(static_cast<size_t>(width - 1));
  return line;
}

// "1,3-5" for channels 1, 3, 4 and 5 of those the song has.
std::string channelList(uint64_t mask, int channels) {
  std::string list;
  for (int c = 0; c < channels; ++c) {
    if (!(mask >> c & 1)) continue;
    int last = c;
    while (last + 1 < channels && (mask >> (last + 1) & 1)) ++last;
    if (!list.empty()) list += ',';
    list += std::to_string(c + 1) + (last > c ? "-" + std::to_string(last + 1) : "");
    c = last;
  }
  return list;
}
}  // namespace

std::string statusLine(const SongPosition& p, int64_t frames, int32_t rate, bool paused, const SongFacts& facts,
                       int width) {
  // Each part with the rank at which a narrow pane drops it (0: never); glued parts follow the
  // one before without a space.
  struct Part {
    std::string text;
    int drop;
    bool glued;
  };
  char text[64];
  std::vector<Part> parts;
  std::snprintf(text, sizeof text, "Ord %02d/%02d", p.order, p.songLength);
  parts.push_back({text, 0, false});
  std::snprintf(text, sizeof text, "Pat %02d", p.pattern);
  parts.push_back({text, 3, false});
  std::snprintf(text, sizeof text, "Row %02d/%02d", p.row, p.rows);
  parts.push_back({text, 2, false});
  parts.push_back({"Spd " + std::to_string(p.speed), 5, false});
  parts.push_back({"BPM " + std::to_string(p.bpm), 4, false});
  parts.push_back({minutesSeconds(frames, rate), 0, false});
  if (facts.lengthFrames > 0)
    parts.push_back({"/" + minutesSeconds(facts.lengthFrames, rate, true) + (facts.endlessLoop ? "+" : ""), 1, true});
  if (facts.channels > 0) {
    std::string bar = "|";
    for (int c = 0; c < facts.channels; ++c)
      bar += !(facts.channelsHeard >> c & 1) ? ' ' : (p.sounding >> c & 1) ? '#' : '.';
    parts.push_back({bar + "|", 6, false});
  }
  if (facts.gainDb != 0) {
    std::snprintf(text, sizeof text, "Gain %+.0fdB", facts.gainDb);
    parts.push_back({text, 5, false});
  }
  if (facts.separation != 50) parts.push_back({"Sep " + std::to_string(facts.separation) + "%", 5, false});
  if (facts.looping) parts.push_back({"loop", 5, false});
  if (paused) parts.push_back({"paused", 0, false});

  auto join = [&parts] {
    std::string line;
    for (const Part& part : parts) line += (line.empty() || part.glued ? "" : " ") + part.text;
    return line;
  };
  std::string line = join();
  for (int rank = 6; rank > 0 && width > 1 && line.size() > static_cast<size_t>(width - 1); --rank) {
    std::erase_if(parts, [rank](const Part& part) { return part.drop == rank; });
    line = join();
  }
  return fitted(line, width);
}

std::string headerText(const std::string& file, const std::string& title, const std::string& tracker,
                       const std::string& format, const SongFacts& facts, int orders, int patterns, bool loop,
                       int32_t rate, int width, bool keys) {
  const uint64_t all = facts.channels >= 64 ? ~uint64_t{0} : (uint64_t{1} << facts.channels) - 1;
  const std::string heard = (facts.channelsHeard & all) == all
                                ? ""
                                : ", playing " + channelList(facts.channelsHeard, facts.channels);
  const std::string lines[] = {
      "Module      " + file,
      "Title       " + (title.empty() ? std::string("(none)") : title),
      "Tracker     " + (tracker.empty() ? std::string("(not named)") : tracker) + ", " + format,
      "Channels    " + std::to_string(facts.channels) + heard,
      "Orders      " + std::to_string(orders) + ", patterns " + std::to_string(patterns) + ", instruments " +
          std::to_string(facts.instruments.size()),
      "Length      " + minutesSeconds(facts.lengthFrames, rate, true) +
          (facts.endlessLoop ? (loop ? " a pass, then a pattern loop that never ends" : " one pass, then a pattern loop that never ends")
                             : (loop ? " a pass, then round again" : " one pass")),
      "Keys        h or ? the keys, n / p next / previous file, q quit",
  };
  std::string text;
  for (const std::string& line : lines)
    if (keys || line.rfind("Keys", 0) != 0) text += fitted(line, width) + "\n";
  return text;
}

std::string keysText() {
  return "Keys\n"
         "  space          pause / resume\n"
         "  left, right    an order back / on (on from the last order ends the song)\n"
         "  ,  .           five seconds back / on\n"
         "  down, up       a minute back / on (on past the end ends the song)\n"
         "  n, p           the next / previous file of the list\n"
         "  1 to 9, 0      mute / unmute channels 1 to 10\n"
         "  !              unmute all channels\n"
         "  s              solo the channel last muted or unmuted (again: all back)\n"
         "  +, -           the gain a decibel up / down\n"
         "  ], [           the separation 10 % wider / narrower\n"
         "  l              loop the song on / off\n"
         "  h, ?           these keys\n"
         "  i              the instrument names\n"
         "  I              the samples: length, loop, bits, volume, tuning\n"
         "  q, Escape      quit (Ctrl-C too)\n";
}

std::string instrumentsText(const SongFacts& facts, int width) {
  std::string text = "Instruments\n";
  char number[32];
  for (size_t i = 0; i < facts.instruments.size(); ++i) {
    std::snprintf(number, sizeof number, "  %02zu ", i + 1);
    text += fitted(number + facts.instruments[i], width) + "\n";
  }
  if (facts.instruments.empty()) text += "  (none)\n";
  return text;
}

std::string samplesText(const SongFacts& facts, int width) {
  std::string text;
  for (const std::string& row : facts.samples) text += fitted(row, width) + "\n";
  return text.empty() ? "Samples\n  (none)\n" : text;
}

KeyAction actionForKey(int key) {
  switch (key) {
    case ' ': return KeyAction::kPauseOrResume;
    case 'q':
    case 'Q':
    case kKeyEscape: return KeyAction::kQuit;
    case kKeyLeft: return KeyAction::kBack;
    case kKeyRight: return KeyAction::kForward;
    case 'h':
    case 'H':
    case '?': return KeyAction::kKeys;
    case 'i': return KeyAction::kInstruments;
    case 'I': return KeyAction::kSamples;
    case ',': return KeyAction::kSeekBack;
    case '.': return KeyAction::kSeekOn;
    case kKeyDown: return KeyAction::kSeekBackMinute;
    case kKeyUp: return KeyAction::kSeekOnMinute;
    case 'n':
    case 'N': return KeyAction::kNextFile;
    case '!': return KeyAction::kUnmuteAll;
    case 's':
    case 'S': return KeyAction::kSolo;
    case '+':
    case '=': return KeyAction::kLouder;
    case '-': return KeyAction::kQuieter;
    case ']': return KeyAction::kWider;
    case '[': return KeyAction::kNarrower;
    case 'l':
    case 'L': return KeyAction::kLoop;
    case 'p':
    case 'P': return KeyAction::kPreviousFile;
    default: return key >= '0' && key <= '9' ? KeyAction::kToggleChannel : KeyAction::kNone;
  }
}

PlayerConsole::PlayerConsole(LivePlayer& player, Terminal& terminal, std::function<void(std::string_view)> write,
                             SongFacts facts, bool statusLine)
    : player_(player),
      terminal_(terminal),
      write_(std::move(write)),
      facts_(std::move(facts)),
      keys_(terminal.inputIsTerminal()),
      statusLine_(statusLine && keys_ && terminal.outputIsTerminal()) {
  facts_.looping = player_.looping();
}

bool PlayerConsole::step() {
  if (terminal_.interruption()) {
    end_ = End::kInterrupted;
    return false;
  }
  // Back from a stop: the shell has written its lines since, and left the cursor on a line of
  // its own; the status line is drawn there anew.
  if (terminal_.continuedSinceAsked()) status_.clear();
  for (int key = keys_ ? terminal_.readKey() : kNoKey; key != kNoKey; key = terminal_.readKey()) {
    switch (actionForKey(key)) {
      case KeyAction::kPauseOrResume: player_.paused() ? player_.resume() : player_.pause(); break;
      case KeyAction::kQuit: end_ = End::kQuit; return false;
      case KeyAction::kNextFile: end_ = End::kNextFile; return false;
      case KeyAction::kPreviousFile: end_ = End::kPreviousFile; return false;
      case KeyAction::kBack: player_.skip(-1); break;
      case KeyAction::kForward: player_.skip(1); break;
      case KeyAction::kKeys: printAbove(keysText()); break;
      case KeyAction::kInstruments: printAbove(instrumentsText(facts_, terminal_.width())); break;
      case KeyAction::kSamples: printAbove(samplesText(facts_, terminal_.width())); break;
      case KeyAction::kSeekBack: player_.seek(-5 * int64_t{player_.rate()}); break;
      case KeyAction::kSeekOn: player_.seek(5 * int64_t{player_.rate()}); break;
      case KeyAction::kSeekBackMinute: player_.seek(-60 * int64_t{player_.rate()}); break;
      case KeyAction::kSeekOnMinute: player_.seek(60 * int64_t{player_.rate()}); break;
      case KeyAction::kToggleChannel:
      case KeyAction::kUnmuteAll:
      case KeyAction::kSolo: changeChannels(actionForKey(key), key); break;
      case KeyAction::kLouder:
      case KeyAction::kQuieter:
        facts_.gainDb = std::clamp(facts_.gainDb + (actionForKey(key) == KeyAction::kLouder ? 1 : -1), -48.0, 48.0);
        player_.setGain(static_cast<float>(std::pow(10.0, facts_.gainDb / 20)));
        break;
      case KeyAction::kWider:
      case KeyAction::kNarrower:
        facts_.separation = std::clamp(facts_.separation + (actionForKey(key) == KeyAction::kWider ? 10 : -10), 0, 100);
        player_.setSeparation(facts_.separation);
        break;
      case KeyAction::kLoop:
        player_.setLoop(!player_.looping());
        facts_.looping = player_.looping();
        break;
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

void PlayerConsole::changeChannels(KeyAction action, int key) {
  const uint64_t all = facts_.channels >= 64 ? ~uint64_t{0} : (uint64_t{1} << facts_.channels) - 1;
  uint64_t& heard = facts_.channelsHeard;
  if (action == KeyAction::kToggleChannel) {
    const int channel = key == '0' ? 10 : key - '0';
    if (channel > facts_.channels) return;
    heard ^= uint64_t{1} << (channel - 1);
    lastToggled_ = channel;
  } else if (action == KeyAction::kUnmuteAll) {
    heard = all;
  } else if (lastToggled_ > 0) {
    const uint64_t alone = uint64_t{1} << (lastToggled_ - 1);
    heard = (heard & all) == alone ? all : alone;
  }
  player_.setChannels(heard);
}

void PlayerConsole::show() {
  if (!statusLine_) return;
  const std::string line = statusLine(player_.heard(), player_.heardFrames(), player_.rate(), player_.paused(), facts_,
                                      terminal_.width());
  if (line == status_) return;
  // Spaces cover what a longer line before left.
  const size_t longer = status_.size() > line.size() ? status_.size() - line.size() : 0;
  write_("\r" + line + std::string(longer, ' '));
  status_ = line;
}

void PlayerConsole::printAbove(const std::string& text) {
  write_(status_.empty() ? text : "\r" + std::string(status_.size(), ' ') + "\r" + text);
  status_.clear();
}

void PlayerConsole::finish() {
  if (!status_.empty()) write_("\n");
}
