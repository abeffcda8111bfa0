// The wko tool, run as a user runs it.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

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
  // Options before the files, a value after "=".
  r = wko("encode --bytes=700 --no-ycbcr " + dir.file("in.png") + " " + dir.file("b.wko"));
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

TEST(WkoTool, PpmOutputAndCompare) {
  TempDir dir;
  const int w = 33, h = 20;
  const std::vector<uint8_t> picture = makePicture(w, h);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), w, h, 3, picture.data(), w * 3));
  ASSERT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("a.wko") + " --lossless").exitCode, 0);
  ToolRun r = wko("decode " + dir.file("a.wko") + " " + dir.file("a.ppm"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string ppm = readFile(dir.file("a.ppm"));
  const std::string header = "P6\n33 20\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + picture.size());
  EXPECT_EQ(ppm.substr(0, header.size()), header);
  EXPECT_EQ(std::vector<uint8_t>(ppm.begin() + static_cast<std::ptrdiff_t>(header.size()), ppm.end()), picture);
  // The same picture through three formats; a lossy one against it.
  EXPECT_EQ(wko("compare " + dir.file("in.png") + " " + dir.file("a.ppm")).output, "PSNR inf dB\n");
  EXPECT_EQ(wko("compare " + dir.file("a.wko") + " " + dir.file("in.png")).output, "PSNR inf dB\n");
  ASSERT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("b.wko") + " --bytes 300").exitCode, 0);
  r = wko("compare " + dir.file("in.png") + " " + dir.file("b.wko"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_GT(std::atof(r.output.c_str() + 5), 15) << r.output;
  EXPECT_EQ(wko("decode " + dir.file("a.wko") + " " + dir.file("a.pgm")).exitCode, 2) << "three channels are no PGM";
  ASSERT_TRUE(stbi_write_png(dir.file("small.png").c_str(), w - 1, h, 3, picture.data(), w * 3));
  EXPECT_EQ(wko("compare " + dir.file("in.png") + " " + dir.file("small.png")).exitCode, 2);
}

namespace {
// A PNG of 16-bit samples (stb writes only 8-bit ones): deflate's stored blocks, no compression.
void writePng16(const std::string& path, int w, int h, int channels, const std::vector<uint16_t>& samples) {
  auto crc = [](const std::string& bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
      c ^= b;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
  };
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    return be32(static_cast<uint32_t>(data.size())) + type + data + be32(crc(type + data));
  };
  std::string raw;  // each row: filter 0, then big-endian samples
  for (int y = 0; y < h; ++y) {
    raw += '\0';
    for (int i = 0; i < w * channels; ++i) {
      const uint16_t v = samples[static_cast<size_t>(y) * w * channels + i];
      raw += static_cast<char>(v >> 8);
      raw += static_cast<char>(v & 0xFF);
    }
  }
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
    z += {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), static_cast<char>(~n & 0xFF), static_cast<char>((~n >> 8) & 0xFF)};
    z += raw.substr(at, n);
  }
  z += be32(b << 16 | a);
  const char colourType = channels == 1 ? 0 : channels == 2 ? 4 : channels == 3 ? 2 : 6;
  const std::string header = be32(static_cast<uint32_t>(w)) + be32(static_cast<uint32_t>(h)) + std::string{16, colourType, 0, 0, 0};
  const std::string png = std::string("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) + chunk("IDAT", z) + chunk("IEND", "");
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(png.data(), 1, png.size(), f), png.size());
  std::fclose(f);
}
}  // namespace

TEST(WkoTool, EncodeSaysOnOneLineWhatThePictureLoses) {
  TempDir dir;
  const int w = 12, h = 9;
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 5);
  ASSERT_TRUE(stbi_write_png(dir.file("rgba.png").c_str(), w, h, 4, rgba.data(), w * 4));
  ASSERT_TRUE(stbi_write_png(dir.file("rgb.png").c_str(), w, h, 3, rgba.data(), w * 3));
  std::vector<uint16_t> wide(static_cast<size_t>(w) * h * 3), wideGreyAlpha(static_cast<size_t>(w) * h * 2);
  for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint16_t>(i * 601);
  for (size_t i = 0; i < wideGreyAlpha.size(); ++i) wideGreyAlpha[i] = static_cast<uint16_t>(65535 - i * 97);
  writePng16(dir.file("wide.png"), w, h, 3, wide);
  writePng16(dir.file("widega.png"), w, h, 2, wideGreyAlpha);
  struct Case {
    const char* file;
    const char* note;  // nullptr: nothing lost
  };
  for (const Case& c : {Case{"rgb.png", nullptr}, Case{"rgba.png", "alpha channel dropped"},
                        Case{"wide.png", "16-bit samples reduced to 8 bits"},
                        Case{"widega.png", "16-bit samples reduced to 8 bits, alpha channel dropped"}}) {
    // stderr alone: the summary on stdout goes away.
    const ToolRun r = runTool("{ " + std::string(WKO_BIN) + " encode " + dir.file(c.file) + " " + dir.file("out.wko") +
                              " --lossless >/dev/null; }");
    ASSERT_EQ(r.exitCode, 0) << c.file << ": " << r.output;
    EXPECT_EQ(r.output, c.note ? "wko: " + dir.file(c.file) + ": " + c.note + "\n" : "") << c.file;
  }
  // The 16-bit picture is coded from the high bytes of its samples.
  std::vector<uint8_t> high(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) high[i] = static_cast<uint8_t>(wide[i] >> 8);
  ASSERT_TRUE(stbi_write_png(dir.file("high.png").c_str(), w, h, 3, high.data(), w * 3));
  ASSERT_EQ(wko("encode " + dir.file("wide.png") + " " + dir.file("w.wko") + " --lossless").exitCode, 0);
  EXPECT_EQ(wko("compare " + dir.file("w.wko") + " " + dir.file("high.png")).output, "PSNR inf dB\n");
}

