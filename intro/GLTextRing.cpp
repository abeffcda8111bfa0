#include "GLTextRing.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "GLBitMapFont.h"

namespace {
constexpr float kTwoPi = 6.2831855f;

// A character with no cell in the font's glyphCount cells from firstChar shows the blank of cell 0.
int glyphIndexOf(char c, int firstChar, int glyphCount) {
  const int index = static_cast<signed char>(c) - firstChar;
  return index >= 0 && index < glyphCount ? index : 0;
}

// Turns an angle in [0, 2 pi) by a turn of less than a whole turn either way, back into [0, 2 pi).
float turned(float angle, float turn) {
  angle += turn;
  if (angle >= kTwoPi) angle -= kTwoPi;
  if (angle < 0) angle += kTwoPi;
  return angle;
}

void mergeSort(GLTextRing::Tile* tiles, GLTextRing::Tile* scratch, int n) {
  if (n < 2) return;
  const int n1 = n / 2, n2 = n - n1;
  GLTextRing::Tile* right = tiles + n1;
  mergeSort(tiles, scratch, n1);
  mergeSort(right, scratch, n2);
  int i = 0, j = 0, k = 0;
  while (i < n1 && j < n2) scratch[k++] = compareTileDepth(&tiles[i], &right[j]) <= 0 ? tiles[i++] : right[j++];
  while (i < n1) scratch[k++] = tiles[i++];
  // What is left of the right half is already in place.
  std::memcpy(tiles, scratch, sizeof(GLTextRing::Tile) * static_cast<size_t>(k));
}
}  // namespace

int compareTileDepth(const void* p, const void* q) {
  const auto* a = static_cast<const GLTextRing::Tile*>(p);
  const auto* b = static_cast<const GLTextRing::Tile*>(q);
  return static_cast<int>(b->corners[0][1] - a->corners[0][1]);
}

void sortTiles(GLTextRing::Tile* tiles, int count) {
  // Kept between frames: the sort runs every frame and needs no fresh allocation. Only the
  // thread that draws sorts.
  static std::vector<GLTextRing::Tile> scratch;
  if (scratch.size() < static_cast<size_t>(count)) scratch.resize(static_cast<size_t>(count));
  mergeSort(tiles, scratch.data(), count);
}

GLTextRing::GLTextRing(float radius, float tileHeight, int count, float spinDivisor)
    : radius(radius), tileHeight(tileHeight), count(count), spinDivisor(spinDivisor), items(new Tile[count]()) {
  layout();
}

GLTextRing::~GLTextRing() { delete[] items; }

void GLTextRing::layout() {
  const float top = tileHeight / 2, bottom = -tileHeight / 2;
  for (int j = 0; j < count; ++j) {
    const float a = kTwoPi * static_cast<float>(j) / static_cast<float>(count);
    const float b = kTwoPi * static_cast<float>(j + 1) / static_cast<float>(count);
    const float ax = radius * std::cos(a), ay = radius * std::sin(a);
    const float bx = radius * std::cos(b), by = radius * std::sin(b);
    Tile& t = items[j];
    const float corners[4][3] = {{ax, ay, top}, {bx, by, top}, {bx, by, bottom}, {ax, ay, bottom}};
    std::memcpy(t.corners, corners, sizeof corners);
    t.angle = a;
  }
}

void GLTextRing::setText(const char* text, const Glyph* glyphs, int firstChar, int glyphCount) {
  layout();
  const int length = static_cast<int>(std::strlen(text));
  for (int j = 0; j < count; ++j) {
    const int index = j < length ? glyphIndexOf(text[length - 1 - j], firstChar, glyphCount) : 0;
    const Glyph& g = glyphs[index];
    // The glyph's lower edge goes to the tile's top (z = +h/2), which the ring's placement turns
    // to the bottom of the screen; its right edge to the tile's smaller angle.
    static constexpr int kFromGlyphCorner[4] = {1, 0, 3, 2};
    for (int c = 0; c < 4; ++c) {
      items[j].texCoords[c][0] = g.corners[kFromGlyphCorner[c]][0];
      items[j].texCoords[c][1] = g.corners[kFromGlyphCorner[c]][1];
    }
  }
}

void GLTextRing::animate(float frameDelta) {
  const float step = kTwoPi / static_cast<float>(count);
  // A divisor of exactly 0 (the last speed-up step can land there) would make every angle
  // infinite for good; that frame the tiles stand still instead. Near 0 the turn is thousands of
  // radians a frame, and so would the angles grow, until a float's spacing there is wider than a
  // tile: the angles stay within one turn, and so does the turn of a frame.
  const float turn = spinDivisor != 0 ? std::fmod(frameDelta / spinDivisor, kTwoPi) : 0.0f;
  for (int j = 0; j < count; ++j) {
    Tile& t = items[j];
    const float a = t.angle, b = a + step;
    const float ax = radius * std::cos(a), ay = radius * std::sin(a);
    const float bx = radius * std::cos(b), by = radius * std::sin(b);
    t.corners[0][0] = t.corners[3][0] = ax;
    t.corners[0][1] = t.corners[3][1] = ay;
    t.corners[1][0] = t.corners[2][0] = bx;
    t.corners[1][1] = t.corners[2][1] = by;
    t.angle = turned(t.angle, turn);
  }

  phase += frameDelta * 0.5f;
  if (phase > 3.1415927f) {
    if (!(alpha > 0)) {
      fadeIn = 1;
    } else if (alpha >= 1) {
      fadeIn = 0;
      phase = 0;
    }
    if (fadeIn == 1) {
      alpha += frameDelta * 0.1f;
      if (!(spinDivisor > 3.0f)) spinDivisor += frameDelta;
    }
    if (fadeIn == 0) {
      if (spinDivisor >= 0.01f) spinDivisor -= frameDelta;
      alpha -= frameDelta * 0.125f;
    }
  }
  sortTiles(items, count);
}

void GLTextRing::draw() const {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  for (int j = 0; j < count; ++j) {
    const Tile& t = items[j];
    glBegin(GL_QUADS);
    glColor4f(1, 1, 1, alpha);
    for (int c = 0; c < 4; ++c) {
      glTexCoord2fv(t.texCoords[c]);
      glVertex3fv(t.corners[c]);
    }
    glEnd();
  }
  // The blend function stays additive for whatever is drawn next.
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
}
