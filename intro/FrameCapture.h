#pragma once

#include <string>
#include <vector>

// Writes the frame just drawn (the back buffer) as DIR/frame_NNNNN.png.
class FrameCapture {
 public:
  FrameCapture(std::string dir, int width, int height);
  // False when the file could not be written.
  bool write(unsigned index);
  std::string pathOf(unsigned index) const;

 private:
  std::string dir;
  int width, height;
  std::vector<unsigned char> rows;
  std::vector<unsigned char> flipped;
};
