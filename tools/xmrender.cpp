// xmrender: renders an XM module to a 16-bit stereo WAV through the player's own block fill,
// offline and deterministic; --info prints the module's structure.
#include <algorithm>
#include <bit>
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

void le16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
void le32(uint8_t* at, uint32_t v) {
  le16(at, v & 0xFFFF);
  le16(at + 2, v >> 16);
}

// A 16-bit stereo WAV file written as the frames come: the player renders a ring's worth at a
// time, which goes straight to the file, so memory stays flat however long the song. The sizes
// in the header are filled in at the end.
class WavWriter {
 public:
  WavWriter(const char* path, int rate) : file_(std::fopen(path, "wb")) {
    if (!file_) return;
    // The chunks are large already; stdio's buffer would only copy them once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    le32(header + 16, 16);
    le16(header + 20, 1);  // PCM
    le16(header + 22, 2);
    le32(header + 24, static_cast<uint32_t>(rate));
    le32(header + 28, static_cast<uint32_t>(rate) * 4);
    le16(header + 32, 4);
    le16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    ok_ = std::fwrite(header, 1, sizeof header, file_) == sizeof header;
  }
  ~WavWriter() {
    if (file_) std::fclose(file_);
  }
  bool write(const int16_t* frames, int64_t count) {
    if (!ok_ || count <= 0) return ok_;
    const size_t values = static_cast<size_t>(count) * 2;
    if constexpr (std::endian::native == std::endian::little) {
      ok_ = std::fwrite(frames, 2, values, file_) == values;
    } else {
      bytes_.resize(values * 2);
      for (size_t i = 0; i < values; ++i) le16(&bytes_[2 * i], static_cast<uint16_t>(frames[i]));
      ok_ = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) == bytes_.size();
    }
    dataBytes_ += values * 2;
    return ok_;
  }
  bool finish() {
    if (!file_) return false;
    uint8_t size[4];
    le32(size, static_cast<uint32_t>(36 + dataBytes_));
    ok_ = ok_ && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    le32(size, static_cast<uint32_t>(dataBytes_));
    ok_ = ok_ && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok_ && closed;
  }

 private:
  FILE* file_;
  bool ok_ = false;
  uint64_t dataBytes_ = 0;
  std::vector<uint8_t> bytes_;
};

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
  WavWriter wav(out, static_cast<int>(rate));
  const bool rendered = renderTo(wav, *song, static_cast<int32_t>(rate),
                                 seconds > 0 ? static_cast<int64_t>(std::llround(seconds * rate)) : -1);
  releaseSong(song);
  if (!rendered || !wav.finish()) return fail(std::string("cannot write ") + out);
  return 0;
}