TEST(WkoTool, PnmOutputIsThePictureThePngHolds) {
  // PPM and PGM rows are packed band by band straight from the planes; PNG goes through the
  // image record. Both must give the same samples: colour converted from Y, Cb, Cr, and grey, on
  // more rows than one band.
  TempDir dir;
  const int w = 70, h = 75;
  const std::vector<uint8_t> colour = makePicture(w, h);
  std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = colour[3 * i + 1];
  ASSERT_TRUE(stbi_write_png(dir.file("c.png").c_str(), w, h, 3, colour.data(), w * 3));
  ASSERT_TRUE(stbi_write_png(dir.file("g.png").c_str(), w, h, 1, grey.data(), w));
  for (const auto& [name, ext, channels] : {std::tuple{"c", ".ppm", 3}, std::tuple{"g", ".pgm", 1}}) {
    const std::string base = dir.file(name);
    ASSERT_EQ(wko("encode " + base + ".png " + base + ".wko --bytes 900").exitCode, 0) << name;
    ASSERT_EQ(wko("decode " + base + ".wko " + base + ext).exitCode, 0) << name;
    ASSERT_EQ(wko("decode " + base + ".wko " + base + "-out.png").exitCode, 0) << name;
    int ow = 0, oh = 0, n = 0;
    stbi_uc* png = stbi_load((base + "-out.png").c_str(), &ow, &oh, &n, channels);
    ASSERT_NE(png, nullptr);
    const std::string pnm = readFile(base + ext);
    const std::string header = std::string(channels == 3 ? "P6" : "P5") + "\n70 75\n255\n";
    ASSERT_EQ(pnm.substr(0, header.size()), header) << name;
    EXPECT_EQ(std::vector<uint8_t>(pnm.begin() + static_cast<std::ptrdiff_t>(header.size()), pnm.end()),
              std::vector<uint8_t>(png, png + static_cast<size_t>(w) * h * channels))
        << name;
    stbi_image_free(png);
  }
}

