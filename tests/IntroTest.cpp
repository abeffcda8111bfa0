// The intro's content without a GL context: scroller text, glyph table, text ring, backdrop state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Backdrop.h"
#include "GLBitMapFont.h"
#include "GLServer/GraphicsServer.h"
#include "GLTextRing.h"
#include "ImageLib/Image.h"
#include "IntroContent.h"
#include "MorvelleCracktro01.h"
#include "Platform/virtual/ManualClock.h"
#include "Platform/virtual/VirtualWindowBackend.h"
#include "ScrollText.h"

namespace {
// Records the textures asked for; draws nothing.
class RecordingServer : public GraphicsServer {
 public:
  int getWidth() override { return 640; }
  int getHeight() override { return 480; }
  void setDisplayMode(int, int, int) override {}
  void init() override {}
  bool createWindow(int) override { return true; }
  bool update() override { return false; }
  int createTexture(const unsigned char*, int width, int height, int bitsPerPixel, int) override {
    textures.push_back({width, height, bitsPerPixel});
    return static_cast<int>(textures.size());
  }
  unsigned char* getKeys() override { return nullptr; }
  struct Texture {
    int width, height, bitsPerPixel;
  };
  std::vector<Texture> textures;
};

const std::vector<std::string> kLines = {
    " Brackenfold is proud to present: Our Next Release",
    "code: vantrel gfx: Oskwith music:rbq",
    "We greet: Morvelle Quennet and many more",
    "Please don't use more than 50 signs pro line",
    "in this intro",
    "Place     spaces    between    words   to",
    "center   the     words    on   the   tex  ",
    "ring",
};

class TextRingTest : public ::testing::Test {
 protected:
  TextRingTest() : font(16, 8, 32), ring(7.0f, 0.5f, 50, 3.0f) { font.loadFromResource(&server, 197, "images"); }
  // The glyph index a tile shows, found from its corner-1 texture coordinate (the glyph's lower left).
  int glyphOf(int tile) const {
    const float s = ring.items[tile].texCoords[1][0], t = ring.items[tile].texCoords[1][1];
    const int column = static_cast<int>(std::lround(s * 16)), row = static_cast<int>(std::lround((1 - t) * 8)) - 1;
    return row * 16 + column;
  }
  RecordingServer server;
  GLBitMapFont font;
  GLTextRing ring;
};

void expectCorners(const Glyph& g, std::vector<std::pair<float, float>> corners) {
  for (int c = 0; c < 4; ++c) {
    EXPECT_FLOAT_EQ(g.corners[c][0], corners[c].first) << "corner " << c;
    EXPECT_FLOAT_EQ(g.corners[c][1], corners[c].second) << "corner " << c;
  }
}
}  // namespace

TEST(ScrollText, SplitsTheBlockIntoTheEightLines) {
  auto block = scrollTextBlock();
  const auto lines = splitScrollText(block.get(), kScrollTextBytes);
  ASSERT_EQ(lines.size(), kLines.size());
  const size_t lengths[] = {50, 36, 40, 44, 13, 41, 42, 4};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].get(), kLines[i]);
    EXPECT_EQ(std::strlen(lines[i].get()), lengths[i]);
  }
  for (int i = 0; i < kScrollTextBytes; ++i) ASSERT_NE(block[i], '\n') << "every line feed is overwritten";
}

TEST(ScrollText, MoreLinesThanTheTableHoldsAndRaggedBlocks) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "x\n" + std::string(1, '\0');
  text += "tail without a line feed";
  const auto lines = splitScrollText(text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(lines.size(), static_cast<size_t>(kMaxScrollLines));
  // Two line feeds in a row: the byte behind a line feed belongs to no line.
  std::string ragged = "ab\n\nc\n";
  const auto two = splitScrollText(ragged.data(), static_cast<int>(ragged.size()));
  ASSERT_EQ(two.size(), 2u);
  EXPECT_STREQ(two[0].get(), "ab");
  EXPECT_STREQ(two[1].get(), "c");
}

