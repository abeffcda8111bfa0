#pragma once

struct Glyph;

// One line of text as a ring of character tiles standing edge to edge on a cylinder about the z
// axis, turning, sorted back to front and drawn additively. Runs its own show cycle: hold, fade
// out while the spin speeds up, then (after the owner's setText) fade in while it slows down.
class GLTextRing {
 public:
  struct Tile {
    float corners[4][3];
    float texCoords[4][2];
    float angle;
  };

  GLTextRing(float radius, float tileHeight, int count, float spinDivisor);
  ~GLTextRing();
  GLTextRing(const GLTextRing&) = delete;
  GLTextRing& operator=(const GLTextRing&) = delete;

  void layout();
  // glyphCount: the cells of the font (rows x columns); a character without one shows cell 0.
  void setText(const char* text, const Glyph* glyphs, int firstChar, int glyphCount);
  void animate(float frameDelta);
  void draw() const;

  int texture = 0;
  float radius;
  float tileHeight;
  int count;
  float spinDivisor;
  float phase = 0;
  Tile* items;
  float alpha = 1.0f;
  int fadeIn = 0;
};

// The depth order of two tiles: the far one (larger corner-0 y) first, keys closer than 1.0
// alike, as the difference truncated to an integer says.
int compareTileDepth(const void* p, const void* q);

// Sorts tiles by compareTileDepth as a top-down merge sort that keeps tiles comparing alike in
// their order. That is how the C library's qsort orders them here (a merge sort whenever it can
// allocate), and having it as our own keeps the order the same on every platform.
void sortTiles(GLTextRing::Tile* tiles, int count);
