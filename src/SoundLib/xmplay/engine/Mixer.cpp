// The software mixer: every voice a call's frames (VoiceSegments.h; filtered ones up to four
// together, FilteredVoices.h), each into the mix or, where its channel is measured or unheard, a
// scratch of its own; then the block fill, which calls the song's tick function on its exact
// frames, and the conversion to 16 bits.
#include "SoundLib/xmplay/engine/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "SoundLib/xmplay/engine/FilteredVoices.h"
#include "SoundLib/xmplay/engine/VoiceSegments.h"

using mixing::kGroup;
using mixing::mixChannel;
using mixing::mixGroup;

namespace {
// to[k] += from[k] for n values: the same sums, four at a time where the machine has them.
void addTo(float* to, const float* from, size_t n) {
  size_t k = 0;
#if defined(__SSE2__)
  for (; k + 4 <= n; k += 4) _mm_storeu_ps(to + k, _mm_add_ps(_mm_loadu_ps(to + k), _mm_loadu_ps(from + k)));
#endif
  for (; k < n; ++k) to[k] += from[k];
}

// The peak of count stereo frames, each side, raised into peaks; with to, the frames are added
// into it on the way (the same sums as addTo).
void raisePeaks(const float* frames, int32_t count, float* peaks, float* to = nullptr) {
  float l = peaks[0], r = peaks[1];
  int32_t i = 0;
#if defined(__SSE2__)
  // Two frames a step (left, right, left, right); a NaN leaves the peak as it was, as std::max.
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 m = _mm_setzero_ps();
  for (; i + 2 <= count; i += 2) {
    const __m128 v = _mm_loadu_ps(frames + 2 * i);
    if (to) _mm_storeu_ps(to + 2 * i, _mm_add_ps(_mm_loadu_ps(to + 2 * i), v));
    m = _mm_max_ps(_mm_and_ps(v, magnitude), m);
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, m);
  l = std::max({l, lanes[0], lanes[2]});
  r = std::max({r, lanes[1], lanes[3]});
#endif
  for (; i < count; ++i) {
    if (to) {
      to[2 * i] += frames[2 * i];
      to[2 * i + 1] += frames[2 * i + 1];
    }
    l = std::max(l, std::fabs(frames[2 * i]));
    r = std::max(r, std::fabs(frames[2 * i + 1]));
  }
  peaks[0] = l;
  peaks[1] = r;
}
}  // namespace

void mix(XMPlayer& player, float* destination, int32_t count) {
  if (count < 1) return;
  const bool metered = player.channelPeaks != nullptr;
  if ((metered || player.unheardMask) && !player.voiceScratch) {
    player.voiceScratch.reset(new float[2 * static_cast<size_t>(player.blockLength)]);
    player.channelScratch.reset(new float[2 * static_cast<size_t>(player.blockLength) * kChannelVoices]);
  }
  // Measured, a channel of one voice this call takes its peaks from the voice's own frames; one
  // of several, from their sum in its scratch.
  uint8_t voices[kChannelVoices] = {};
  if (metered)
    for (int i = 0; i < player.voiceCount; ++i) {
      const MixerChannel& c = player.mixer[i];
      if (c.sample && player.channelMask >> c.channel & 1) ++voices[c.channel & (kChannelVoices - 1)];
    }
  // Filtered voices of mono samples next to each other among those mixed go in groups of up to
  // kGroup (mixGroup), in their first voice's turn: straight into the mix where it is heard and
  // not measured, else each into a scratch of its own that stands for its frames in its turn.
  const bool linear = player.interpolation == Interpolation::kLinear;
  const auto mixed = [&player](const MixerChannel& c) { return c.sample && player.channelMask >> c.channel & 1; };
  const auto groupable = [linear](const MixerChannel& c) { return linear && c.filter.on && !c.sample->stereo; };
  int group[kGroup], groupSize = 0, groupNext = 0;  // the voices of the group under way, those done
  bool direct = false;
  uint64_t touched = 0;  // channels whose scratch holds this call's frames
  const size_t values = 2 * static_cast<size_t>(count);
  for (int i = 0; i < player.voiceCount; ++i) {
    MixerChannel& c = player.mixer[i];
    const bool heard = !(player.unheardMask >> c.channel & 1);
    // Alone into zeros, the voice's frames are exactly what it adds to the mix, which then gets
    // them by the same one addition a frame: the same sums as mixing it in directly.
    float* own;
    if (groupNext < groupSize && group[groupNext] == i) {
      // A later voice of the group (which may have ended there).
      if (direct) {
        ++groupNext;
        continue;
      }
      own = player.groupScratch.get() + 2 * static_cast<size_t>(player.blockLength) * groupNext++;
    } else {
      if (!mixed(c)) continue;
      groupSize = groupNext = 0;
      if (groupable(c)) {
        group[groupSize++] = i;
        direct = !metered && heard;
        for (int j = i + 1; j < player.voiceCount && groupSize < kGroup; ++j) {
          const MixerChannel& d = player.mixer[j];
          if (!mixed(d)) continue;
          if (!groupable(d)) break;
          group[groupSize++] = j;
          direct = direct && !(player.unheardMask >> d.channel & 1);
        }
        if (groupSize == 1) groupSize = 0;  // one alone is mixed as any other
      }
      if (groupSize) {
        if (!player.groupScratch) player.groupScratch.reset(new float[2 * kGroup * static_cast<size_t>(player.blockLength)]);
        MixerChannel* voices[kGroup];
        float* outs[kGroup];
        for (int k = 0; k < groupSize; ++k) {
          voices[k] = &player.mixer[group[k]];
          outs[k] = direct ? destination : player.groupScratch.get() + 2 * static_cast<size_t>(player.blockLength) * k;
          if (!direct) std::memset(outs[k], 0, sizeof(float) * values);
        }
        mixGroup(player, voices, outs, groupSize, count);
        groupNext = 1;
        if (direct) continue;
        own = outs[0];
      } else if (!metered && heard) {
        mixChannel(player, c, destination, count);
        continue;
      } else {
        own = player.voiceScratch.get();
        std::memset(own, 0, sizeof(float) * values);
        mixChannel(player, c, own, count);
      }
    }
    if (!metered) {
      if (heard) addTo(destination, own, values);
      continue;
    }
    const int channel = c.channel & (kChannelVoices - 1);
    if (voices[channel] == 1) {
      raisePeaks(own, count, player.channelPeaks + 2 * channel, heard ? destination : nullptr);
      continue;
    }
    if (heard) addTo(destination, own, values);
    float* sum = player.channelScratch.get() + static_cast<size_t>(channel) * 2 * player.blockLength;
    if (!(touched >> channel & 1)) {
      std::memcpy(sum, own, sizeof(float) * values);
      touched |= uint64_t{1} << channel;
    } else {
      addTo(sum, own, values);
    }
  }
  for (int channel = 0; channel < kChannelVoices; ++channel)
    if (touched >> channel & 1)
      raisePeaks(player.channelScratch.get() + static_cast<size_t>(channel) * 2 * player.blockLength, count,
                 player.channelPeaks + 2 * channel);
}