TEST_F(TextRingTest, GlyphTableCorners) {
  ASSERT_EQ(server.textures.size(), 1u);
  EXPECT_EQ(server.textures[0].width, 256);
  EXPECT_EQ(server.textures[0].bitsPerPixel, 8);
  expectCorners(font.glyphs[32 - 32], {{0, 0.875f}, {0.0625f, 0.875f}, {0.0625f, 1}, {0, 1}});
  expectCorners(font.glyphs[159 - 32], {{0.9375f, 0}, {1, 0}, {1, 0.125f}, {0.9375f, 0.125f}});
  for (int c = 0; c + 1 < 16; ++c)  // neighbours share their edge exactly
    EXPECT_EQ(font.glyphs[3 * 16 + c].corners[1][0], font.glyphs[3 * 16 + c + 1].corners[0][0]);
}

TEST_F(TextRingTest, MissingFontImageGivesABlackTextureAndStillATable) {
  GLBitMapFont missing(16, 8, 32);
  missing.loadFromResource(&server, 4242, "images");
  EXPECT_EQ(missing.image, nullptr);
  ASSERT_EQ(server.textures.size(), 2u);
  EXPECT_EQ(server.textures[1].width, 1);
  expectCorners(missing.glyphs[0], {{0, 0.875f}, {0.0625f, 0.875f}, {0.0625f, 1}, {0, 1}});
}

TEST_F(TextRingTest, SetTextPutsTheLastCharacterOnTileZero) {
  ring.setText("ring", font.glyphs, 32, 128);
  EXPECT_EQ(glyphOf(0), 'g' - 32);
  EXPECT_EQ(glyphOf(1), 'n' - 32);
  EXPECT_EQ(glyphOf(2), 'i' - 32);
  EXPECT_EQ(glyphOf(3), 'r' - 32);
  for (int j = 4; j < 50; ++j) EXPECT_EQ(glyphOf(j), 0) << j;
  // Tile corners take the glyph's corners 1, 0, 3, 2: the glyph's lower edge at the tile's top.
  const float(&tc)[4][2] = ring.items[0].texCoords;
  EXPECT_FLOAT_EQ(tc[0][0], 0.5f);
  EXPECT_FLOAT_EQ(tc[0][1], 0.375f);
  EXPECT_FLOAT_EQ(tc[1][0], 0.4375f);
  EXPECT_FLOAT_EQ(tc[2][1], 0.5f);
  EXPECT_FLOAT_EQ(ring.items[0].corners[0][2], 0.25f);

  const std::string sixty = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
  ring.setText(sixty.c_str(), font.glyphs, 32, 128);
  EXPECT_EQ(glyphOf(0), 'X' - 32);
  EXPECT_EQ(glyphOf(49), 'a' - 32) << "only the last 50 characters are placed";

  ring.setText("\xE9\x01", font.glyphs, 32, 128);  // no glyph for either: blank tiles
  EXPECT_EQ(glyphOf(0), 0);
  EXPECT_EQ(glyphOf(1), 0);
}

TEST_F(TextRingTest, SetTextFillsEveryTileOrNoneAndStaysInsideTheFont) {
  const std::string fifty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx";
  ring.setText(fifty.c_str(), font.glyphs, 32, 128);
  for (int j = 0; j < 50; ++j) EXPECT_EQ(glyphOf(j), fifty[49 - j] - 32) << "tile " << j;

  ring.setText("", font.glyphs, 32, 128);
  for (int j = 0; j < 50; ++j) EXPECT_EQ(glyphOf(j), 0) << "tile " << j;

  // Half the intro's grid: codes 32 to 95. 'a' (97) has no cell there.
  GLBitMapFont half(16, 4, 32);
  half.loadFromResource(&server, 197, "images");
  ASSERT_EQ(half.glyphCount(), 64);
  ring.setText("a_", half.glyphs, 32, half.glyphCount());
  const auto expectTileShows = [&](int tile, const Glyph& g) {
    EXPECT_EQ(ring.items[tile].texCoords[0][0], g.corners[1][0]) << "tile " << tile;
    EXPECT_EQ(ring.items[tile].texCoords[0][1], g.corners[1][1]) << "tile " << tile;
    EXPECT_EQ(ring.items[tile].texCoords[2][0], g.corners[3][0]) << "tile " << tile;
    EXPECT_EQ(ring.items[tile].texCoords[2][1], g.corners[3][1]) << "tile " << tile;
  };
  expectTileShows(0, half.glyphs['_' - 32]);  // the last cell
  expectTileShows(1, half.glyphs[0]);
}

