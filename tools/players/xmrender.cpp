// xmrender: renders an XM module to a 16-bit stereo WAV through the player's own block fill,
// offline and deterministic, by the FastTracker 2 rules or the intro's: the whole mix, some of
// its channels, or one file per channel (stems); --info prints the module's structure.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "brackenfold/xmplay.h"
#include "common/FileBytes.h"
#include "players/ChannelList.h"
#include "players/LoadDamage.h"
#include "Platform/Folders.h"
#include "SoundLib/xmplay/ModuleLoader.h"
#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/WavWriter.h"

namespace {
const char kUsage[] =
    "usage: xmrender IN.xm OUT.wav [options]   render one pass of the song (OUT.wav -: standard output)\n"
    "       xmrender IN.xm --stems DIR [options]\n"
    "                                  one WAV per channel, DIR/01-channel.wav ..., and DIR/mix.wav\n"
    "       xmrender --info IN.xm [--rules ft2|intro]\n"
    "options:\n"
    "  --seconds S      render S seconds (0.001 to 3600) instead of one pass of the song\n"
    "  --rate R         frames per second, 8000 to 192000 (default 44100)\n"
    "  --rules ft2      play as FastTracker 2 does (the default)\n"
    "  --rules intro    play as the intro does: its own few effects, no envelopes\n"
    "  --channels LIST  only these channels, numbered from 1 (\"1,3-5\"); the others are muted\n"
    "  --help, --version\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "xmrender: %s\n", message.c_str());
  return 2;
}

// What the player is asked to render: the module's bytes and how to play them.
struct Render {
  const std::vector<uint8_t>& image;
  const char* rules;  // none: the format's own
  int32_t rate;
  int64_t frames;
};

// Renders the first frames of the song from a fresh start, mixing the channels of the mask,
// into the writer.
bool renderTo(WavWriter& wav, const Render& r, uint32_t mask) {
  bfxm_module* m = bfxm_load(r.image.data(), r.image.size(), r.rate, r.rules, nullptr, 0);
  if (!m) return false;
  bfxm_set_loop(m, 1);
  bfxm_set_channel_mask(m, mask);
  std::vector<int16_t> frames(2 * 4096);
  bool written = true;
  for (int64_t done = 0; done < r.frames && written;) {
    const size_t n = bfxm_render(m, frames.data(), static_cast<size_t>(std::min<int64_t>(4096, r.frames - done)));
    written = wav.write(frames.data(), static_cast<int64_t>(n));
    done += static_cast<int64_t>(n);
  }
  bfxm_free(m);
  return written;
}

const char* loopName(uint8_t mode) {
  switch (mode) {
    case kLoopForward: return "forward";
    case kLoopPingPong: return "ping-pong";
    default: return "none";
  }
}

std::string minutesAndSeconds(int64_t frames, int32_t rate) {
  const int64_t tenths = (frames * 10 + rate / 2) / rate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
  return text;
}

void printInfo(Song& song) {
  std::printf("title: %s\n", printableName(song.title, sizeof song.title).c_str());
  std::printf("tracker: %s\n", printableName(song.tracker, sizeof song.tracker).c_str());
  std::printf("format: %d.%02x, played by the %s rules\n", song.version >> 8, song.version & 0xFF,
              song.rules->title);
  std::printf("channels: %d\n", song.channelCount);
  std::printf("song length: %d\n", song.songLength);
  std::printf("restart position: %d\n", song.restartPosition);
  std::printf("patterns: %d in file, %d used, %d allocated\n", song.filePatternCount, song.usedPatternCount,
              song.allocatedPatternCount);
  std::printf("frequencies: %s\n", linearTable(song) ? "linear" : "amiga");
  std::printf("speed: %d, bpm: %d\n", song.defaultSpeed, song.defaultBPM);
  const OfflineRenderer::PassEnd pass = OfflineRenderer::onePass(song, 44100);
  const int64_t frames = OfflineRenderer::passFrames(song, 44100);
  // A pattern loop that never ends is played on for ever by the tracker: one pass is everything
  // up to its first repeat.
  char endless[96] = "";
  if (pass.endlessLoop)
    std::snprintf(endless, sizeof endless, ", then a pattern loop that never ends, from order %d row %d", pass.order,
                  pass.row);
  std::printf("duration: %s (one pass%s%s)\n", minutesAndSeconds(frames, 44100).c_str(),
              pass.frame < 0 ? ", cut at 10 minutes" : "", endless);
  std::printf("instruments: %d\n", song.instrumentCount);
  for (int i = 0; i < song.instrumentCount; ++i) {
    const Instrument& ins = song.instruments[i];
    const std::string name = printableName(ins.name, sizeof ins.name);
    std::printf("instrument %d: \"%s\", %d samples, fadeout %u\n", i + 1, name.c_str(), ins.sampleCount,
                ins.fadeout);
    for (int k = 0; k < ins.sampleCount; ++k) {
      const Sample& s = *ins.samples[k];
      std::printf("  sample %d: length %u, loop %s", k, s.length, loopName(s.loopMode));
      if (s.loopMode != kLoopNone) std::printf(", loop start %u, loop length %u", s.loopStart, s.loopLength);
      std::printf(", bits %d, volume %d, finetune %d, relative note %d\n", s.bits, s.volume, s.finetune,
                  s.relativeNote);
    }
  }
}

