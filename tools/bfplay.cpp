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

#include "ChannelList.h"
#include "FileBytes.h"
#include "LoadDamage.h"
#include "ModuleText.h"
#include "RulesOption.h"
#include "SongLength.h"
#include "LivePlayer.h"
#include "Platform/Terminal.h"
#include "Platform/WaveDevice.h"
#include "PlayerConsole.h"
#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/XMLoader.h"

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

// Releases the song on every way out.
struct SongHolder {
  Song* song = nullptr;
  ~SongHolder() { releaseSong(song); }
};
}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  bool loop = false;
  const RuleSet* rules = &ft2::kRules;
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
      if (!rulesNamed(argv[++i], rules)) return fail(std::string("--rules: bad value ") + argv[i] + " (ft2 or intro)");
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
  SongHolder holder;
  holder.song = loadModuleImage(image.data(), image.size(), *rules);
  if (!holder.song) return fail(std::string(path) + ": not a module this player can play");
  Song& song = *holder.song;
  bool refuse = false;
  const std::string damage = damageMessage(song, refuse);
  if (refuse) return fail(std::string(path) + ": " + damage);
  if (!damage.empty()) std::fprintf(stderr, "bfplay: warning: %s: %s\n", path, damage.c_str());
  if (channelsGiven) {
    const std::string beyond = channelsBeyond(channels, song.channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  const ModuleText text = readModuleText(image.data(), image.size());
  SongFacts facts;
  facts.channels = song.channelCount;
  facts.channelsHeard = channels;
  facts.lengthFrames = onePassFrames(song, kRate);
  facts.instruments = text.instruments;
  facts.instruments.resize(static_cast<size_t>(song.instrumentCount));

  WaveDevice& device = platformWaveDevice();
  if (!device.open(kRate)) return fail("no sound device could be opened");

  Terminal& terminal = platformTerminal();
  const std::string file = path;
  char format[64];
  std::snprintf(format, sizeof format, "XM %d.%02x, %s rules", song.version >> 8, song.version & 0xFF,
                song.rules->title);
  std::fputs(headerText(file.substr(file.find_last_of("/\\") + 1), text.title, text.tracker, format, facts,
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