TEST_F(TextRingTest, SortDrawsFarTilesFirstAndKeepsNearTies) {
  GLTextRing::Tile tiles[4] = {};
  const float ys[4] = {0.5f, 3.0f, 0.9f, -2.0f};
  for (int i = 0; i < 4; ++i) {
    tiles[i].corners[0][1] = ys[i];
    tiles[i].angle = static_cast<float>(i);
  }
  sortTiles(tiles, 4);
  EXPECT_EQ(tiles[0].angle, 1);  // y 3.0
  // 0.5 and 0.9 differ by less than 1.0: alike, so they keep their order.
  EXPECT_EQ(tiles[1].angle, 0);
  EXPECT_EQ(tiles[2].angle, 2);
  EXPECT_EQ(tiles[3].angle, 3);
  EXPECT_EQ(compareTileDepth(&tiles[1], &tiles[2]), 0);
}

TEST_F(TextRingTest, ShowCycleSwitchesLinesOnceAndWrapsAround) {
  IntroContent content;
  auto block = scrollTextBlock();
  content.lines = splitScrollText(block.get(), kScrollTextBytes);
  content.lineCount = static_cast<int>(content.lines.size());
  content.font = std::make_unique<GLBitMapFont>(16, 8, 32);
  content.font->loadFromResource(&server, 197, "images");
  content.textRing = std::make_unique<GLTextRing>(7.0f, 0.5f, 50, 3.0f);
  content.textRing->setText(content.lines[0].get(), content.font->glyphs, 32, 128);
  GLTextRing& r = *content.textRing;

  const float step = 1.0f / 30;
  int frame = 0, switchFrame = -1;
  for (; frame < 30 * 30 && switchFrame < 0; ++frame) {
    const float alphaBefore = r.alpha;
    advanceScroller(content, step);
    if (content.lineIndex == 1) {
      switchFrame = frame;
      EXPECT_GT(alphaBefore, 0);
      EXPECT_LE(r.alpha, 0) << "the switch comes in the frame where alpha first reaches 0";
    }
  }
  ASSERT_GT(switchFrame, 0);
  // The ring starts at exactly full opacity, so the first time the hold ends it takes the
  // end-of-fade-in branch: phase back to 0 and a second hold, one step below full. Then 8 s of
  // fading: 2 pi + 2 pi + 8 * (1 - step / 8) seconds.
  const double switchSeconds = (switchFrame + 1) * step;
  EXPECT_NEAR(switchSeconds, 4 * 3.14159265 + 8 - step, 0.05);
  EXPECT_FLOAT_EQ(r.items[0].angle, 0) << "setText puts the tiles home";

  advanceScroller(content, step);
  EXPECT_EQ(r.fadeIn, 1);
  EXPECT_EQ(content.lineIndex, 1) << "not switched twice while alpha stays at 0";

  // The end of the fade-in: phase back to 0 and the same call's fade-out step.
  while (r.fadeIn == 1) {
    const float alphaBefore = r.alpha;
    advanceScroller(content, step);
    if (r.fadeIn == 0) {
      EXPECT_EQ(r.phase, 0);
      EXPECT_FLOAT_EQ(r.alpha, alphaBefore - step * 0.125f);
      EXPECT_GE(alphaBefore, 1);
    }
  }

  content.lineIndex = 7;
  r.alpha = 0.001f;
  r.phase = 4;
  advanceScroller(content, step);
  EXPECT_EQ(content.lineIndex, 0);
}

