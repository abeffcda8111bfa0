#include "FrameCapture.h"

#include <GL/gl.h>
#include <stb_image_write.h>

#include <cstdio>
#include <cstring>

FrameCapture::FrameCapture(std::string dir, int width, int height)
    : dir(std::move(dir)), width(width), height(height), rows(static_cast<size_t>(width) * height * 3),
      flipped(rows.size()) {}

std::string FrameCapture::pathOf(unsigned index) const {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05u.png", index);
  return dir + "/" + name;
}

const unsigned char* FrameCapture::readBack() {
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
  // GL reads bottom row first; PNG stores the top row first.
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    std::memcpy(&flipped[static_cast<size_t>(height - 1 - y) * stride], &rows[static_cast<size_t>(y) * stride], stride);
  return flipped.data();
}

bool FrameCapture::writePng(unsigned index) const {
  const int stride = width * 3;
  return stbi_write_png(pathOf(index).c_str(), width, height, 3, flipped.data(), stride) != 0;
}
