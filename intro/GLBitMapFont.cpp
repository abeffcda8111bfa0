#include "GLBitMapFont.h"

#include "Base/LogFile.h"
#include "GLServer/GraphicsServer.h"
#include "ImageLib/CImageLib.h"

int textureOf(GraphicsServer& server, const Image* image) {
  if (image && image->pixels)
    return server.createTexture(image->pixels.get(), image->width, image->height, image->bitsPerPixel, 0);
  logPrint("no image: using a black texture\n");
  static const unsigned char black = 0;
  return server.createTexture(&black, 1, 1, 8, 0);
}

GLBitMapFont::GLBitMapFont(int columns, int rows, int firstChar) : columns(columns), rows(rows), firstChar(firstChar) {}

GLBitMapFont::~GLBitMapFont() {
  delete imageLib;
  delete[] glyphs;
}

void GLBitMapFont::loadFromResource(GraphicsServer* gls, int resourceId, const char* type) {
  server = gls;
  logPrint("GLBitMapFont::loadFromResource loading\n");
  imageLib = new CImageLib;
  image = imageLib->LoadFromResource(static_cast<uint16_t>(resourceId), type);
  texture = textureOf(*server, image);

  delete[] glyphs;
  glyphs = new Glyph[static_cast<size_t>(rows) * columns];
  const double fc = columns, fr = rows;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const auto lower = static_cast<float>(1.0 - (r + 1) / fr), upper = static_cast<float>(1.0 - r / fr);
      const auto left = static_cast<float>(c / fc), right = static_cast<float>((c + 1) / fc);
      glyphs[r * columns + c] = Glyph{{{left, lower}, {right, lower}, {right, upper}, {left, upper}}};
    }
}