TEST(TestPicture, EachPictureIsTheSameEveryTimeAndNotFlat) {
  TempDir dir;
  for (const std::string name : {"landscape", "pebbles", "leaves"}) {
    const std::string a = dir.file(name + "1.png"), b = dir.file(name + "2.png");
    ASSERT_EQ(runTool(std::string(TESTPICTURE_BIN) + " " + name + " " + a + " --size 96x64").exitCode, 0);
    ASSERT_EQ(runTool(std::string(TESTPICTURE_BIN) + " " + name + " " + b + " --size 96x64").exitCode, 0);
    EXPECT_EQ(readFile(a), readFile(b)) << name;
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load(a.c_str(), &w, &h, &n, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(w, 96);
    EXPECT_EQ(h, 64);
    double sum = 0, squares = 0;
    for (int i = 0; i < w * h * 3; ++i) sum += p[i], squares += static_cast<double>(p[i]) * p[i];
    const double mean = sum / (w * h * 3);
    EXPECT_GT(std::sqrt(squares / (w * h * 3) - mean * mean), 12) << name << ": spread of the samples";
    stbi_image_free(p);
  }
  EXPECT_EQ(runTool(std::string(TESTPICTURE_BIN) + " fog " + dir.file("x.png")).exitCode, 2);
  EXPECT_EQ(runTool(std::string(TESTPICTURE_BIN) + " leaves " + dir.file("x.png") + " --size 0x5").exitCode, 2);
}

// A WKO stream has no signature, so a PNG once "decoded" to noise; what is recognisably another
// format is refused, and the output's name picks its format.
TEST(WkoTool, DecodeRefusesOtherFormatsAndWritesTheFormatItsNameAsks) {
  TempDir dir;
  const std::vector<uint8_t> picture = makePicture(20, 12);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), 20, 12, 3, picture.data(), 20 * 3));
  ASSERT_TRUE(stbi_write_tga(dir.file("in.tga").c_str(), 20, 12, 3, picture.data()));
  std::ofstream(dir.file("notes.txt")) << "a few words, not a picture\n";
  for (const auto& [file, named] : {std::pair{"in.png", "a PNG picture"}, std::pair{"in.tga", "a TGA picture"},
                                    std::pair{"notes.txt", "text"}}) {
    for (const std::string command : {"decode", "info"}) {
      const ToolRun r = wko(command + " " + dir.file(file) + (command == "decode" ? " " + dir.file("o.png") : ""));
      EXPECT_EQ(r.exitCode, 2) << command << " " << file;
      EXPECT_NE(r.output.find(std::string(": ") + named + ", not a WKO stream"), std::string::npos) << r.output;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("o.png")));
  ASSERT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("a.wko")).exitCode, 0);
  ToolRun r = wko("decode " + dir.file("a.wko") + " " + dir.file("o.jpg"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("the name must end in .png, .ppm, .pgm or .tga"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("o.jpg")));
  r = wko("decode " + dir.file("a.wko") + " " + dir.file("o.TGA"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  int w = 0, h = 0, n = 0;
  stbi_uc* back = stbi_load(dir.file("o.TGA").c_str(), &w, &h, &n, 3);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(readFile(dir.file("o.TGA")).substr(0, 3), std::string("\0\0\x0a", 3));  // no colour map, RLE true colour
  EXPECT_EQ(std::vector<uint8_t>(back, back + picture.size()), picture);
  stbi_image_free(back);
  r = wko("--version");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output.rfind("wko ", 0), 0u);
}

TEST(WkoTool, ErrorsAreOneLineAndCodeTwo) {
  TempDir dir;
  for (const std::string& args : {std::string("encode ") + dir.file("missing.png") + " x.wko", std::string("bogus"),
                                  std::string("decode ") + dir.file("missing.wko") + " o.png",
                                  std::string("encode a b --bytes -3"), std::string("encode a b --lossless --bpp 1"),
                                  std::string("info a --bytes 3"), std::string("decode a b c"),
                                  std::string("encode a b.wko --no-ycbcr")}) {
    const ToolRun r = wko(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << args << ": " << r.output;
  }
}

// Every writer reports a full disk (a link to /dev/full) with the system's reason and code 2,
// PNG and TGA as much as the formats written by hand; and a WKO stream gets no picture's name.
TEST(WkoTool, AFullDiskIsAFailureForEveryWriter) {
  TempDir dir;
  const std::vector<uint8_t> picture = makePicture(20, 12);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), 20, 12, 3, picture.data(), 20 * 3));
  ASSERT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("a.wko")).exitCode, 0);
  for (const char* name : {"full.wko", "full.png", "full.tga", "full.ppm"})
    std::filesystem::create_symlink("/dev/full", dir.file(name));
  for (const std::string& args :
       {"encode " + dir.file("in.png") + " " + dir.file("full.wko"), "decode " + dir.file("a.wko") + " " + dir.file("full.png"),
        "decode " + dir.file("a.wko") + " -o " + dir.file("full.tga"), "decode " + dir.file("a.wko") + " " + dir.file("full.ppm"),
        std::string(TESTPICTURE_BIN) + " leaves " + dir.file("full.png") + " --size=8x8"}) {
    const ToolRun r = args.rfind("encode", 0) == 0 || args.rfind("decode", 0) == 0 ? wko(args) : runTool(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.output.find(": No space left on device\n"), std::string::npos) << args << ": " << r.output;
  }
  const ToolRun r = wko("encode " + dir.file("in.png") + " " + dir.file("out.JPG"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "wko: " + dir.file("out.JPG") + ": a .jpg name for a WKO stream (name it .wko)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.JPG")));
}

