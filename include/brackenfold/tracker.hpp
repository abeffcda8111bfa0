/* brackenfold tracker for C++: one class owning a module over the C interface (tracker.h), which
   states every call's limits. Loading throws bft::Error with the library's one-line reason; the
   other calls return what the C calls return. Header only, C++17.

   MIT licence: Copyright (c) 2026 The Brackenfold developers; the full text is in LICENSE. */
#ifndef BRACKENFOLD_TRACKER_HPP
#define BRACKENFOLD_TRACKER_HPP

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "brackenfold/tracker.h"

namespace bft {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Module {
 public:
  // rules: "" for the format's own.
  Module(const void* data, std::size_t size, int rate = 44100, const std::string& rules = "") {
    char why[256] = "";
    module_ = bft_load(data, size, rate, rules.empty() ? nullptr : rules.c_str(), why, sizeof why);
    if (!module_) throw Error(why);
  }
  explicit Module(const std::vector<std::uint8_t>& bytes, int rate = 44100, const std::string& rules = "")
      : Module(bytes.data(), bytes.size(), rate, rules) {}
  ~Module() { bft_free(module_); }
  Module(Module&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  Module& operator=(Module&& other) noexcept {
    if (this != &other) {
      bft_free(module_);
      module_ = std::exchange(other.module_, nullptr);
    }
    return *this;
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Frames into frames (2 * count values); fewer at the end.
  std::size_t render(std::int16_t* frames, std::size_t count) { return bft_render(module_, frames, count); }
  std::size_t render(float* frames, std::size_t count) { return bft_render_float(module_, frames, count); }
  std::vector<std::int16_t> render(std::size_t count) {
    std::vector<std::int16_t> frames(2 * count);
    frames.resize(2 * bft_render(module_, frames.data(), count));
    return frames;
  }

  bool seek(double seconds) { return bft_seek_time(module_, seconds) == 0; }
  bool seekFrame(std::int64_t frame) { return bft_seek_frame(module_, frame) == 0; }
  bool seekRow(int order, int row) { return bft_seek_row(module_, order, row) == 0; }
  bool setRepeat(int count) { return bft_set_repeat(module_, count) == 0; }
  double duration() const { return bft_duration(module_); }
  std::int64_t passFrames() const { return bft_pass_frames(module_); }
  double timeOf(int order, int row) const { return bft_time_of(module_, order, row); }
  std::pair<int, int> position() const {
    int order = 0, row = 0;
    bft_position(module_, &order, &row);
    return {order, row};
  }

  std::string title() const { return bft_title(module_); }
  std::string tracker() const { return bft_tracker(module_); }
  std::string format() const { return bft_format(module_); }
  std::string rules() const { return bft_rules(module_); }
  std::string message() const { return bft_message(module_); }
  int channels() const { return bft_channels(module_); }
  int orders() const { return bft_orders(module_); }
  int patterns() const { return bft_patterns(module_); }
  std::vector<std::string> instrumentNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < bft_instruments(module_); ++i) names.emplace_back(bft_instrument_name(module_, i));
    return names;
  }
  std::vector<std::string> sampleNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < bft_samples(module_); ++i) names.emplace_back(bft_sample_name(module_, i));
    return names;
  }
  // An empty text for a place outside the song.
  std::string cellText(int pattern, int row, int channel) const {
    char text[32] = "";
    return bft_pattern_cell_text(module_, pattern, row, channel, text, sizeof text) < 0 ? std::string() : text;
  }
  bft_channel_state channelState(int channel) const {
    bft_channel_state state{};
    bft_get_channel_state(module_, channel, &state);
    return state;
  }

  bool mute(int channel, bool muted = true) { return bft_set_mute(module_, channel, muted) == 0; }
  bool solo(int channel, bool soloed = true) { return bft_set_solo(module_, channel, soloed) == 0; }
  bool setInterpolation(int mode) { return bft_set_interpolation(module_, mode) == 0; }
  bool setGain(double decibels) { return bft_set_gain(module_, decibels) == 0; }

  // For the calls this class does not wrap.
  bft_module* get() const { return module_; }

 private:
  bft_module* module_ = nullptr;
};

// The format of some first bytes ("XM", "MOD", "S3M", "IT"), "" for none.
inline std::string probe(const void* data, std::size_t size) {
  const char* name = bft_probe(data, size);
  return name ? name : "";
}

}  // namespace bft

#endif
