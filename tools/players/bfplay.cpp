// bfplay: plays XM, S3M, IT or MOD modules on the sound device with a header and a status line, as a
// terminal player does: a list of files (or a folder's modules) in turn, each by the rules of
// the tracker that wrote it (FastTracker 2's for XM, ProTracker's for MOD) or others, once
// through or looping, all its channels or some; space pauses, the arrows skip an order, n and p
// go to the next and previous file, , and . and the up and down arrows seek, the digits mute,
// h or ? show the keys, i the instrument names, I the samples, q or Escape quits.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <random>
#include <vector>

#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "players/ChannelList.h"
#include "players/PlayerOptions.h"
#include "players/LivePlayer.h"
#include "players/LoadDamage.h"
#include "players/ModuleFacts.h"
#include "Platform/Folders.h"
#include "players/PlayerConsole.h"
#include "Platform/MappedFile.h"
#include "Platform/Terminal.h"
#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

namespace {
const char kSynopsis[] =
    "usage: bfplay FILE... [options]   play the modules (XM, MOD, S3M, IT) on the sound device in turn;\n"
    "                                  a folder: its modules\n";
const char kOptionsHeading[] = "options, before or after the files (--opt=value too; -- ends them):\n";
const char kAfterOptions[] =
    "keys, where the input is a terminal: space pause / resume, left / right an order back / on,\n"
    "  , / . five seconds back / on, down / up a minute back / on, n / p the next / previous\n"
    "  file, 1 to 9 and 0 mute / unmute channels 1 to 10, ! all on, s solo, + / - gain,\n"
    "  ] / [ separation, l loop, h or ? the keys, i the instrument names, I the samples,\n"
    "  q or Escape quit\n"
    "exit status:\n"
    "  0    played to the end, or quit\n"
    "  2    a bad option or value, a file that cannot be read, a module it cannot play (the\n"
    "       others of the list are still played), no sound device\n"
    "  130  ended by Ctrl-C (128 + the signal's number)\n";

constexpr int32_t kRate = 44100;

int fail(const std::string& message) {
  std::fprintf(stderr, "bfplay: %s\n", message.c_str());
  return 2;
}

// The names a folder's modules go by: the format's extension, or the Amiga's prefix (mod.song).
bool moduleName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* e : {".xm", ".mod", ".s3m", ".it"}) {
    const size_t n = std::strlen(e);
    if (name.size() > n && name.compare(name.size() - n, n, e) == 0) return true;
  }
  return name.rfind("mod.", 0) == 0;
}

// The files named, a folder's modules in the order of their names in its place.
std::vector<std::string> playList(const std::vector<std::string>& operands) {
  std::vector<std::string> list;
  for (const std::string& name : operands) {
    if (!isFolder(name)) {
      list.push_back(name);
      continue;
    }
    std::vector<std::string> inside = fileNamesIn(name);
    std::sort(inside.begin(), inside.end());
    for (const std::string& file : inside)
      if (moduleName(file)) list.push_back(name + (name.back() == '/' ? "" : "/") + file);
  }
  return list;
}

struct Settings {
  bool loop = false, quiet = false;
  const char* rulesName = nullptr;  // the format's own
  uint64_t channels = ~uint64_t{0};
  bool channelsGiven = false;
  double gain = 0, start = 0;
  long startOrder = -1;
  long separation = kDefaultSeparation;
};

