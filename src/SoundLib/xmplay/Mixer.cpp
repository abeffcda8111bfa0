#include "SoundLib/xmplay/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr float kFractionScale = 1.0f / 2147483648.0f;  // 2^-31

uint64_t positionOf(const MixerChannel& c) { return uint64_t{c.position} << 32 | c.positionFraction; }
void setPosition(MixerChannel& c, uint64_t p) {
  c.position = static_cast<uint32_t>(p >> 32);
  c.positionFraction = static_cast<uint32_t>(p);
}

// Frames until the loop boundary (the sample end when not looped). Computed in 64 bits for any
// distance, so that no step, however large, can carry a segment past the boundary.
int64_t framesToBoundary(const MixerChannel& c, uint64_t position, uint64_t step) {
  const Sample& s = *c.sample;
  const uint64_t loopEnd = uint64_t{s.loopStart + s.loopLength} << 32;
  const uint64_t loopStart = uint64_t{s.loopStart} << 32;
  uint64_t distance;
  if (c.direction == kBackward)
    distance = position > loopStart ? position - loopStart : 0;
  else
    distance = position < loopEnd ? loopEnd - position : 0;
  const uint64_t num = distance >> 8, den = step >> 8;
  if (den == 0) return -1;
  return static_cast<int64_t>((num + den - 1) / den);
}

// Renders n frames of one channel; returns the position after them. The levels stay in
// registers, and without a ramp two frames are done per pass.
template <bool kRamp, bool kBackward>
uint64_t render(float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step, float& left,
                float& right, float deltaLeft, float deltaRight) {
  auto sampleAt = [data](uint64_t p) {
    const uint32_t index = static_cast<uint32_t>(p >> 32);
    const float s0 = data[index];
    const float d = static_cast<float>(data[index + 1] - data[index]);
    return s0 + d * static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(p) >> 1)) * kFractionScale;
  };
  auto advance = [step](uint64_t p) { return kBackward ? p - step : p + step; };
  float l = left, r = right;
  int32_t i = 0;
  if (!kRamp) {
    for (; i + 1 < n; i += 2) {
      const float a = sampleAt(position);
      position = advance(position);
      const float b = sampleAt(position);
      position = advance(position);
      out[2 * i] += a * l;
      out[2 * i + 1] += a * r;
      out[2 * i + 2] += b * l;
      out[2 * i + 3] += b * r;
    }
  }
  for (; i < n; ++i) {
    const float s = sampleAt(position);
    out[2 * i] += s * l;
    out[2 * i + 1] += s * r;
    if (kRamp) {
      l += deltaLeft;
      r += deltaRight;
    }
    position = advance(position);
  }
  left = l;
  right = r;
  return position;
}

template <bool kRamp>
uint64_t renderEither(bool backward, float* out, int32_t n, const int16_t* data, uint64_t position, uint64_t step,
                      float& left, float& right, float deltaLeft, float deltaRight) {
  return backward ? render<kRamp, true>(out, n, data, position, step, left, right, deltaLeft, deltaRight)
                  : render<kRamp, false>(out, n, data, position, step, left, right, deltaLeft, deltaRight);
}

void setUpRamp(MixerChannel& c, int32_t rampLength, float reciprocal) {
  if (c.rampFramesLeft > 0 && c.leftTarget == c.rampLeftTarget && c.rightTarget == c.rampRightTarget) return;
  // A new target: whatever ran before ends here, and a side already at its target stays put.
  c.rampFramesLeft = 0;
  c.rampLeftDelta = c.rampRightDelta = 0;
  c.rampLeftTarget = c.leftTarget;
  c.rampRightTarget = c.rightTarget;
  const int32_t dl = c.leftTarget - (c.rampLeftLevel >> 8);
  const int32_t dr = c.rightTarget - (c.rampRightLevel >> 8);
  if (dl != 0) {
    c.rampLeftDelta = static_cast<float>(dl) * (1.0f / 255) * reciprocal;
    c.rampFramesLeft = rampLength;
  }
  if (dr != 0) {
    c.rampRightDelta = static_cast<float>(dr) * (1.0f / 255) * reciprocal;
    c.rampFramesLeft = rampLength;
  }
}

