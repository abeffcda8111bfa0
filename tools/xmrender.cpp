// xmrender: renders an XM module to a 16-bit stereo WAV through the player's own block fill,
// offline and deterministic; --info prints the module's structure.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FileBytes.h"

#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/StreamCallbacks.h"
#include "SoundLib/xmplay/XMLoader.h"

namespace {
const char kUsage[] =
    "usage: xmrender IN.xm OUT.wav [--seconds S] [--rate R]\n"
    "       xmrender --info IN.xm\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "xmrender: %s\n", message.c_str());
  return 2;
}

void put16(FILE* f, uint32_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}
void put32(FILE* f, uint32_t v) {
  put16(f, v & 0xFFFF);
  put16(f, v >> 16);
}

bool writeWav(const char* path, const std::vector<int16_t>& frames, int rate) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(frames.size() * 2);
  std::fwrite("RIFF", 1, 4, f);
  put32(f, 36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(f, 16);
  put16(f, 1);  // PCM
  put16(f, 2);
  put32(f, static_cast<uint32_t>(rate));
  put32(f, static_cast<uint32_t>(rate) * 4);
  put16(f, 4);
  put16(f, 16);
  std::fwrite("data", 1, 4, f);
  put32(f, dataBytes);
  std::vector<uint8_t> bytes(frames.size() * 2);
  for (size_t i = 0; i < frames.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(frames[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(frames[i]) >> 8);
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

const char* loopName(uint8_t mode) {
  switch (mode) {
    case kLoopForward: return "forward";
    case kLoopPingPong: return "ping-pong";
    default: return "none";
  }
}

void printInfo(const Song& song) {
  std::printf("channels: %d\n", song.channelCount);
  std::printf("song length: %d\n", song.songLength);
  std::printf("restart position: %d\n", song.restartPosition);
  std::printf("patterns: %d in file, %d used, %d allocated\n", song.filePatternCount, song.usedPatternCount,
              song.allocatedPatternCount);
  std::printf("frequencies: %s\n", song.flags & 1 ? "linear" : "amiga");
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
  const bool info = argc == 3 && !std::strcmp(argv[1], "--info");
  const char* in = nullptr;
  const char* out = nullptr;
  double seconds = 0, rate = 44100;
  if (info) {
    in = argv[2];
  } else {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--seconds" || arg == "--rate") {
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
    if (!in || !out) {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  std::vector<uint8_t> image;
  if (!readFileBytes(in, image)) return fail(std::string("cannot read ") + in);
  Song* song = loadModuleImage(image.data(), image.size());
  if (!song) return fail(std::string(in) + ": not a module this player can play");
  if (info) {
    printInfo(*song);
    releaseSong(song);
    return 0;
  }
  std::vector<int16_t> frames;
  {
    OfflineRenderer renderer(*song, static_cast<int32_t>(rate));
    frames = seconds > 0 ? renderer.render(static_cast<int64_t>(std::llround(seconds * rate))) : renderer.renderOnePass();
  }
  releaseSong(song);
  if (!writeWav(out, frames, static_cast<int>(rate))) return fail(std::string("cannot write ") + out);
  return 0;
}
