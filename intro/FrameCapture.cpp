#include "FrameCapture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Programs/PictureFiles.h"
#include "Platform/Folders.h"

bool isCaptureFileName(const std::string& name) {
  if (name == "soundtrack.wav") return true;
  const std::string prefix = "frame_", suffix = ".png";
  if (name.size() < prefix.size() + 5 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end() - static_cast<long>(suffix.size()),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

int removeEarlierCapture(const std::string& dir) {
  int removed = 0;
  for (const std::string& name : fileNamesIn(dir))
    if (isCaptureFileName(name) && removeFile(dir + "/" + name)) ++removed;
  return removed;
}

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
  return writePngFile(pathOf(index).c_str(), width, height, 3, flipped.data(), stride);
}
