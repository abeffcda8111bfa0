// libFuzzer target for the library as embedders use it: any byte string given to bft_load and,
// if it loads, rendered through bft_render for long enough that looped samples cross their loop
// ends many times: a short sample at a low note needs seconds to reach its end once, and a
// miscount at a boundary shows only at some phases of the position against the step. Along the
// way the song is asked where it is, sought (to orders, times and rows), looped and repeated,
// muted and soloed, spread, read by every interpolation and rendered as floats; its names,
// cells and channel states are read as a display would. The
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
  bft_probe(data, size);
  bft_message(m);
  for (int i = 0; i < bft_instruments(m); ++i) bft_instrument_name(m, i);
  for (int i = 0; i < bft_samples(m); ++i) bft_sample_name(m, i);
  char text[8];
  bft_cell cell;
  for (int p = 0; p < bft_patterns(m); ++p)
    for (int c = 0; c < bft_channels(m); ++c) {
      bft_pattern_cell(m, p, bft_pattern_rows(m, p) - 1, c, &cell);
      bft_pattern_cell_text(m, p, 0, c, text, sizeof text);
    }
  for (int o = 0; o < bft_orders(m); ++o) bft_order_pattern(m, o);
  bft_set_loop(m, pick & 16);
  if (pick & 128) bft_set_repeat(m, 2);
  bft_set_interpolation(m, pick >> 5 & 3);
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
    bft_channel_state state;
    bft_get_channel_state(m, round % bft_channels(m), &state);
    if (round % 16 == 9) bft_set_mute(m, round % bft_channels(m), round & 32);
    if (round % 64 == 17) bft_set_solo(m, (round / 64) % bft_channels(m), 1);
    // Back into the first pass by time and by row, where the states kept at order starts are used
    // (in passes short enough that a seek ahead, played silently, stays cheap).
    if (round % 64 == 41 && bft_duration(m) < 30) bft_seek_time(m, bft_duration(m) * ((round / 64) % 4) / 4);
    if (round % 64 == 57) bft_seek_row(m, order, row / 2);
  }
  bft_free(m);
  return 0;
}
