// The wko tool, run as a user runs it.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "RunTool.h"
#include "TempDir.h"

namespace {
ToolRun wko(const std::string& args) { return runTool(std::string(WKO_BIN) + " " + args); }

std::vector<uint8_t> makePicture(int w, int h) {
  std::mt19937 random(3);
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>((i / 3 % w) * 2 + (i % 3) * 40 + random() % 7);
  return p;
}
}  // namespace

TEST(WkoTool, LosslessEncodeThenDecodeGivesThePictureBack) {
  TempDir dir;
  const int w = 45, h = 30;
  const std::vector<uint8_t> picture = makePicture(w, h);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), w, h, 3, picture.data(), w * 3));
  ToolRun r = wko("encode " + dir.file("in.png") + " " + dir.file("a.wko") + " --lossless");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("PSNR inf dB"), std::string::npos) << r.output;
  r = wko("decode " + dir.file("a.wko") + " " + dir.file("out.png"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  int ow = 0, oh = 0, n = 0;
  stbi_uc* back = stbi_load(dir.file("out.png").c_str(), &ow, &oh, &n, 3);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(ow, w);
  EXPECT_EQ(oh, h);
  EXPECT_EQ(std::vector<uint8_t>(back, back + picture.size()), picture);
  stbi_image_free(back);
}

TEST(WkoTool, BudgetAndInfo) {
  TempDir dir;
  const std::vector<uint8_t> picture = makePicture(64, 64);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), 64, 64, 3, picture.data(), 64 * 3));
  // The default may code Y, Cb, Cr or R, G, B, whichever decodes better: never worse than RGB.
  auto quality = [](const std::string& output) {
    const size_t at = output.find("PSNR ");
    return at == std::string::npos ? -1.0 : std::atof(output.c_str() + at + 5);
  };
  ToolRun r = wko("encode " + dir.file("in.png") + " " + dir.file("a.wko") + " --bytes 700");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const double either = quality(r.output);
  r = wko("encode " + dir.file("in.png") + " " + dir.file("b.wko") + " --bytes 700 --no-ycbcr");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_GT(quality(r.output), 20) << r.output;
  EXPECT_GE(either, quality(r.output));
  EXPECT_LE(readFile(dir.file("b.wko")).size(), 700u);
  r = wko("info " + dir.file("b.wko"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("colour flag: 0\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("size: 64 x 64 (padded 64 x 64)\n"), std::string::npos);
  EXPECT_NE(r.output.find("channels: 3\n"), std::string::npos);
  EXPECT_NE(r.output.find("group 0 channel 0: "), std::string::npos);
  EXPECT_NE(r.output.find("bits consumed: "), std::string::npos);
}

TEST(WkoTool, ErrorsAreOneLineAndCodeTwo) {
  TempDir dir;
  for (const std::string& args : {std::string("encode ") + dir.file("missing.png") + " x.wko", std::string("bogus"),
                                  std::string("decode ") + dir.file("missing.wko") + " o.png",
                                  std::string("encode a b --bytes -3"), std::string("encode a b --lossless --bpp 1")}) {
    const ToolRun r = wko(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << args << ": " << r.output;
  }
}
