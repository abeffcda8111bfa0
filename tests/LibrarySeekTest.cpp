// The library's seeks, passes and timing, as an embedder uses them: a render from a seek is the
// same frames as a render from the load, on written and real songs, forwards and back; a repeat
// count plays exactly that many passes, seamlessly.
#include "brackenfold/tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "XMTestModules.h"
#include "modules/RandomModule.h"

namespace {
struct Module {
  explicit Module(const std::vector<uint8_t>& image, int rate = 44100)
      : m(bft_load(image.data(), image.size(), rate, nullptr, why, sizeof why)) {}
  ~Module() { bft_free(m); }
  bft_module* m;
  char why[128] = "";
};

std::vector<int16_t> renderFrames(bft_module* m, int64_t frames) {
  std::vector<int16_t> out(2 * static_cast<size_t>(frames));
  size_t done = 0;
  while (done < static_cast<size_t>(frames)) {
    const size_t n = bft_render(m, out.data() + 2 * done, std::min<size_t>(1000, frames - done));
    if (n == 0) break;
    done += n;
  }
  out.resize(2 * done);
  return out;
}

std::vector<int16_t> slice(const std::vector<int16_t>& all, int64_t from, int64_t frames) {
  return {all.begin() + 2 * from, all.begin() + 2 * std::min<int64_t>(from + frames, static_cast<int64_t>(all.size() / 2))};
}

// Seeks through the targets in turn, from a fresh module that has played a little first, and
// checks what follows each against the render from the load.
void expectSeeksLand(const std::vector<uint8_t>& image, const std::vector<int64_t>& targets, int64_t frames) {
  Module reference(image), seeking(image);
  ASSERT_NE(reference.m, nullptr) << reference.why;
  const int64_t last = *std::max_element(targets.begin(), targets.end());
  const std::vector<int16_t> all = renderFrames(reference.m, last + frames);
  renderFrames(seeking.m, 3000);
  for (const int64_t target : targets) {
    SCOPED_TRACE("frame " + std::to_string(target));
    ASSERT_EQ(bft_seek_frame(seeking.m, target), 0);
    EXPECT_EQ(renderFrames(seeking.m, frames), slice(all, target, frames));
  }
}

// Orders of 4 rows at speed 3 (3 ticks of 882 frames), the last jumping back to the restart
// position; a note on channel 0 in the first order.
XMModuleSpec roundSong(int orders, uint16_t restart) {
  XMModuleSpec m = constantModule(2, 4);
  m.speed = 3;
  m.restartPosition = restart;
  m.patterns.resize(static_cast<size_t>(orders));
  m.orders.clear();
  for (int o = 0; o < orders; ++o) {
    m.patterns[o].rows = 4;
    m.orders.push_back(static_cast<uint8_t>(o));
  }
  m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
  m.patterns[orders - 1].at(3, 0, 2) = {0, 0, 0, 0xB, static_cast<uint8_t>(restart)};
  return m;
}
constexpr int64_t kRowFrames = 3 * 882;
}  // namespace

