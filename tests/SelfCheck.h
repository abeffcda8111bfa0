#pragma once

// The self-check of the trackers' own test modules (FT2SuiteTest, PTSuiteTest): most play the
// player's result on the left and the tracker's recording of the same passage on the right, some
// stay silent when played right. A render's two sides are compared 10 ms at a time: a wrong tick,
// a wrong volume or a wrong note shows as stretches where one side is far louder than the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SoundLib/xmplay/engine/OfflineRenderer.h"

namespace selfcheck {
constexpr int kRate = 44100;
constexpr int kWindow = kRate / 100;
constexpr int kSilence = 4;       // the largest sample of a render that counts as silent
constexpr double kAudible = -50;  // dB of full scale: quieter windows on both sides are not compared
constexpr double kApart = 6;      // dB between the sides that make a window differ
constexpr double kMostApart = 0.1;  // the share of audible windows that may differ

struct Sides {
  int loudWindows = 0;
  int differing = 0;
  int peak = 0;
};

inline Sides compareSides(const std::vector<int16_t>& frames) {
  Sides s;
  for (int16_t v : frames) s.peak = std::max(s.peak, std::abs(int{v}));
  const size_t count = frames.size() / 2;
  for (size_t start = 0; start + kWindow <= count; start += kWindow) {
    double left = 0, right = 0;
    for (size_t i = start; i < start + kWindow; ++i) {
      const double l = frames[2 * i], r = frames[2 * i + 1];
      left += l * l;
      right += r * r;
    }
    auto decibels = [](double sum) { return 10 * std::log10(sum / kWindow / (32768.0 * 32768.0) + 1e-12); };
    const double l = decibels(left), r = decibels(right);
    if (std::max(l, r) < kAudible) continue;
    ++s.loudWindows;
    if (std::abs(l - r) > kApart) ++s.differing;
  }
  return s;
}

// The first 30 s, or one pass where the song ends sooner.
inline std::vector<int16_t> render(Song& song) {
  OfflineRenderer renderer(song, kRate);
  std::vector<int16_t> frames;
  const int64_t cap = int64_t{30} * kRate;
  while (static_cast<int64_t>(frames.size() / 2) < cap) {
    const int64_t loop = renderer.loopFrame();
    if (loop >= 0 && static_cast<int64_t>(frames.size() / 2) >= loop) {
      frames.resize(static_cast<size_t>(loop) * 2);
      break;
    }
    const OfflineRenderer::Chunk chunk = renderer.renderChunk();
    frames.insert(frames.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  return frames;
}

// At most 1 in 10 of the audible 10 ms windows may differ by more than 6 dB between the sides
// (the recording's ticks fall a few milliseconds later than the player's, so the edges of a
// change differ; a change a tick early or late on every row is 2 windows in 12), or the whole
// render must be silent.
inline bool passes(const Sides& sides) {
  const double share = sides.loudWindows ? static_cast<double>(sides.differing) / sides.loudWindows : 0;
  return sides.peak <= kSilence || share <= kMostApart;
}

// A module known to fail the check, with what is wrong; one that comes to pass fails its test, so
// that the list stays true.
struct KnownFailure {
  const char* name;
  const char* why;
};

// Loads dir/name.extension with parse (bytes and a length to a SongPtr) and checks the render's
// sides; a module on the known failures must still fail. Skips where dir is not there.
template <class Parse>
void checkModule(const std::filesystem::path& dir, const std::string& name, const char* extension, Parse parse,
                 const std::vector<KnownFailure>& knownFailures) {
  const std::string file = name + extension;
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no " << dir.string() << " beside the repository";
  std::ifstream in(dir / file, std::ios::binary);
  ASSERT_TRUE(in) << file << " missing from " << dir;
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto song = parse(image.data(), image.size());
  ASSERT_NE(song, nullptr);
  const Sides sides = compareSides(render(*song));
  const bool ok = passes(sides);
  for (const KnownFailure& k : knownFailures)
    if (name == k.name) {
      EXPECT_FALSE(ok) << "listed as a known failure (" << k.why << ") but passes: take it off the list";
      return;
    }
  EXPECT_TRUE(ok) << sides.differing << " of " << sides.loudWindows << " audible 10 ms windows differ by more than "
                  << kApart << " dB (peak " << sides.peak << ")";
}

// Test names may hold letters, digits and underscores only.
inline std::string testName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}
}  // namespace selfcheck
