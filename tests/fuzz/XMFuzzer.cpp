// libFuzzer target: any byte string as a module image, loaded and, if it loads, rendered for
// two seconds through the block fill.
#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/XMLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Song* song = loadModuleImage(data, size);
  if (!song) return 0;
  {
    OfflineRenderer renderer(*song, 44100);
    renderer.render(2 * 44100);
  }
  releaseSong(song);
  return 0;
}