// A mistyped output loses nothing: encode, decode and testpicture leave a file that is not of
// the kind they write as it was, unless --force, and never write over their input.
TEST(WkoTool, WritesOverNoFileOfTheUsersWithoutForce) {
  TempDir dir;
  const std::vector<uint8_t> picture = makePicture(20, 12);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), 20, 12, 3, picture.data(), 20 * 3));
  ASSERT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("a.wko")).exitCode, 0);
  const std::string module = std::string("Extended Module: tune") + std::string(40, '\x1a');
  std::ofstream(dir.file("tune.wko")) << module;
  std::ofstream(dir.file("tune.png")) << module;
  std::ofstream(dir.file("notes.ppm")) << "my notes, not a picture\n";
  std::filesystem::create_symlink(dir.file("a.wko"), dir.file("link.wko"));
  const std::pair<std::string, std::string> refused[] = {
      {"encode " + dir.file("in.png") + " " + dir.file("tune.wko"), dir.file("tune.wko") + " exists and is not a WKO stream"},
      {"decode " + dir.file("a.wko") + " " + dir.file("tune.png"), dir.file("tune.png") + " exists and is not a PNG picture"},
      {"decode " + dir.file("a.wko") + " " + dir.file("notes.ppm"), dir.file("notes.ppm") + " exists and is not a PNM picture"},
      {"encode " + dir.file("link.wko") + " " + dir.file("a.wko") + " --force", dir.file("a.wko") + " is the input "},
      {std::string(TESTPICTURE_BIN) + " leaves " + dir.file("tune.png"), dir.file("tune.png") + " exists and is not a PNG"}};
  for (const auto& [args, message] : refused) {
    const ToolRun r = args.rfind("encode", 0) == 0 || args.rfind("decode", 0) == 0 ? wko(args) : runTool(args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_EQ(readFile(dir.file("tune.wko")), module);
  EXPECT_EQ(readFile(dir.file("tune.png")), module);
  EXPECT_EQ(readFile(dir.file("notes.ppm")), "my notes, not a picture\n");
  // Its own kind it replaces; anything with --force.
  EXPECT_EQ(wko("encode " + dir.file("in.png") + " " + dir.file("a.wko") + " --bytes 200").exitCode, 0);
  EXPECT_LE(readFile(dir.file("a.wko")).size(), 200u);
  EXPECT_EQ(wko("decode " + dir.file("a.wko") + " " + dir.file("tune.png") + " -f").exitCode, 0);
  EXPECT_EQ(readFile(dir.file("tune.png")).substr(1, 3), "PNG");
  EXPECT_EQ(wko("decode " + dir.file("a.wko") + " " + dir.file("tune.png")).exitCode, 0) << "a PNG over a PNG";
  EXPECT_EQ(runTool(std::string(TESTPICTURE_BIN) + " leaves " + dir.file("tune.wko") + " --size 8x8 --force").exitCode, 0);
}

// "-" is standard input and output: a picture piped through encode and decode comes back whole,
// as PNM (djpeg's choice); info refuses what decode refuses, naming the file, before printing.
TEST(WkoTool, PipesAndInfoRefusingWhatDecodeRefuses) {
  TempDir dir;
  const std::vector<uint8_t> picture = makePicture(21, 13);
  ASSERT_TRUE(stbi_write_png(dir.file("in.png").c_str(), 21, 13, 3, picture.data(), 21 * 3));
  const ToolRun piped = runTool("cat " + dir.file("in.png") + " | " + WKO_BIN + " encode - - 2>" + dir.file("err") + " | " +
                                WKO_BIN + " decode - - > " + dir.file("out.ppm"));
  ASSERT_EQ(piped.exitCode, 0) << piped.output;
  EXPECT_NE(readFile(dir.file("err")).find("PSNR inf dB"), std::string::npos) << "the figures beside the stream";
  EXPECT_EQ(readFile(dir.file("out.ppm")), "P6\n21 13\n255\n" + std::string(picture.begin(), picture.end()));
  EXPECT_FALSE(std::filesystem::exists("-"));

  std::mt19937 random(7);
  std::string noise(300, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  noise[0] = '\0';  // colour flag 0, no size: the padded plane's code follows
  std::ofstream(dir.file("noise.wko"), std::ios::binary) << noise;
  const ToolRun decoded = wko("decode " + dir.file("noise.wko") + " " + dir.file("n.png"));
  ASSERT_EQ(decoded.exitCode, 2) << "noise that decodes would make this test moot";
  const ToolRun r = wko("info " + dir.file("noise.wko"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output, "wko: " + dir.file("noise.wko") + ": not a WKO stream\n");
  EXPECT_EQ(wko("info - < " + dir.file("in.png")).output, "wko: standard input: a PNG picture, not a WKO stream (wko encode makes one)\n");
}

// A grey stream decodes to PPM as djpeg writes grey there: each sample three times.
TEST(WkoTool, GreyStreamDecodesToPpm) {
  TempDir dir;
  const int w = 9, h = 40;
  std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(stbi_write_png(dir.file("g.png").c_str(), w, h, 1, grey.data(), w));
  ASSERT_EQ(wko("encode " + dir.file("g.png") + " " + dir.file("g.wko")).exitCode, 0);
  const ToolRun r = wko("decode " + dir.file("g.wko") + " " + dir.file("g.ppm"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::string expected = "P6\n9 40\n255\n";
  for (uint8_t v : grey) expected += std::string(3, static_cast<char>(v));
  EXPECT_TRUE(readFile(dir.file("g.ppm")) == expected);
}
