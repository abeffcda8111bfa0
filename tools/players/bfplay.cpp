// bfplay: plays an XM module on the sound device with a header and a status line, as a terminal
// player does: by the FastTracker 2 rules (or the intro's), once through or looping, all its
// channels or some; space pauses, the arrows skip an order, h or ? show the keys, i the
// instrument names, q or Escape quits.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/FileBytes.h"
#include "players/ChannelList.h"
#include "players/LivePlayer.h"
#include "players/LoadDamage.h"
#include "players/PlayerConsole.h"
#include "Platform/Terminal.h"
#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/ModuleLoader.h"
#include "SoundLib/xmplay/OfflineRenderer.h"

namespace {
const char kUsage[] =
    "usage: bfplay FILE.xm [--loop] [--rules ft2|intro] [--channels LIST]\n"
    "  --loop           play on where the song comes back round (otherwise: one pass, then end)\n"
    "  --rules ft2      play as FastTracker 2 does (the default)\n"
    "  --rules intro    play as the intro does: its own few effects, no envelopes\n"
    "  --channels LIST  only these channels, numbered from 1 (\"1,3-5\"); the others are muted\n"
    "  --help, --version\n"
    "keys: space pause / resume, left / right an order back / on, h or ? the keys,\n"
    "      i the instrument names, q or Escape quit\n";

constexpr int32_t kRate = 44100;

int fail(const std::string& message) {
  std::fprintf(stderr, "bfplay: %s\n", message.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  bool loop = false;
  const RuleSet* rules = nullptr;  // the format's own
  uint32_t channels = 0xFFFFFFFF;
  bool channelsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("bfplay " BRACKENFOLD_VERSION);
      return 0;
    }
    if (arg == "--loop") {
      loop = true;
    } else if (arg == "--rules") {
      if (i + 1 >= argc) return fail("--rules: missing value");
      rules = ruleSetNamed(argv[++i]);
      if (!rules) return fail(std::string("--rules: bad value ") + argv[i] + " (" + ruleSetNames() + ")");
    } else if (arg == "--channels") {
      if (i + 1 >= argc) return fail("--channels: missing value");
      if (!parseChannelList(argv[++i], channels))
        return fail(std::string("--channels: bad value ") + argv[i] + " (" + kChannelListAllowed + ")");
      channelsGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg + " (see --help)");
    } else if (!path) {
      path = argv[i];
    } else {
      return fail("one module at a time");
    }
  }
  if (!path) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::vector<uint8_t> image;
  if (!readFileBytes(path, image)) return fail(cannotRead(path));
  LoadFailure failure{};
  const SongPtr loaded = loadModule(image.data(), image.size(), rules, &failure);
  if (!loaded) return fail(std::string(path) + ": not a module this player can play: " + failure.text);
  Song& song = *loaded;
  bool refuse = false;
  const std::string damage = damageMessage(song, refuse);
  if (refuse) return fail(std::string(path) + ": " + damage);
  if (!damage.empty()) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path, damage.c_str());
  if (channelsGiven) {
    const std::string beyond = channelsBeyond(channels, song.channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  SongFacts facts;
  facts.channels = song.channelCount;
  facts.channelsHeard = channels;
  facts.lengthFrames = OfflineRenderer::passFrames(song, kRate);
  facts.endlessLoop = OfflineRenderer::onePass(song, kRate).endlessLoop;
  for (int i = 0; i < song.instrumentCount; ++i) {
    const char* name = song.instruments[i].name;
    facts.instruments.push_back(printableName(name, sizeof song.instruments[i].name));
  }

  WaveDevice& device = platformWaveDevice();
  if (!device.open(kRate)) return fail("no sound device could be opened");

  Terminal& terminal = platformTerminal();
  const std::string file = path;
  char format[64];
  std::snprintf(format, sizeof format, "XM %d.%02x, %s rules", song.version >> 8, song.version & 0xFF,
                song.rules->title);
  std::fputs(headerText(file.substr(file.find_last_of("/\\") + 1), printableName(song.title, sizeof song.title),
                        printableName(song.tracker, sizeof song.tracker), format, facts,
                        song.songLength, song.filePatternCount, loop, kRate, terminal.width())
                 .c_str(),
             stdout);
  std::fflush(stdout);
  // After the device: the sound system may set handlers of its own for these signals.
  terminal.catchInterruptions();
  if (terminal.inputIsTerminal()) terminal.enterRawMode();
  PlayerConsole::End end;
  {
    LivePlayer player(song, device, kRate, loop, channels);
    PlayerConsole console(
        player, terminal,
        [](std::string_view text) {
          std::fwrite(text.data(), 1, text.size(), stdout);
          std::fflush(stdout);
        },
        facts);
    player.start();
    while (console.step()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    console.finish();
    end = console.end();
  }
  device.close();
  terminal.restore();
  return end == PlayerConsole::End::kInterrupted ? 128 + terminal.interruption() : 0;
}
