#include "SoundLib/xmplay/output/SoundXM.h"

#include "Base/LogFile.h"
#include "Base/Resource.h"
#include "SoundLib/xmplay/output/StreamLoad.h"
#include "SoundLib/xmplay/output/WaveOutput.h"

namespace {
// The reports name the checks as the engine's logs always have: this source without its
// extension and the lines of the checks in the original source, not wherever they sit here.
const char kReportedPath[] = "src/SoundLib/xmplay/SoundXM";
}  // namespace

bool SoundXM::init(int32_t rate, int32_t, int32_t mode) {
  fileMode = mode;
  installStreamCallbacks(fileMode ? kFileStreamCallbacks : kMemoryStreamCallbacks);
  return outputOpen(xmPlayer(), rate, *device);
}

bool SoundXM::load(const char* filename) {
  if (!filename) assertFailed("filename", kReportedPath, 145);
  song = createSong(filename, nullptr, *rules);
  return song != nullptr;
}

bool SoundXM::loadFromMemory(const void* data, int32_t length) {
  setMemoryStreamLength(length < 0 ? 0 : static_cast<uint32_t>(length));
  song = createSong(data, nullptr, *rules);
  return song != nullptr;
}

bool SoundXM::loadFromResource(uint16_t number, const char* type) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, number, type);
  return loadFromMemory(bytes, static_cast<int32_t>(size));
}

bool SoundXM::play() {
  if (!song) assertFailed("mod", kReportedPath, 179);
  return ::play(xmPlayer(), song);
}

bool SoundXM::stop() {
  if (!song) assertFailed("mod", kReportedPath, 190);
  return ::stop(xmPlayer());
}

int32_t SoundXM::close() { return outputClose(xmPlayer()); }
