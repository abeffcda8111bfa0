#include "TraceCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr double kFloor = 2e-3;      // -54 dB of full scale: a channel this quiet is not heard beside others
constexpr double kLevelApart = 1.5;  // dB
constexpr double kPitchApart = 0.05 / 12;  // octaves: 5 cents

std::string format(const char* f, double a, double b) {
  char text[96];
  std::snprintf(text, sizeof text, f, a, b);
  return text;
}

std::string positionText(const TickPosition& p) {
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d speed %d tempo %d", p.order, p.row, p.speed, p.tempo);
  return text;
}

double medianGain(const TickTrace& ours, const TickTrace& theirs) {
  std::vector<double> ratios;
  for (size_t c = 0; c < ours.channels.size() && c < theirs.channels.size(); ++c)
    for (size_t t = 0; t < ours.channels[c].size() && t < theirs.channels[c].size(); ++t) {
      const ChannelTick &a = ours.channels[c][t], &b = theirs.channels[c][t];
      const double x = double{a.left} + a.right, y = double{b.left} + b.right;
      if (x > 20 * kFloor && y > 20 * kFloor) ratios.push_back(x / y);
    }
  if (ratios.empty()) return 1;
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<long>(ratios.size() / 2), ratios.end());
  return ratios[ratios.size() / 2];
}
}  // namespace

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::kFlow: return "flow";
    case Kind::kLevel: return "level";
    case Kind::kPitch: return "pitch";
    default: return "none";
  }
}

Comparison compareTraces(const TickTrace& ours, const TickTrace& theirs, double gain) {
  Comparison result;
  result.gain = gain > 0 ? gain : medianGain(ours, theirs);
  const size_t ticks = std::min(ours.positions.size(), theirs.positions.size());
  const size_t channels = std::min(ours.channels.size(), theirs.channels.size());
  auto note = [&](Kind kind, size_t t, int c, std::string detail) {
    if (result.first.kind != Kind::kNone) return;
    result.first = {kind, t, c, ours.positions[t], std::move(detail)};
    result.firstSeconds = static_cast<double>(ours.starts[t + 1]) / ours.rate;
  };
  for (size_t t = 0; t < ticks; ++t) {
    result.channelTicks += channels;
    if (!(ours.positions[t] == theirs.positions[t])) {
      note(Kind::kFlow, t, -1, "ours " + positionText(ours.positions[t]) + ", theirs " + positionText(theirs.positions[t]));
      continue;
    }
    for (size_t c = 0; c < channels; ++c) {
      const ChannelTick &a = ours.channels[c][t], &b = theirs.channels[c][t];
      const ChannelTick& before = theirs.channels[c][t ? t - 1 : t];
      bool alike = true;
      for (int side = 0; side < 2 && alike; ++side) {
        const double x = side ? a.right : a.left, y = (side ? b.right : b.left) * result.gain;
        const double z = (side ? before.right : before.left) * result.gain;
        // A change may ramp across the tick in one player and be heard at once in the other:
        // a level between the two ticks' is alike.
        const double low = std::min(y, z), high = std::max(y, z);
        const bool between = (20 * std::log10((x + kFloor) / (low + kFloor)) >= -kLevelApart &&
                              20 * std::log10((x + kFloor) / (high + kFloor)) <= kLevelApart) ||
                             (x >= low - kFloor && x <= high + kFloor);
        // libopenmpt lets the last value of a sample that ends die away (no tone, no zero
        // crossing) where the voice stops: its mixer's own, not a rule of the tracker.
        const bool tail = x < kFloor && b.offset;
        if (!between && !tail) {
          alike = false;
          note(Kind::kLevel, t, static_cast<int>(c), format(side ? "right %.5f against %.5f" : "left %.5f against %.5f", x, y));
        }
      }
      // A pitch is told where the tone is loud enough not to be the last of a sample dying away.
      const bool heard = a.left + a.right > 10 * kFloor && b.left + b.right > 10 * kFloor;
      if (alike && heard && a.pitch > 0 && b.pitch > 0 && std::abs(std::log2(double{a.pitch} / b.pitch)) > kPitchApart) {
        alike = false;
        note(Kind::kPitch, t, static_cast<int>(c), format("%.2f Hz against %.2f Hz", a.pitch, b.pitch));
      }
      if (alike) ++result.alike;
    }
  }
  return result;
}
