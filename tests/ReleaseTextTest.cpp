// The release's texts: credits read from the scroller text, the template's sections and fields,
// the conversion to code page 437 with its width and line limits, and the files the build wrote.

#include "releasetext/ReleaseText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScrollText.h"

namespace rt = release_text;

namespace {
std::vector<std::string> scrollerLines() {
  std::unique_ptr<char[]> block = scrollTextBlock();
  std::vector<std::string> lines;
  for (const auto& line : splitScrollText(block.get(), kScrollTextBytes)) lines.emplace_back(line.get());
  return lines;
}

std::string convert(const std::string& utf8, size_t columns = 80, size_t lines = 0) {
  std::string out, error;
  EXPECT_TRUE(rt::toCodePage437(utf8, columns, lines, out, error)) << error;
  return out;
}

std::string refusal(const std::string& utf8, size_t columns = 80, size_t lines = 0) {
  std::string out, error;
  EXPECT_FALSE(rt::toCodePage437(utf8, columns, lines, out, error)) << "accepted: " << utf8;
  return error;
}

std::string repeated(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

std::string readFile(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}
}  // namespace

TEST(ReleaseCredits, AsTheIntrosScrollerSaysThem) {
  rt::Credits c;
  std::string error;
  ASSERT_TRUE(rt::creditsFromScroller(scrollerLines(), c, error)) << error;
  EXPECT_EQ(c.group, "Brackenfold");
  EXPECT_EQ(c.release, "Our Next Release");
  EXPECT_EQ(c.code, "vantrel");
  EXPECT_EQ(c.graphics, "Oskwith");
  EXPECT_EQ(c.music, "rbq");
  EXPECT_EQ(c.greetings, "Morvelle Quennet and many more");
}

TEST(ReleaseCredits, FieldsInAnyOrderAndMissingOnesNamed) {
  rt::Credits c;
  std::string error;
  const std::vector<std::string> reordered = {"Crew is proud to present: Demo", "music:Zed code: Ann  gfx:Bo",
                                              "We greet: everyone"};
  ASSERT_TRUE(rt::creditsFromScroller(reordered, c, error)) << error;
  EXPECT_EQ(c.music, "Zed");
  EXPECT_EQ(c.code, "Ann");
  EXPECT_EQ(c.graphics, "Bo");

  EXPECT_FALSE(rt::creditsFromScroller({"Crew is proud to present: Demo", "code: Ann gfx: Bo", "We greet: all"}, c, error));
  EXPECT_NE(error.find("music:"), std::string::npos) << error;
  EXPECT_FALSE(rt::creditsFromScroller({"code: Ann gfx: Bo music: Zed", "We greet: all"}, c, error));
  EXPECT_NE(error.find("group"), std::string::npos) << error;
  EXPECT_FALSE(rt::creditsFromScroller({}, c, error));
}

TEST(ReleaseTemplate, SectionsFieldsAndTheirFaults) {
  rt::Template t;
  std::string error;
  ASSERT_TRUE(rt::splitTemplate("note [nfo] is only mentioned\n[nfo]\nA @X@\n\n\n[diz]\r\nB\n\n", t, error)) << error;
  EXPECT_EQ(t.nfo, "A @X@\n");
  EXPECT_EQ(t.diz, "B\n");
  EXPECT_FALSE(rt::splitTemplate("[nfo]\nA\n", t, error));
  EXPECT_NE(error.find("[diz]"), std::string::npos);
  EXPECT_FALSE(rt::splitTemplate("[nfo]\n[diz]\n[nfo]\n", t, error));

  std::string out;
  ASSERT_TRUE(rt::expandFields("v@VERSION@ by @CODE@@CODE@", {{"VERSION", "1.2.3"}, {"CODE", "ab"}}, out, error));
  EXPECT_EQ(out, "v1.2.3 by abab");
  EXPECT_FALSE(rt::expandFields("@NOPE@", {{"CODE", "ab"}}, out, error));
  EXPECT_NE(error.find("@NOPE@"), std::string::npos);
  EXPECT_FALSE(rt::expandFields("mail me @ home", {}, out, error));
}

TEST(CodePage437, BlockShadeBoxAndLettersBecomeTheirBytes) {
  EXPECT_EQ(convert("█▀▄░▒▓\n"), "\xDB\xDF\xDC\xB0\xB1\xB2\r\n");
  EXPECT_EQ(convert("┌─┐│└┘═║\n"), "\xDA\xC4\xBF\xB3\xC0\xD9\xCD\xBA\r\n");
  EXPECT_EQ(convert("café ü ½\n"), "caf\x82 \x81 \xAB\r\n");
  EXPECT_EQ(convert("plain   \nlast"), "plain\r\nlast\r\n") << "trailing spaces go, every line ends CR LF";
}

TEST(CodePage437, RefusesWhatItCannotWriteAndLinesTooWideOrTooMany) {
  EXPECT_NE(refusal("price 5 €\n").find("U+20AC"), std::string::npos);
  EXPECT_NE(refusal("no\u00A0break\n").find("U+00A0"), std::string::npos);
  refusal("tab\there\n");
  refusal("cut \xC3");
  refusal("bad \xC3(\n");
  // Columns count characters, not bytes: 80 three-byte blocks fit, 81 do not.
  convert(repeated("█", 80) + "\n");
  EXPECT_NE(refusal("ok\n" + repeated("█", 81) + "\n").find("line 2"), std::string::npos);
  convert(repeated("x\n", 10), 45, 10);
  refusal(repeated("x\n", 11), 45, 10);
}

// What the build wrote from resources/release.txt.
TEST(ReleaseFiles, NfoAndDizKeepTheirLimits) {
  struct File {
    const char* name;
    size_t columns, lines;
  };
  for (const File f : {File{"brackenfold.nfo", 80, 1000}, File{"file_id.diz", 45, 10}}) {
    SCOPED_TRACE(f.name);
    const std::string bytes = readFile(std::string(RELEASE_TEXT_DIR) + "/" + f.name);
    ASSERT_FALSE(bytes.empty()) << "the build wrote no " << f.name;
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    size_t lines = 0, start = 0;
    bool drawn = false;
    while (start < bytes.size()) {
      const size_t end = bytes.find("\r\n", start);
      ASSERT_NE(end, std::string::npos);
      const std::string line = bytes.substr(start, end - start);
      ++lines;
      EXPECT_LE(line.size(), f.columns) << "line " << lines;
      for (const char ch : line) {
        const auto b = static_cast<unsigned char>(ch);
        // Printable ASCII, or the shade, box and block characters the texts draw with.
        EXPECT_TRUE((b >= 0x20 && b < 0x7F) || (b >= 0xB0 && b <= 0xDF)) << "byte " << int(b) << " in line " << lines;
        drawn = drawn || b >= 0xB0;
      }
      start = end + 2;
    }
    EXPECT_LE(lines, f.lines);
    EXPECT_TRUE(drawn) << "no block characters";
    EXPECT_NE(bytes.find(BRACKENFOLD_VERSION), std::string::npos) << "no version";
    EXPECT_NE(bytes.find("vantrel"), std::string::npos) << "no credits";
  }
}