// One module of the list, played to its end or until a key moves on. false (its message said)
// where it cannot be played.
bool playOne(const std::string& path, const std::string& shown, const Settings& s, WaveDevice& device,
             Terminal& terminal, PlayerConsole::End& end, uint64_t& clipped) {
  MappedFile image;
  if (!image.open(path.c_str())) return fail(cannotRead(path)), false;
  LoadFailure failure{};
  const SongPtr loaded = loadModule(image.data(), image.size(), ruleSetNamed(s.rulesName), &failure);
  if (!loaded) return fail(path + ": not a module this player can play: " + failure.text), false;
  Song& song = *loaded;
  bool refuse = false;
  const std::string damage = damageMessage(song, refuse);
  if (refuse) return fail(path + ": " + damage), false;
  if (!damage.empty() && !s.quiet) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path.c_str(), damage.c_str());
  const std::string silent = silentNote(song);
  if (!silent.empty() && !s.quiet) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path.c_str(), silent.c_str());
  if (s.channelsGiven) {
    const std::string beyond = channelsBeyond(s.channels, song.channelCount);
    if (!beyond.empty()) return fail(path + ": " + beyond), false;
  }
  SongFacts facts;
  facts.channels = song.channelCount;
  facts.channelsHeard = s.channels;
  PassMap pass = PassMap::of(song, kRate);
  facts.lengthFrames = pass.frames;
  facts.endlessLoop = pass.end.endlessLoop;
  facts.samples = sampleTable(song);
  facts.gainDb = s.gain;
  facts.separation = static_cast<int32_t>(s.separation);
  for (int i = 0; i < song.instrumentCount; ++i) {
    const char* name = song.instruments[i].name;
    facts.instruments.push_back(printableName(name, sizeof song.instruments[i].name));
  }
  if (s.start > 0 && std::llround(s.start * kRate) >= facts.lengthFrames)
    return fail(path + ": --start: one pass lasts " + std::to_string(facts.lengthFrames / kRate) + " s"), false;
  if (s.startOrder >= song.songLength)
    return fail(path + ": --start-order " + std::to_string(s.startOrder) + ": the song has " +
                std::to_string(song.songLength) + " orders (0 to " + std::to_string(song.songLength - 1) + ")"),
           false;
  const bool keys = terminal.inputIsTerminal();
  const std::string format = formatName(song) + ", " + song.rules->title + " rules";
  if (!s.quiet) {
    std::fputs(headerText(shown, printableName(song.title, sizeof song.title), trackerShown(song), format.c_str(), facts,
                          song.songLength, song.filePatternCount, s.loop, kRate, terminal.width(), keys)
                   .c_str(),
               stdout);
    std::fflush(stdout);
  }
  LivePlayer player(song, device, kRate, s.loop, s.channels, std::move(pass));
  player.setGain(static_cast<float>(std::pow(10.0, s.gain / 20)));
  player.setSeparation(static_cast<int32_t>(s.separation));
  PlayerConsole console(
      player, terminal,
      [](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
      },
      facts, !s.quiet);
  if (s.startOrder >= 0) player.startAtOrder(static_cast<int32_t>(s.startOrder));
  if (s.start > 0) player.skipTo(std::llround(s.start * kRate));
  player.start();
  while (console.step()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  console.finish();
  end = console.end();
  clipped += player.clipped();
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  Settings s;
  bool shuffle = false, loopAll = false;
  Options options(
      "bfplay",
      {Option::flag("--loop", 'l', s.loop, "play on where the song comes back round (otherwise: one pass, then end)"),
       Option::flag("--shuffle", 0, shuffle, "play the list in a random order"),
       Option::flag("--loop-all", 0, loopAll, "after the last file of the list, start it again"),
       Option::number("--start", 0, "S", "seconds", 0, 3600, false, s.start,
                      "start each song S seconds in (0 to 3600; played unheard up to there)"),
       Option::integer("--start-order", 0, "N", "order", 0, 255, s.startOrder,
                       "start each song at order N (0-based), where one pass comes to it"),
       rulesOption(s.rulesName),
       channelsOption(s.channels),
       separationOption(s.separation),
       gainOption(s.gain),
       Option::flag("--quiet", 'q', s.quiet, "no header, no status line and no warnings, only errors")});
  if (const int code =
          options.answer(options.parse(argc, argv), std::string(kSynopsis) + kOptionsHeading, kAfterOptions, BRACKENFOLD_VERSION);
      code >= 0)
    return code;
  if (options.operands().empty()) {
    std::fputs(kSynopsis, stderr);
    std::fputs("options: bfplay --help\n", stderr);
    return 2;
  }
  s.channelsGiven = options.given("--channels");
  if (!options.apart("--start", "--start-order", "one start or the other")) {
    std::fprintf(stderr, "%s\n", options.error().c_str());
    return 2;
  }
  std::vector<std::string> list = playList(options.operands());
  if (list.empty()) return fail("no modules in " + options.operands()[0] + " (names ending .xm, .mod, .s3m or .it)");
  if (shuffle) std::shuffle(list.begin(), list.end(), std::mt19937(std::random_device{}()));

  WaveDevice& device = platformWaveDevice();
  if (!device.open(kRate)) {
    const std::string why = device.openFailure();
    return fail("no sound device could be opened" + (why.empty() ? "" : " (" + why + ")") + "; bfrender " + list[0] +
                " OUT.wav renders it to a file instead");
  }
  Terminal& terminal = platformTerminal();
  // After the device: the sound system may set handlers of its own for these signals.
  terminal.catchInterruptions();
  if (terminal.inputIsTerminal()) terminal.enterRawMode();
  uint64_t clipped = 0;
  int code = 0;
  PlayerConsole::End end = PlayerConsole::End::kPlayed;
  std::vector<bool> unplayable(list.size());
  // Going back passes over what could not be played; a list of nothing playable ends.
  for (size_t at = 0; at < list.size();) {
    if (!unplayable[at]) {
      const std::string name = list[at].substr(list[at].find_last_of("/\\") + 1);
      const std::string shown = list.size() > 1 ? name + " (" + std::to_string(at + 1) + " of " +
                                                      std::to_string(list.size()) + ")" : name;
      if (!playOne(list[at], shown, s, device, terminal, end, clipped)) {
        unplayable[at] = true;
        code = 2;
        end = end == PlayerConsole::End::kPreviousFile ? end : PlayerConsole::End::kPlayed;
      }
    }
    if (end == PlayerConsole::End::kQuit || end == PlayerConsole::End::kInterrupted) break;
    if (end == PlayerConsole::End::kPreviousFile) {
      size_t back = at;
      while (back > 0 && unplayable[--back]) {}
      at = unplayable[back] ? at : back;
      if (!unplayable[at]) continue;
    }
    ++at;
    if (at == list.size() && loopAll && std::find(unplayable.begin(), unplayable.end(), false) != unplayable.end()) at = 0;
  }
  device.close();
  terminal.restore();
  if (clipped && !s.quiet)
    std::fprintf(stderr, "bfplay: %llu %s\n", static_cast<unsigned long long>(clipped), kClippedAdvice);
  return end == PlayerConsole::End::kInterrupted ? 128 + terminal.interruption() : code;
}
