// bfplay: plays an XM module on the sound device with a status line, as a terminal player does:
// by the FastTracker 2 rules (or the intro's), once through or looping; space pauses, the
// arrows skip an order, q or Escape quits.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "FileBytes.h"
#include "RulesOption.h"
#include "LivePlayer.h"
#include "Platform/Terminal.h"
#include "Platform/WaveDevice.h"
#include "PlayerConsole.h"
#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/XMLoader.h"

namespace {
const char kUsage[] =
    "usage: bfplay FILE.xm [--loop] [--rules ft2|intro]\n"
    "  --loop         play on where the song comes back round (otherwise: one pass, then end)\n"
    "  --rules ft2    play as FastTracker 2 does (the default)\n"
    "  --rules intro  play as the intro does: its own few effects, no envelopes\n"
    "  --help, --version\n"
    "keys: space pause / resume, left / right an order back / on, q or Escape quit\n";

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
    } else if (arg.rfind("--", 0) == 0) {
      return fail("unknown option " + arg);
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

  WaveDevice& device = platformWaveDevice();
  if (!device.open(kRate)) return fail("no sound device could be opened");

  Terminal& terminal = platformTerminal();
  // After the device: the sound system may set handlers of its own for these signals.
  terminal.catchInterruptions();
  if (terminal.inputIsTerminal()) terminal.enterRawMode();
  PlayerConsole::End end;
  {
    LivePlayer player(*holder.song, device, kRate, loop);
    PlayerConsole console(player, terminal, [](std::string_view text) {
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
    });
    player.start();
    while (console.step()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    console.finish();
    end = console.end();
  }
  device.close();
  terminal.restore();
  return end == PlayerConsole::End::kInterrupted ? 128 + terminal.interruption() : 0;
}