// Bounces a ping-pong position back into the loop; a step longer than the loop may need more
// than the two reflections the loop usually takes, so it is clamped into the loop at the end.
void reflect(MixerChannel& c, uint64_t& p) {
  const Sample& s = *c.sample;
  const uint64_t start = uint64_t{s.loopStart} << 32;
  const uint64_t end = uint64_t{s.loopStart + s.loopLength} << 32;
  int64_t q = static_cast<int64_t>(p);
  if (c.direction == kForward) {
    q = 2 * static_cast<int64_t>(end) - q - 1;
    c.direction = kBackward;
    if (q < static_cast<int64_t>(start)) {
      q = 2 * static_cast<int64_t>(start) - q - 1;
      c.direction = kForward;
    }
  } else {
    q = 2 * static_cast<int64_t>(start) - q - 1;
    c.direction = kForward;
    if (q >= static_cast<int64_t>(end)) {
      q = 2 * static_cast<int64_t>(end) - q - 1;
      c.direction = kBackward;
    }
  }
  q = std::clamp<int64_t>(q, static_cast<int64_t>(start), static_cast<int64_t>(end) - 1);
  p = static_cast<uint64_t>(q);
}

void mixChannel(XMPlayer& player, MixerChannel& c, float* out, int32_t count) {
  uint64_t position = positionOf(c);
  const uint64_t step = uint64_t{c.step} << 32 | c.stepFraction;
  while (count > 0 && c.sample) {
    const Sample& s = *c.sample;
    int32_t n = count;
    bool atBoundary = false;
    const int64_t toBoundary = framesToBoundary(c, position, step);
    if (toBoundary >= 0 && toBoundary <= n) {
      n = static_cast<int32_t>(toBoundary);
      atBoundary = true;
    }
    setUpRamp(c, player.rampLength, player.rampReciprocal);
    const bool ramp = c.rampFramesLeft > 0;
    bool rampShortened = false;
    if (ramp && c.rampFramesLeft < n) {
      n = c.rampFramesLeft;
      rampShortened = true;
      atBoundary = false;
    }
    const bool backward = c.direction == kBackward;
    if (ramp) {
      float left = static_cast<float>(c.rampLeftLevel) / 256 / 255;
      float right = static_cast<float>(c.rampRightLevel) / 256 / 255;
      position = renderEither<true>(backward, out, n, s.data, position, step, left, right, c.rampLeftDelta,
                                    c.rampRightDelta);
      c.rampLeftLevel = static_cast<int32_t>(std::lround(left * 255 * 256));
      c.rampRightLevel = static_cast<int32_t>(std::lround(right * 255 * 256));
      c.rampFramesLeft -= n;
      if (c.rampFramesLeft == 0) {
        c.rampLeftDelta = c.rampRightDelta = 0;
        c.rampLeftLevel = c.leftTarget * 256;
        c.rampRightLevel = c.rightTarget * 256;
      }
    } else if (c.leftTarget == 0 && c.rightTarget == 0) {
      // Silent (a voice that has faded out after a retrigger plays on like this): it would add
      // only zeros, so only its position moves.
      const uint64_t distance = step * static_cast<uint64_t>(n);
      position = backward ? position - distance : position + distance;
    } else {
      float left = static_cast<float>(c.leftTarget) / 255;
      float right = static_cast<float>(c.rightTarget) / 255;
      position = renderEither<false>(backward, out, n, s.data, position, step, left, right, 0, 0);
    }
    out += 2 * n;
    count -= n;
    if (rampShortened || !atBoundary) continue;

    const uint64_t loopEnd = uint64_t{s.loopStart + s.loopLength} << 32;
    const uint64_t loopLength = uint64_t{s.loopLength} << 32;
    switch (s.loopMode) {
      case kLoopForward:
        if (position >= loopEnd) {
          const uint64_t loopStart = uint64_t{s.loopStart} << 32;
          position = loopStart + (position - loopStart) % loopLength;
        }
        break;
      case kLoopPingPong:
        reflect(c, position);
        break;
      default:
        c.sample = nullptr;
        position = 0;
        break;
    }
  }
  setPosition(c, position);
}
}  // namespace

void mix(XMPlayer& player, float* destination, int32_t count) {
  if (count < 1) return;
  for (MixerChannel& c : player.mixer)
    if (c.sample) mixChannel(player, c, destination, count);
}

void convert(int16_t* destination, const float* source, int32_t count) {
  for (int32_t i = 0; i < 2 * count; ++i) {
    const long v = std::lrint(source[i]);
    destination[i] = static_cast<int16_t>(std::clamp<long>(v, -32768, 32767));
  }
}

void fillBlock(XMPlayer& player) {
  Song& song = *player.song;
  const int32_t b = player.blockLength;
  const int32_t block = player.blockIndex;
  float* place = player.mixBuffer + static_cast<size_t>(block) * b * 2;
  float* const blockStart = place;
  std::memset(place, 0, sizeof(float) * 2 * static_cast<size_t>(b));
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
  convert(player.output.get() + static_cast<size_t>(block) * b * 2, blockStart, b);
  player.blockIndex = block + 1 >= player.ringLength / b ? 0 : block + 1;
}