bool parseNumber(const char* text, double low, double high, double& out) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (errno || end == text || *end || !std::isfinite(v) || v < low || v > high) return false;
  out = v;
  return true;
}

// One WAV per channel of the mask and the mix of them all, each the same length.
int renderStems(const Render& render, int channels, const std::string& dir, uint32_t mask) {
  if (!makeFolders(dir)) return fail("--stems: cannot make folder " + dir + ": " + std::strerror(errno));
  auto renderFile = [&](const std::string& path, uint32_t heard) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    WavWriter wav(file, render.rate, render.frames);
    return renderTo(wav, render, heard) && wav.finish();
  };
  for (int c = 0; c < channels; ++c) {
    if (!(mask >> c & 1)) continue;
    char name[32];
    std::snprintf(name, sizeof name, "/%02d-channel.wav", c + 1);
    if (!renderFile(dir + name, uint32_t{1} << c)) return fail(cannotWrite(dir + name));
  }
  if (!renderFile(dir + "/mix.wav", mask)) return fail(cannotWrite(dir + "/mix.wav"));
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  bool info = false;
  const char* in = nullptr;
  const char* out = nullptr;
  const char* stems = nullptr;
  double seconds = 0, rate = 44100;
  const char* rules = nullptr;  // the format's own
  uint32_t mask = 0xFFFFFFFF;
  bool channelsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("xmrender " BRACKENFOLD_VERSION);
      return 0;
    }
    const bool takesValue = arg == "--rules" || arg == "--seconds" || arg == "--rate" || arg == "--channels" ||
                            arg == "--stems";
    if (takesValue && i + 1 >= argc) return fail(arg + ": missing value");
    if (arg == "--info") {
      info = true;
    } else if (arg == "--rules") {
      rules = argv[++i];
      if (!ruleSetNamed(rules)) return fail(std::string("--rules: bad value ") + rules + " (" + ruleSetNames() + ")");
    } else if (arg == "--seconds") {
      if (!parseNumber(argv[++i], 0.001, 3600, seconds))
        return fail(std::string("--seconds: bad value ") + argv[i] + " (seconds from 0.001 to 3600)");
    } else if (arg == "--rate") {
      if (!parseNumber(argv[++i], 8000, 192000, rate) || rate != std::floor(rate))
        return fail(std::string("--rate: bad value ") + argv[i] + " (a whole number of Hz from 8000 to 192000)");
    } else if (arg == "--channels") {
      if (!parseChannelList(argv[++i], mask))
        return fail(std::string("--channels: bad value ") + argv[i] + " (" + kChannelListAllowed + ")");
      channelsGiven = true;
    } else if (arg == "--stems") {
      stems = argv[++i];
      if (!*stems) return fail("--stems: expected a folder");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg + " (see --help)");
    } else if (!in) {
      in = argv[i];
    } else if (!out) {
      out = argv[i];
    } else {
      return fail("too many arguments (see --help)");
    }
  }
  if (!in || (info + (out != nullptr) + (stems != nullptr)) != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::vector<uint8_t> image;
  if (!readFileBytes(in, image)) return fail(cannotRead(in));
  LoadFailure failure{};
  const SongPtr song = loadModule(image.data(), image.size(), rules ? ruleSetNamed(rules) : nullptr, &failure);
  if (!song) return fail(std::string(in) + ": not a module this player can play: " + failure.text);
  bool refuse = false;
  const std::string damage = damageMessage(*song, refuse);
  if (info) {
    printInfo(*song);
    if (!damage.empty()) std::printf("damaged: %s\n", damage.c_str());
    return 0;
  }
  if (refuse) return fail(std::string(in) + ": " + damage);
  if (!damage.empty()) std::fprintf(stderr, "xmrender: warning: %s: %s\n", in, damage.c_str());
  if (channelsGiven) {
    const std::string beyond = channelsBeyond(mask, song->channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  const int32_t r = static_cast<int32_t>(rate);
  const int64_t frames =
      seconds > 0 ? static_cast<int64_t>(std::llround(seconds * rate)) : OfflineRenderer::passFrames(*song, r);
  const Render render{image, rules, r, frames};
  if (stems) return renderStems(render, song->channelCount, stems, mask);
  const bool toStandardOutput = !std::strcmp(out, "-");
  // As gzip and cjpeg do: sound data is no text for a terminal.
  if (toStandardOutput && isatty(fileno(stdout))) return fail("standard output is a terminal: redirect it or name a file");
  FILE* file = toStandardOutput ? stdout : std::fopen(out, "wb");
  if (!file) return fail(cannotWrite(out));
  // A pipe cannot be sought back to, so the sizes go first: the length is known before rendering.
  WavWriter wav(file, static_cast<int>(rate), frames);
  if (!renderTo(wav, render, mask) || !wav.finish())
    return fail(cannotWrite(toStandardOutput ? "standard output" : out));
  return 0;
}
