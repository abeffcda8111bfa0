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
#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/WavWriter.h"
#include "SoundLib/xmplay/XMPlayInternal.h"

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

// A module loaded through the library, freed on every way out.
struct Module {
  Module(const std::vector<uint8_t>& image, const char* rules, int32_t rate)
      : m(bfxm_load(image.data(), image.size(), rate, rules, why, sizeof why)) {}
  ~Module() { bfxm_free(m); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  bfxm_module* m;
  char why[128] = "";
};

// Renders the song's next frames, from where the module stands, mixing the channels of the mask,
// into the writer; the song goes round as often as the frames ask.
bool renderTo(WavWriter& wav, bfxm_module* m, int64_t frames, uint32_t mask) {
  bfxm_set_loop(m, 1);
  bfxm_set_channel_mask(m, mask);
  // Large pieces: the writer sends each to the file in one call.
  constexpr int64_t kPiece = 65536;
  std::vector<int16_t> block(2 * kPiece);
  for (int64_t done = 0; done < frames;) {
    const size_t n = bfxm_render(m, block.data(), static_cast<size_t>(std::min(kPiece, frames - done)));
    if (!wav.write(block.data(), static_cast<int64_t>(n))) return false;
    done += static_cast<int64_t>(n);
  }
  return true;
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

// The song's structure; the duration is one pass at 44100 Hz.
void printInfo(const Song& song, int64_t frames) {
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
  std::printf("duration: %s (one pass%s)\n", minutesAndSeconds(frames, 44100).c_str(),
              frames >= int64_t{OfflineRenderer::kMaxPassSeconds} * 44100 ? ", cut at 10 minutes" : "");
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

// One WAV per channel of the mask and the mix of them all, each the same length, each rendered
// from the song's start.
int renderStems(const std::vector<uint8_t>& image, const char* rules, int32_t rate, int64_t frames, int channels,
                const std::string& dir, uint32_t mask) {
  if (!makeFolders(dir)) return fail("--stems: cannot make folder " + dir + ": " + std::strerror(errno));
  auto renderFile = [&](const std::string& path, uint32_t heard) {
    const Module module(image, rules, rate);
    FILE* file = module.m ? std::fopen(path.c_str(), "wb") : nullptr;
    if (!file) return false;
    WavWriter wav(file, rate, frames);
    return renderTo(wav, module.m, frames, heard) && wav.finish();
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
  const int32_t r = static_cast<int32_t>(rate);
  const Module module(image, rules, info ? 44100 : r);
  if (!module.m) return fail(std::string(in) + ": not a module this player can play: " + module.why);
  const Song* song = &songOf(module.m);
  bool refuse = false;
  const std::string damage = damageMessage(*song, refuse);
  if (info) {
    printInfo(*song, bfxm_pass_frames(module.m));
    if (!damage.empty()) std::printf("damaged: %s\n", damage.c_str());
    return 0;
  }
  if (refuse) return fail(std::string(in) + ": " + damage);
  if (!damage.empty()) std::fprintf(stderr, "xmrender: warning: %s: %s\n", in, damage.c_str());
  if (channelsGiven) {
    const std::string beyond = channelsBeyond(mask, song->channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  const int64_t frames = seconds > 0 ? static_cast<int64_t>(std::llround(seconds * rate)) : bfxm_pass_frames(module.m);
  if (stems) return renderStems(image, rules, r, frames, song->channelCount, stems, mask);
  const bool toStandardOutput = !std::strcmp(out, "-");
  // As gzip and cjpeg do: sound data is no text for a terminal.
  if (toStandardOutput && isatty(fileno(stdout))) return fail("standard output is a terminal: redirect it or name a file");
  FILE* file = toStandardOutput ? stdout : std::fopen(out, "wb");
  if (!file) return fail(cannotWrite(out));
  // A pipe cannot be sought back to, so the sizes go first: the length is known before rendering.
  WavWriter wav(file, static_cast<int>(rate), frames);
  if (!renderTo(wav, module.m, frames, mask) || !wav.finish())
    return fail(cannotWrite(toStandardOutput ? "standard output" : out));
  return 0;
}