TEST(LibrarySeek, LandsOnTheFrameOfARenderFromTheLoad) {
  for (uint64_t seed : {4u, 5u, 6u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<uint8_t> image = writeXM(randomModule(seed, {4, 4096}));
    Module probe(image);
    ASSERT_NE(probe.m, nullptr);
    const int64_t pass = bft_pass_frames(probe.m);
    ASSERT_GT(pass, 20000);
    // Forwards past what was played, back to kept order starts, onto block edges and odd frames,
    // the same frame twice, and the very start.
    expectSeeksLand(image, {pass / 2 + 7, pass / 5, 882, 883, pass / 2 + 7, 0, pass - 4000, 1}, 3000);
  }
}

TEST(LibrarySeek, RowsAndTimesAreTheFirstPasssOwn) {
  const std::vector<uint8_t> image = writeXM(roundSong(3, 1));
  Module m(image);
  ASSERT_NE(m.m, nullptr);
  EXPECT_EQ(bft_pass_frames(m.m), 12 * kRowFrames);
  EXPECT_DOUBLE_EQ(bft_duration(m.m), 12.0 * kRowFrames / 44100);
  EXPECT_EQ(bft_frame_of(m.m, 0, 0), 0);
  EXPECT_EQ(bft_frame_of(m.m, 1, 2), 6 * kRowFrames);
  EXPECT_DOUBLE_EQ(bft_time_of(m.m, 2, 3), 11.0 * kRowFrames / 44100);
  EXPECT_EQ(bft_frame_of(m.m, 1, 4), -1);  // beyond the pattern
  EXPECT_EQ(bft_frame_of(m.m, 3, 0), -1);  // beyond the order list
  EXPECT_EQ(bft_seek_row(m.m, 1, 4), -1);
  EXPECT_EQ(bft_seek_time(m.m, -0.5), -1);
  EXPECT_EQ(bft_seek_frame(m.m, 12 * kRowFrames + 1), -1);
  // Nothing changed: still at the start.
  int order = -1, row = -1;
  bft_position(m.m, &order, &row);
  EXPECT_EQ(order, 0);
  EXPECT_EQ(row, 0);

  ASSERT_EQ(bft_seek_row(m.m, 2, 1), 0);
  bft_position(m.m, &order, &row);
  EXPECT_EQ(order, 2);
  EXPECT_EQ(row, 1);
  // To the end of the pass: what is left of it and no more.
  EXPECT_EQ(renderFrames(m.m, 100 * kRowFrames).size() / 2, static_cast<size_t>(3 * kRowFrames));
  ASSERT_EQ(bft_seek_time(m.m, 6.0 * kRowFrames / 44100), 0);
  bft_position(m.m, &order, &row);
  EXPECT_EQ(order, 1);
  EXPECT_EQ(row, 2);
}

TEST(LibrarySeek, RepeatCountPlaysExactlyThatManyPassesSeamlessly) {
  // Round to order 0, and round to order 1 (the later passes then 8 rows, not 12).
  for (uint16_t restart : {0, 1}) {
    const std::vector<uint8_t> image = writeXM(roundSong(3, restart));
    const int64_t first = 12 * kRowFrames, later = (12 - 4 * restart) * kRowFrames;
    Module looping(image);
    bft_set_loop(looping.m, 1);
    const std::vector<int16_t> endless = renderFrames(looping.m, first + 5 * later);
    for (int repeats : {0, 1, 4}) {
      SCOPED_TRACE("restart " + std::to_string(restart) + ", repeats " + std::to_string(repeats));
      Module m(image);
      ASSERT_EQ(bft_set_repeat(m.m, repeats), 0);
      const std::vector<int16_t> all = renderFrames(m.m, first + 6 * later);
      EXPECT_EQ(static_cast<int64_t>(all.size() / 2), first + repeats * later);
      EXPECT_EQ(all, slice(endless, 0, first + repeats * later));
    }
  }
  Module m(writeXM(roundSong(3, 0)));
  EXPECT_EQ(bft_set_repeat(m.m, -2), -1);
  // Asked for more after the end, the song goes on from where it stopped.
  const std::vector<int16_t> one = renderFrames(m.m, 100 * kRowFrames);
  ASSERT_EQ(bft_set_repeat(m.m, 1), 0);
  EXPECT_EQ(renderFrames(m.m, 100 * kRowFrames).size(), one.size());
}

// Every folder of ../shared/testdata: the first songs of each, seeked into the middle of their
// first minute and back to a quarter of it, land on the frames of a render from the load (the
// kept states hold everything the rules keep: envelopes, background voices, filters, loops).
TEST(LibrarySeek, LandsOnTheFrameInRealSongs) {
  const std::filesystem::path root = TESTDATA_DIR;
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "no module folders at " << root;
  int songs = 0;
  for (const auto& folder : std::filesystem::directory_iterator(root)) {
    if (!folder.is_directory()) continue;
    std::vector<std::filesystem::path> files;
    for (const auto& f : std::filesystem::directory_iterator(folder)) files.push_back(f.path());
    std::sort(files.begin(), files.end());
    int taken = 0;
    for (const auto& file : files) {
      if (taken == 2) break;
      std::ifstream in(file, std::ios::binary);
      const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      Module m(image);
      if (!m.m) continue;
      SCOPED_TRACE(file.string());
      const int64_t span = std::min<int64_t>(bft_pass_frames(m.m), 60 * 44100);
      if (span < 8000) continue;
      expectSeeksLand(image, {span / 2 - 4001, span / 4 + 13}, 4000);
      ++taken;
      ++songs;
    }
  }
  EXPECT_GT(songs, 0);
}
