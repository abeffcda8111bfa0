#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Player.h"

// The voices' resonant low-pass filter as Impulse Tracker gives it: a two-pole filter whose cutoff
// frequency is 110 x 2^(0.25 + cutoff / 48) Hz for a cutoff of 0 to 255 (the tracker's 0 to 127
// doubled, the filter envelope moving it in between), and whose resonance of 0 to 127 damps by
// 10^(-resonance x 24 / 128 / 20) (up to about 24 dB of resonance).

struct FilterCoefficients {
  float a, b, c;  // y = a x + b y1 + c y2
};
// The coefficients for a cutoff and resonance at an output rate; the cutoff frequency stops at
// half the rate.
FilterCoefficients filterCoefficients(int cutoff, int resonance, int32_t rate);

// Filters the voice from its next frame, the coefficients worked out again only where the cutoff,
// the resonance or the rate differ from the last ones (cutoff 0..255, resonance 0..127; clamped).
void setVoiceFilter(MixerChannel& voice, int cutoff, int resonance, int32_t rate);
// The voice plays unfiltered from its next frame; the filter's memory is cleared.
void clearVoiceFilter(MixerChannel& voice);

// One frame of a side through a voice's filter (y = a x + b y1 + c y2), y1 and y2 its last two
// outputs. The last output's term is added last: the sum of the others waits on nothing.
inline float filterFrame(float a, float b, float c, float x, float& y1, float& y2) {
  const float y = a * x + c * y2 + b * y1;
  y2 = y1;
  y1 = y;
  return y;
}
inline float filterFrame(const VoiceFilter& f, float x, float& y1, float& y2) { return filterFrame(f.a, f.b, f.c, x, y1, y2); }

// A filter ringing down to nothing would go on in subnormal numbers, which cost many times more:
// once a call's frames of a voice are mixed, small values in its history become nothing.
void settleFilter(VoiceFilter& f);
