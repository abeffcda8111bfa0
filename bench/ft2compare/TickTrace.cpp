#include "TickTrace.h"

#include <libopenmpt/libopenmpt.h>
#include <libopenmpt/libopenmpt_ext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/formats/XMReader.h"

namespace {
double rms(const float* frames, int64_t from, int64_t to, int side) {
  double sum = 0;
  for (int64_t i = from; i < to; ++i) sum += double{frames[2 * i + side]} * frames[2 * i + side];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}
}  // namespace

// The pitch from the upward zero crossings of both sides' sum, where they come at regular
// intervals (a tone, not noise); the levels over whole cycles ending at the tick's last crossing,
// so that where a cycle starts does not change them, and late in the tick, where a volume change
// ramped across it has arrived. Crossings are looked for from an eighth of the tick on, and not
// within its first 5 ms, where a start or a cut is still ramping.
ChannelTick measureTick(const float* frames, int64_t count, int32_t rate) {
  ChannelTick t;
  std::vector<double> crossings;
  double previous = 0;
  const int64_t first = std::min<int64_t>(std::max<int64_t>(count / 8, rate / 200 + 1), count / 2);
  for (int64_t i = first; i < count; ++i) {
    const double x = double{frames[2 * i]} + frames[2 * i + 1];
    if (i > first && previous < 0 && x >= 0) crossings.push_back(static_cast<double>(i - 1) + previous / (previous - x));
    previous = x;
  }
  int64_t from = count / 2, to = count;
  t.offset = crossings.empty();
  if (crossings.size() >= 2) {
    const double span = crossings.back() - crossings.front();
    const double cycle = span / static_cast<double>(crossings.size() - 1);
    bool regular = crossings.size() >= 4;
    for (size_t k = 1; k < crossings.size() && regular; ++k)
      regular = std::abs(crossings[k] - crossings[k - 1] - cycle) < 0.03 * cycle;
    if (regular) t.pitch = static_cast<float>(rate / cycle);
    to = static_cast<int64_t>(crossings.back());
    size_t k = 0;
    while (k + 1 < crossings.size() && crossings[k] < static_cast<double>(count) / 2 &&
           crossings.back() - crossings[k + 1] >= cycle * 0.99)
      ++k;
    from = static_cast<int64_t>(crossings[k]);
    if (to - from < 8) from = count / 2, to = count;
  }
  t.left = static_cast<float>(rms(frames, from, to, 0));
  t.right = static_cast<float>(rms(frames, from, to, 1));
  return t;
}

TickTrace traceOurs(const std::vector<uint8_t>& image, int32_t rate, double seconds) {
  TickTrace trace;
  trace.rate = rate;
  LoadFailure failure;
  SongPtr song = loadModule(image.data(), image.size(), nullptr, &failure);
  if (!song) {
    trace.error = failure.text;
    return trace;
  }
  XMPlayer player;
  configureOutput(player, rate);
  songStart(player, *song);
  player.song = song.get();
  const int channels = song->channelCount;
  trace.channels.resize(static_cast<size_t>(channels));
  const int64_t total = static_cast<int64_t>(seconds * rate);
  std::vector<float> buffer;
  int64_t frame = 0;
  // ProTracker plays the tick that sets a tempo at the one before (libopenmpt says so too): the
  // tempo shown for it is the one it plays at.
  const bool tempoAfterTick = song->format && std::strcmp(song->format->name, "MOD") == 0;
  int32_t bpm = song->bpm;
  while (frame < total) {
    song->tickFunction(player, *song);
    trace.starts.push_back(frame);
    trace.positions.push_back({song->orderPosition, song->row, song->speed, tempoAfterTick ? bpm : song->bpm});
    bpm = song->bpm;
    const int32_t n = song->samplesPerTick;
    buffer.assign(static_cast<size_t>(n) * 2, 0.0f);
    for (int c = 0; c < channels; ++c) {
      std::fill(buffer.begin(), buffer.end(), 0.0f);
      player.channelMask = uint64_t{1} << c;
      mix(player, buffer.data(), n);
      for (float& v : buffer) v *= 1.0f / 32768;
      trace.channels[static_cast<size_t>(c)].push_back(measureTick(buffer.data(), n, rate));
    }
    frame += n;
  }
  trace.starts.push_back(frame);
  player.song = nullptr;
  return trace;
}

TickTrace traceOpenMPT(const std::vector<uint8_t>& image, const std::vector<int64_t>& starts, int32_t rate) {
  TickTrace trace;
  trace.rate = rate;
  trace.starts = starts;
  const size_t ticks = starts.empty() ? 0 : starts.size() - 1;
  int channels = -1;
  std::vector<float> buffer;
  for (int c = 0; c != channels; ++c) {
    int error = 0;
    openmpt_module_ext* ext = openmpt_module_ext_create_from_memory(image.data(), image.size(), nullptr, nullptr,
                                                                    nullptr, nullptr, &error, nullptr, nullptr);
    if (!ext) {
      trace.error = "libopenmpt refuses it";
      return trace;
    }
    openmpt_module* mod = openmpt_module_ext_get_module(ext);
    if (channels < 0) {
      channels = openmpt_module_get_num_channels(mod);
      trace.channels.resize(static_cast<size_t>(channels));
      if (channels == 0) {
        openmpt_module_ext_destroy(ext);
        break;
      }
    }
    openmpt_module_set_repeat_count(mod, -1);
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
    openmpt_module_ext_interface_interactive interactive{};
    openmpt_module_ext_get_interface(ext, LIBOPENMPT_EXT_C_INTERFACE_INTERACTIVE, &interactive, sizeof interactive);
    // The other channels at no volume rather than muted: a muted channel's commands go unplayed
    // in S3M (as a disabled one's), and its tempo and jumps with them.
    for (int k = 0; k < channels; ++k) interactive.set_channel_volume(ext, k, k == c ? 1.0 : 0.0);
    auto& out = trace.channels[static_cast<size_t>(c)];
    for (size_t t = 0; t < ticks; ++t) {
      const int64_t n = starts[t + 1] - starts[t];
      buffer.assign(static_cast<size_t>(n) * 2, 0.0f);
      int64_t got = 0;
      while (got < n) {
        const size_t r = openmpt_module_read_interleaved_float_stereo(mod, rate, static_cast<size_t>(n - got),
                                                                      buffer.data() + 2 * got);
        if (r == 0) break;
        got += static_cast<int64_t>(r);
      }
      if (c == 0)
        trace.positions.push_back({openmpt_module_get_current_order(mod), openmpt_module_get_current_row(mod),
                                   openmpt_module_get_current_speed(mod), openmpt_module_get_current_tempo(mod)});
      out.push_back(measureTick(buffer.data(), n, rate));
    }
    openmpt_module_ext_destroy(ext);
  }
  return trace;
}