namespace {
// Rounding is the same on every path: the widest is taken.
const MixerKernels& rounding() {
  static const MixerKernels* const kernels = mixerKernels(widestMixerPath());
  return *kernels;
}
}  // namespace

uint64_t convert(int16_t* destination, const float* source, int32_t count) {
  return rounding().round(destination, source, count);
}

uint64_t countClipped(const float* source, int32_t count) {
  uint64_t clipped = 0;
  for (int32_t i = 0; i < 2 * count; ++i)
    clipped += source[i] >= mixer_kernels::kClipsAbove || source[i] < mixer_kernels::kClipsBelow;
  return clipped;
}

uint64_t convertScaled(int16_t* destination, const float* source, int32_t count, float gain) {
  if (gain == 1) return convert(destination, source, count);
  float scaled[512];
  uint64_t clipped = 0;
  for (int32_t done = 0; done < 2 * count;) {
    const int32_t n = std::min<int32_t>(512, 2 * count - done);
    for (int32_t i = 0; i < n; ++i) scaled[i] = source[done + i] * gain;
    clipped += convert(destination + done, scaled, n / 2);
    done += n;
  }
  return clipped;
}

uint64_t clippedSamples(const float* source, int32_t count, float gain) {
  if (gain == 1) return countClipped(source, count);
  float scaled[512];
  uint64_t clipped = 0;
  for (int32_t done = 0; done < 2 * count;) {
    const int32_t n = std::min<int32_t>(512, 2 * count - done);
    for (int32_t i = 0; i < n; ++i) scaled[i] = source[done + i] * gain;
    clipped += countClipped(scaled, n / 2);
    done += n;
  }
  return clipped;
}

void fillBlock(XMPlayer& player) {
  Song& song = *player.song;
  const int32_t b = player.blockLength;
  const int32_t block = player.blockIndex;
  float* place = player.mixBuffer + static_cast<size_t>(block) * b * 2;
  float* const blockStart = place;
  std::memset(place, 0, sizeof(float) * 2 * static_cast<size_t>(b));
  if (player.channelPeaks) std::fill(player.channelPeaks, player.channelPeaks + 2 * kChannelVoices, 0.0f);
  int32_t countdown = song.samplesLeftInTick;
  int32_t done = 0;
  while (done < b) {
    if (countdown <= 0) {
      song.tickFunction(player, song);
      countdown = song.samplesPerTick;
    }
    const int32_t n = std::min(countdown, b - done);
    mix(player, place, n);
    place += 2 * n;
    done += n;
    countdown -= n;
  }
  song.samplesLeftInTick = countdown;
  if (player.roundsOutput) convert(player.output.get() + static_cast<size_t>(block) * b * 2, blockStart, b);
  player.blockIndex = block + 1 >= player.ringLength / b ? 0 : block + 1;
}
