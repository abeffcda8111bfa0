// xmrender: renders an XM module to a 16-bit stereo WAV through the player's own block fill,
// offline and deterministic, by the FastTracker 2 rules or the intro's; --info prints the
// module's structure.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "RulesOption.h"

#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/StreamCallbacks.h"
#include "SoundLib/xmplay/WavWriter.h"
#include "SoundLib/xmplay/XMLoader.h"

namespace {
const char kUsage[] =
    "usage: xmrender IN.xm OUT.wav [--seconds S] [--rate R] [--rules ft2|intro]\n"
    "       xmrender --info IN.xm [--rules ft2|intro]\n"
    "  --rules ft2    play as FastTracker 2 does (the default)\n"
    "  --rules intro  play as the intro does: its own few effects, no envelopes\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "xmrender: %s\n", message.c_str());
  return 2;
}

// Renders the given number of frames, or one pass of the song (frames < 0: up to where the
// orders first come back, at most the renderer's cap), into the writer.
bool renderTo(WavWriter& wav, Song& song, int32_t rate, int64_t frames) {
  OfflineRenderer renderer(song, rate);
  const bool onePass = frames < 0;
  const int64_t limit = onePass ? int64_t{OfflineRenderer::kMaxPassSeconds} * rate : frames;
  int64_t done = 0;
  while (done < limit) {
    // One pass may end anywhere: a quarter of a second at a time renders little past its end.
    const int64_t want = onePass ? std::min<int64_t>(limit - done, rate / 4) : limit - done;
    const OfflineRenderer::Chunk chunk = renderer.renderChunk(want);
    int64_t n = std::min(chunk.count, limit - done);
    bool last = false;
    if (onePass && renderer.loopFrame() >= 0 && done + n >= renderer.loopFrame()) {
      n = std::max<int64_t>(0, renderer.loopFrame() - done);
      last = true;
    }
    if (!wav.write(chunk.frames, n)) return false;
    done += n;
    if (last) break;
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

void printInfo(const Song& song) {
  std::printf("format: %d.%02x, played by the %s rules\n", song.version >> 8, song.version & 0xFF,
              song.rules->title);
  std::printf("channels: %d\n", song.channelCount);
  std::printf("song length: %d\n", song.songLength);
  std::printf("restart position: %d\n", song.restartPosition);
  std::printf("patterns: %d in file, %d used, %d allocated\n", song.filePatternCount, song.usedPatternCount,
              song.allocatedPatternCount);
  std::printf("frequencies: %s\n", linearTable(song) ? "linear" : "amiga");
  std::printf("speed: %d, bpm: %d\n", song.defaultSpeed, song.defaultBPM);
  std::printf("instruments: %d\n", song.instrumentCount);
  for (int i = 0; i < song.instrumentCount; ++i) {
    const Instrument& ins = song.instruments[i];
    std::printf("instrument %d: %d samples, fadeout %u\n", i + 1, ins.sampleCount, ins.fadeout);
    for (int k = 0; k < ins.sampleCount; ++k) {
      const Sample& s = *ins.samples[k];
      std::printf(
          "  sample %d: length %u, loop %s, loop start %u, loop length %u, bits %d, volume %d, finetune %d, "
          "relative note %d\n",
          k, s.length, loopName(s.loopMode), s.loopStart, s.loopLength, s.bits, s.volume, s.finetune, s.relativeNote);
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
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  bool info = false;
  const char* in = nullptr;
  const char* out = nullptr;
  double seconds = 0, rate = 44100;
  const RuleSet* rules = &ft2::kRules;
  {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--info") {
        info = true;
      } else if (arg == "--rules") {
        if (i + 1 >= argc) return fail(arg + ": missing value");
        if (!rulesNamed(argv[++i], rules)) return fail(std::string("--rules: bad value ") + argv[i] + " (ft2 or intro)");
      } else if (arg == "--seconds" || arg == "--rate") {
        if (i + 1 >= argc) return fail(arg + ": missing value");
        double value = 0;
        if (arg == "--seconds" ? !parseNumber(argv[++i], 0.001, 3600, value)
                               : !parseNumber(argv[++i], 8000, 192000, value) || value != std::floor(value))
          return fail(arg + ": bad value " + argv[i]);
        (arg == "--seconds" ? seconds : rate) = value;
      } else if (arg.rfind("--", 0) == 0) {
        return fail("unknown option " + arg);
      } else if (!in) {
        in = argv[i];
      } else if (!out) {
        out = argv[i];
      } else {
        return fail("too many arguments");
      }
    }
    if (!in || (!out && !info) || (out && info)) {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  std::vector<uint8_t> image;
  if (!readFileBytes(in, image)) return fail(std::string("cannot read ") + in);
  Song* song = loadModuleImage(image.data(), image.size(), *rules);
  if (!song) return fail(std::string(in) + ": not a module this player can play");
  if (info) {
    printInfo(*song);
    releaseSong(song);
    return 0;
  }
  WavWriter wav(out, static_cast<int>(rate));
  const bool rendered = renderTo(wav, *song, static_cast<int32_t>(rate),
                                 seconds > 0 ? static_cast<int64_t>(std::llround(seconds * rate)) : -1);
  releaseSong(song);
  if (!rendered || !wav.finish()) return fail(std::string("cannot write ") + out);
  return 0;
}
