// bfplay: plays an XM, S3M, IT or MOD module on the sound device with a header and a status line, as a
// terminal player does: by the rules of the tracker that wrote it (FastTracker 2's for XM,
// ProTracker's for MOD) or others, once through or looping, all its channels or some; space pauses, the arrows skip an order, h or ? show the keys, i the
// instrument names, q or Escape quits.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "players/ChannelList.h"
#include "players/PlayerOptions.h"
#include "players/LivePlayer.h"
#include "players/LoadDamage.h"
#include "players/PlayerConsole.h"
#include "Platform/MappedFile.h"
#include "Platform/Terminal.h"
#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

namespace {
const char kSynopsis[] = "usage: bfplay FILE.xm|FILE.mod [options]   play the module on the sound device\n";
const char kOptionsHeading[] = "options, before or after the file (--opt=value too; -- ends them):\n";
const char kAfterOptions[] =
    "keys, where the input is a terminal: space pause / resume, left / right an order back / on,\n"
    "  h or ? the keys, i the instrument names, q or Escape quit\n"
    "exit status:\n"
    "  0    played to the end, or quit\n"
    "  2    a bad option or value, a file that cannot be read, a module it cannot play,\n"
    "       no sound device\n"
    "  130  ended by Ctrl-C (128 + the signal's number)\n";

constexpr int32_t kRate = 44100;

int fail(const std::string& message) {
  std::fprintf(stderr, "bfplay: %s\n", message.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  bool loop = false, quiet = false;
  const char* rulesName = nullptr;  // the format's own
  uint64_t channels = ~uint64_t{0};
  double gain = 0;
  long separation = kDefaultSeparation;
  Options options(
      "bfplay",
      {Option::flag("--loop", 'l', loop, "play on where the song comes back round (otherwise: one pass, then end)"),
       rulesOption(rulesName),
       channelsOption(channels),
       separationOption(separation),
       gainOption(gain),
       Option::flag("--quiet", 'q', quiet, "no header, no status line and no warnings, only errors")});
  if (const int code =
          options.answer(options.parse(argc, argv), std::string(kSynopsis) + kOptionsHeading, kAfterOptions, BRACKENFOLD_VERSION);
      code >= 0)
    return code;
  if (options.operands().empty()) {
    std::fputs(kSynopsis, stderr);
    std::fputs("options: bfplay --help\n", stderr);
    return 2;
  }
  if (options.operands().size() > 1) return fail("one module at a time");
  const char* path = options.operands()[0].c_str();

  MappedFile image;
  if (!image.open(path)) return fail(cannotRead(path));
  LoadFailure failure{};
  const SongPtr loaded = loadModule(image.data(), image.size(), ruleSetNamed(rulesName), &failure);
  if (!loaded) return fail(std::string(path) + ": not a module this player can play: " + failure.text);
  Song& song = *loaded;
  bool refuse = false;
  const std::string damage = damageMessage(song, refuse);
  if (refuse) return fail(std::string(path) + ": " + damage);
  if (!damage.empty() && !quiet) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path, damage.c_str());
  const std::string silent = silentNote(song);
  if (!silent.empty() && !quiet) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path, silent.c_str());
  if (options.given("--channels")) {
    const std::string beyond = channelsBeyond(channels, song.channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  SongFacts facts;
  facts.channels = song.channelCount;
  facts.channelsHeard = channels;
  const OfflineRenderer::PassEnd pass = OfflineRenderer::onePass(song, kRate);
  facts.lengthFrames = pass.frames(kRate);
  facts.endlessLoop = pass.endlessLoop;
  for (int i = 0; i < song.instrumentCount; ++i) {
    const char* name = song.instruments[i].name;
    facts.instruments.push_back(printableName(name, sizeof song.instruments[i].name));
  }

  WaveDevice& device = platformWaveDevice();
  if (!device.open(kRate)) {
    const std::string why = device.openFailure();
    return fail("no sound device could be opened" + (why.empty() ? "" : " (" + why + ")") +
                "; bfrender " + path + " OUT.wav renders it to a file instead");
  }

  Terminal& terminal = platformTerminal();
  const bool keys = terminal.inputIsTerminal();
  const std::string file = path;
  const std::string format = formatName(song) + ", " + song.rules->title + " rules";
  if (!quiet) {
    std::fputs(headerText(file.substr(file.find_last_of("/\\") + 1), printableName(song.title, sizeof song.title),
                          printableName(song.tracker, sizeof song.tracker), format.c_str(), facts, song.songLength,
                          song.filePatternCount, loop, kRate, terminal.width(), keys)
                   .c_str(),
               stdout);
    std::fflush(stdout);
  }
  // After the device: the sound system may set handlers of its own for these signals.
  terminal.catchInterruptions();
  if (keys) terminal.enterRawMode();
  PlayerConsole::End end;
  uint64_t clipped = 0;
  {
    LivePlayer player(song, device, kRate, loop, channels);
    player.setGain(static_cast<float>(std::pow(10.0, gain / 20)));
    player.setSeparation(static_cast<int32_t>(separation));
    PlayerConsole console(
        player, terminal,
        [](std::string_view text) {
          std::fwrite(text.data(), 1, text.size(), stdout);
          std::fflush(stdout);
        },
        facts, !quiet);
    player.start();
    while (console.step()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    console.finish();
    end = console.end();
    clipped = player.clipped();
  }
  device.close();
  terminal.restore();
  if (clipped && !quiet)
    std::fprintf(stderr, "bfplay: %llu %s\n", static_cast<unsigned long long>(clipped), kClippedAdvice);
  return end == PlayerConsole::End::kInterrupted ? 128 + terminal.interruption() : 0;
}
