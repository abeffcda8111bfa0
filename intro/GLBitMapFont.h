#pragma once

class CImageLib;
class GraphicsServer;
class Image;

// Four (s, t) corners of one character cell: 0 and 1 on the cell's lower edge, 2 and 3 on its
// upper edge, counter-clockwise from the lower left.
struct Glyph {
  float corners[4][2];
};

// A grid of character cells in one image, made into a texture and a table of texture
// coordinates, one record per character; it draws nothing itself.
class GLBitMapFont {
 public:
  GLBitMapFont(int columns, int rows, int firstChar);
  virtual ~GLBitMapFont();
  GLBitMapFont(const GLBitMapFont&) = delete;
  GLBitMapFont& operator=(const GLBitMapFont&) = delete;

  void loadFromResource(GraphicsServer* server, int resourceId, const char* type);
  int glyphCount() const { return rows * columns; }

  int texture = 0;
  int columns;
  int rows;
  int firstChar;
  GraphicsServer* server = nullptr;
  Image* image = nullptr;
  CImageLib* imageLib = nullptr;
  Glyph* glyphs = nullptr;
};

// The texture of an image, or of one black texel where the image is missing or undecodable, so
// that what it should have shown stays dark instead of drawing untextured white.
int textureOf(GraphicsServer& server, const Image* image);
