#include "Soundtrack.h"

#include <cmath>

#include "Base/Resource.h"
#include "brackenfold/xmplay.h"

Soundtrack::Soundtrack(int moduleResource, double fps, const std::string& wavPath, int32_t rate)
    : fps(fps), rate(rate), wav(wavPath.c_str(), rate) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, static_cast<uint16_t>(moduleResource), "sound");
  if (!bytes) return;
  music = bfxm_load(bytes, size, rate, "intro", nullptr, 0);
  // The intro plays on as long as it runs: the song goes round.
  if (music) bfxm_set_loop(music, 1);
}

Soundtrack::~Soundtrack() { bfxm_free(music); }

bool Soundtrack::renderFrame(int64_t k) {
  auto sampleAt = [&](int64_t frame) { return static_cast<int64_t>(std::floor(static_cast<double>(frame) * rate / fps)); };
  const int64_t want = sampleAt(k + 1) - sampleAt(k);
  frames.assign(static_cast<size_t>(want) * 2, 0);
  if (music) bfxm_render(music, frames.data(), static_cast<size_t>(want));
  return wav.write(frames.data(), want);
}
