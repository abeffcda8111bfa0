#include "SoundLib/xmplay/engine/Filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

FilterCoefficients filterCoefficients(int cutoff, int resonance, int32_t rate) {
  cutoff = std::clamp(cutoff, 0, 255);
  resonance = std::clamp(resonance, 0, 127);
  const double frequency = std::min(110.0 * std::exp2(0.25 + cutoff / 48.0), rate / 2.0);
  const double damping = std::pow(10.0, -(24.0 / 128.0) * resonance / 20.0);
  const double r = rate / (2 * std::numbers::pi * frequency);
  const double d = damping * r + damping - 1;
  const double e = r * r;
  const double sum = 1 + d + e;
  return {static_cast<float>(1 / sum), static_cast<float>((d + 2 * e) / sum), static_cast<float>(-e / sum)};
}

void setVoiceFilter(MixerChannel& v, int cutoff, int resonance, int32_t rate) {
  VoiceFilter& f = v.filter;
  cutoff = std::clamp(cutoff, 0, 255);
  resonance = std::clamp(resonance, 0, 127);
  if (!f.on || f.cutoff != cutoff || f.resonance != resonance || f.rate != rate) {
    const FilterCoefficients k = filterCoefficients(cutoff, resonance, rate);
    f.a = k.a;
    f.b = k.b;
    f.c = k.c;
    f.cutoff = static_cast<int16_t>(cutoff);
    f.resonance = static_cast<int16_t>(resonance);
    f.rate = rate;
  }
  f.on = true;
}

void clearVoiceFilter(MixerChannel& v) {
  v.filter.on = false;
  std::memset(v.filter.history, 0, sizeof v.filter.history);
}

void settleFilter(VoiceFilter& f) {
  for (auto& side : f.history)
    for (float& y : side)
      if (std::fabs(y) < 1e-20f) y = 0;
}
