// The C++ header over the library: loading throws the library's reason, the class owns its module
// (moves hand it on, the moved-from frees nothing), and its calls give what the C calls give.
#include "brackenfold/tracker.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XMTestModules.h"

TEST(TrackerHpp, OwnsAModuleAndThrowsTheReason) {
  const std::vector<uint8_t> image = writeXM(constantModule(2, 8));
  try {
    bft::Module bad(image.data(), 10);
    FAIL() << "loaded ten bytes";
  } catch (const bft::Error& e) {
    EXPECT_NE(std::string(e.what()), "");
  }
  EXPECT_THROW(bft::Module(image, 44100, "st3"), bft::Error);
  EXPECT_THROW(bft::Module(image, 100), bft::Error);

  bft::Module song(image);
  EXPECT_EQ(bft::probe(image.data(), image.size()), "XM");
  EXPECT_EQ(bft::probe("nothing", 7), "");
  char why[64];
  bft_module* c = bft_load(image.data(), image.size(), 44100, nullptr, why, sizeof why);
  ASSERT_NE(c, nullptr);
  std::vector<int16_t> expected(2 * 5000);
  expected.resize(2 * bft_render(c, expected.data(), 5000));
  bft_free(c);

  bft::Module moved(std::move(song));
  EXPECT_EQ(song.get(), nullptr);
  EXPECT_EQ(moved.render(5000), expected);
  EXPECT_EQ(moved.channels(), 2);
  EXPECT_EQ(moved.instrumentNames().size(), 1u);
  EXPECT_EQ(moved.cellText(0, 0, 9), "");
  EXPECT_TRUE(moved.seek(0));
  EXPECT_FALSE(moved.seek(-1));
  EXPECT_EQ(moved.render(5000), expected);
  song = std::move(moved);
  EXPECT_EQ(song.position(), (std::pair<int, int>{0, 0 + 5000 / (6 * 882)}));
}