// At 60 fixed steps a second the fade-out's speed-up ends with the divisor near 2e-6 (3.0 is a
// whole number of steps), so the tiles turn by thousands of radians a frame; the letters must
// still stand edge to edge, in the order of the text.
TEST_F(TextRingTest, WholeFadeOutAtSixtyStepsKeepsTheTilesSpacing) {
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx";
  ASSERT_EQ(text.size(), 50u);
  ring.setText(text.c_str(), font.glyphs, 32, 128);
  float smallestDivisor = ring.spinDivisor;
  int frames = 0;
  for (; ring.alpha > 0 && frames < 60 * 30; ++frames) {
    ring.animate(1.0f / 60);
    smallestDivisor = std::min(smallestDivisor, std::fabs(ring.spinDivisor));
  }
  ASSERT_LE(ring.alpha, 0) << "the fade-out did not end";
  EXPECT_LT(smallestDivisor, 1e-4f);

  struct Placed {
    double angle;
    size_t position;  // in the text
  };
  std::vector<Placed> placed;
  for (int j = 0; j < 50; ++j) {
    const float* corner = ring.items[j].corners[0];
    const size_t position = text.find(static_cast<char>(glyphOf(j) + 32));
    ASSERT_NE(position, std::string::npos) << "tile " << j;
    placed.push_back({std::atan2(corner[1], corner[0]), position});
  }
  std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.angle < b.angle; });
  const double spacing = 2 * 3.14159265358979 / 50;
  for (int k = 0; k < 50; ++k) {
    const Placed& a = placed[k];
    const Placed& b = placed[(k + 1) % 50];
    const double gap = k + 1 < 50 ? b.angle - a.angle : b.angle + 2 * 3.14159265358979 - a.angle;
    EXPECT_NEAR(gap, spacing, 2e-5) << "between tiles " << k << " and " << k + 1 << " by angle";
    // Growing angles run from the last character of the text to the first.
    EXPECT_EQ(b.position, (a.position + 49) % 50) << "tile " << k + 1 << " by angle";
  }
}

TEST(TextRing, ZeroSpinDivisorKeepsTheAnglesFinite) {
  GLTextRing ring(7.0f, 0.5f, 50, 0.0f);
  ring.animate(0.1f);
  for (int j = 0; j < ring.count; ++j) EXPECT_TRUE(std::isfinite(ring.items[j].angle));
}

TEST(IntroDriver, CancelEndsWithOneBeforeAnyContentExists) {
  VirtualWindowBackend backend;
  backend.dialogScripts.push_back({{}, win::kIdCancel});
  ManualClock clock;
  IntroOptions options;  // the dialog, as a user starts the intro
  EXPECT_EQ(runIntro(options, backend, clock), 1);
  EXPECT_EQ(backend.dialogsShown, 1);
  EXPECT_EQ(backend.count("registerClass"), 0) << "no window was begun";
  EXPECT_TRUE(backend.warnings.empty());
  const IntroContent& content = introContent();
  EXPECT_EQ(content.font, nullptr);
  EXPECT_TRUE(content.lines.empty());
  EXPECT_EQ(content.rings, nullptr);
  EXPECT_EQ(content.textRing, nullptr);
  EXPECT_EQ(content.images, nullptr);
  EXPECT_EQ(content.music, nullptr);
}

TEST(Backdrop, PanelJumpsAndCrossfadeTurnsAround) {
  Backdrop b;
  b.advance(0.1f);  // starts at 0 and falling: turns around at once, from just below 0
  EXPECT_EQ(b.crossfadeUp, 1);
  EXPECT_FLOAT_EQ(b.crossfade, -0.02f);

  b.panelX = 3.25f;
  b.advance(0.2f);
  EXPECT_FLOAT_EQ(b.panelX, 2.8f);
  EXPECT_FLOAT_EQ(b.panelY, -1.8f);
  EXPECT_EQ(b.panelDir, -1);

  b.panelX = -6.75f;
  b.advance(0.2f);
  EXPECT_FLOAT_EQ(b.panelX, -6.3f);
  EXPECT_FLOAT_EQ(b.panelY, 1.5f);
  EXPECT_EQ(b.panelDir, 1);

  b.crossfade = 0.85f;
  b.advance(0.5f);
  EXPECT_EQ(b.crossfadeUp, 0);

  Backdrop still = b;
  still.crossfadeUp = 1;
  still.advance(0);  // 0.95 at or above 0.9: only the direction changes
  EXPECT_EQ(still.crossfadeUp, 0);
  EXPECT_EQ(still.panelX, b.panelX);
  EXPECT_EQ(still.layerTime, b.layerTime);
  EXPECT_EQ(still.crossfade, b.crossfade);
}
