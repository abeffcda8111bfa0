#include "Soundtrack.h"

#include <cmath>
#include <cstdio>

#include "Base/Resource.h"
#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/XMLoader.h"

Soundtrack::Soundtrack(int moduleResource, double fps, int32_t rate)
    : fps(fps), rate(rate), blockFrames(((rate * 20 / 1000) + 3) & ~3) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, static_cast<uint16_t>(moduleResource), "sound");
  if (!bytes) return;
  song = loadModuleImage(static_cast<const uint8_t*>(bytes), size);
  if (song) renderer = std::make_unique<OfflineRenderer>(*song, rate);
}

Soundtrack::~Soundtrack() {
  renderer.reset();
  if (song) releaseSong(song);
}

void Soundtrack::renderFrame(int64_t k) {
  auto sampleAt = [&](int64_t frame) { return static_cast<int64_t>(std::floor(static_cast<double>(frame) * rate / fps)); };
  const int64_t want = sampleAt(k + 1) - sampleAt(k);
  if (!renderer) {
    interleaved.resize(interleaved.size() + static_cast<size_t>(want) * 2, 0);
    return;
  }
  // The renderer hands out whole blocks; what a frame does not take waits for the next one.
  while (static_cast<int64_t>(pending.size() / 2) < want) {
    const std::vector<int16_t> block = renderer->render(blockFrames);
    pending.insert(pending.end(), block.begin(), block.end());
  }
  interleaved.insert(interleaved.end(), pending.begin(), pending.begin() + want * 2);
  pending.erase(pending.begin(), pending.begin() + want * 2);
}

bool Soundtrack::writeWav(const std::string& path) const { return writeWavFile(path, interleaved, rate); }

bool writeWavFile(const std::string& path, const std::vector<int16_t>& interleaved, int32_t rate) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * 2);
  uint8_t header[44];
  auto put = [&](int at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto text = [&](int at, const char* s) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(s[i]);
  };
  text(0, "RIFF");
  put(4, 36 + dataBytes, 4);
  text(8, "WAVE");
  text(12, "fmt ");
  put(16, 16, 4);
  put(20, 1, 2);  // PCM
  put(22, 2, 2);
  put(24, static_cast<uint32_t>(rate), 4);
  put(28, static_cast<uint32_t>(rate) * 4, 4);
  put(32, 4, 2);
  put(34, 16, 2);
  text(36, "data");
  put(40, dataBytes, 4);
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<uint8_t> bytes(interleaved.size() * 2);
  for (size_t i = 0; i < interleaved.size(); ++i) {
    const auto v = static_cast<uint16_t>(interleaved[i]);
    bytes[2 * i] = static_cast<uint8_t>(v);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && ok;
  return std::fclose(f) == 0 && ok;
}
