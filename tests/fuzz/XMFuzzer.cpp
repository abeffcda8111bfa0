// libFuzzer target: any byte string as a module image, loaded and, if it loads, rendered through
// the block fill for long enough that looped samples cross their loop ends many times: a short
// sample at a low note needs seconds to reach its end once, and a miscount at a boundary shows
// only at some phases of the position against the step. The input's last byte picks the rule
// set and the output rate, so the steps vary too; the lower rates are cheap, which keeps every
// run well inside the fuzzer's time limit.
#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/OfflineRenderer.h"
#include "SoundLib/xmplay/XMLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[size - 1];
  Song* song = loadModuleImage(data, size, pick & 4 ? ft2::kRules : intro::kRules);
  if (!song) return 0;
  static const int32_t kRates[4] = {44100, 8000, 22050, 11025};
  const int32_t rate = kRates[pick & 3];
  constexpr int kSeconds = 20;
  {
    OfflineRenderer renderer(*song, rate);
    renderer.render(int64_t{kSeconds} * rate);
  }
  releaseSong(song);
  return 0;
}
