// libFuzzer target for the library as embedders use it: any byte string given to bft_load and,
// if it loads, rendered through bft_render for long enough that looped samples cross their loop
// ends many times: a short sample at a low note needs seconds to reach its end once, and a
// miscount at a boundary shows only at some phases of the position against the step. Along the
// way the song is asked where it is, sought, looped, muted, spread and rendered as floats. The
// input's last byte picks the rule set (or the format's own, the only one S3M plays by) and the
// output rate, so the steps vary too; the lower rates are cheap, which keeps every run well
// inside the fuzzer's time limit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brackenfold/tracker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[size - 1];
  static const int kRates[4] = {44100, 8000, 22050, 11025};
  const int rate = kRates[pick & 3];
  char why[64];
  static const char* const kRules[4] = {nullptr, "ft2", "intro", "pt"};
  bft_module* m = bft_load(data, size, rate, kRules[pick >> 2 & 3], why, sizeof why);
  if (!m) return 0;
  bft_title(m);
  bft_tracker(m);
  bft_set_loop(m, pick & 16);
  if (pick & 32) bft_set_gain(m, 12);
  bft_set_separation(m, pick & 64 ? 100 : 0);
  constexpr int kSeconds = 20;
  std::vector<int16_t> frames(2 * 4096);
  std::vector<float> floats(2 * 512);
  int64_t done = 0;
  for (int round = 0; done < int64_t{kSeconds} * rate; ++round) {
    const size_t n = bft_render(m, frames.data(), 4096);
    if (n == 0) break;
    done += static_cast<int64_t>(n);
    int order = 0, row = 0;
    bft_position(m, &order, &row);
    if (round % 16 == 5) bft_render_float(m, floats.data(), 512);
    if (round % 32 == 7) bft_set_channel_mask(m, 0x5555u << (round & 1));
    if (round % 64 == 33) bft_seek_order(m, (order + 1) % bft_orders(m));
  }
  bft_free(m);
  return 0;
}
