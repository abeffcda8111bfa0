#include "Soundtrack.h"

#include <cmath>

#include "Base/Resource.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"

// The intro's module by the intro's rules straight through the engine, not the library's C
// interface: the program then carries no other format or rule set than the one it plays.
Soundtrack::Soundtrack(int moduleResource, double fps, const std::string& wavPath, int32_t rate)
    : fps(fps), rate(rate), wav(wavPath.c_str(), rate) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, static_cast<uint16_t>(moduleResource), "sound");
  if (!bytes) return;
  song = loadModule(static_cast<const uint8_t*>(bytes), size, &intro::kRules, nullptr);
  if (song) renderer = std::make_unique<OfflineRenderer>(*song, rate);
}

Soundtrack::~Soundtrack() = default;

bool Soundtrack::renderFrame(int64_t k) {
  auto sampleAt = [&](int64_t frame) { return static_cast<int64_t>(std::floor(static_cast<double>(frame) * rate / fps)); };
  const int64_t want = sampleAt(k + 1) - sampleAt(k);
  if (!renderer) {
    pending.assign(static_cast<size_t>(want) * 2, 0);
    return wav.write(pending.data(), want);
  }
  // The renderer hands out whole blocks; what a frame does not take waits for the next one.
  while (static_cast<int64_t>(pending.size() / 2) < want) {
    const OfflineRenderer::Chunk chunk = renderer->renderChunk();
    pending.insert(pending.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  const bool written = wav.write(pending.data(), want);
  pending.erase(pending.begin(), pending.begin() + want * 2);
  return written;
}
