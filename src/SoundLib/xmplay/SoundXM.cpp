#include "SoundLib/xmplay/SoundXM.h"

#include "Base/LogFile.h"
#include "Base/Resource.h"
#include "SoundLib/xmplay/Player.h"
#include "SoundLib/xmplay/StreamCallbacks.h"
#include "SoundLib/xmplay/WaveOutput.h"
#include "SoundLib/xmplay/XMLoader.h"

bool SoundXM::init(int32_t rate, int32_t, int32_t mode) {
  fileMode = mode;
  installStreamCallbacks(fileMode ? kFileStreamCallbacks : kMemoryStreamCallbacks);
  return outputOpen(xmPlayer(), rate, *device);
}

bool SoundXM::load(const char* filename) {
  TAV_ASSERT(filename);
  song = createSong(filename, nullptr);
  return song != nullptr;
}

bool SoundXM::loadFromMemory(const void* data, int32_t length) {
  setMemoryStreamLength(length < 0 ? 0 : static_cast<uint32_t>(length));
  song = createSong(data, nullptr);
  return song != nullptr;
}

bool SoundXM::loadFromResource(uint16_t number, const char* type) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, number, type);
  return loadFromMemory(bytes, static_cast<int32_t>(size));
}

bool SoundXM::play() {
  Song* mod = song;
  TAV_ASSERT(mod);
  return ::play(xmPlayer(), mod);
}

bool SoundXM::stop() {
  Song* mod = song;
  TAV_ASSERT(mod);
  return ::stop(xmPlayer());
}

int32_t SoundXM::close() { return outputClose(xmPlayer()); }
