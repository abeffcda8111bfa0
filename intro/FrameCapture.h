#pragma once

#include <string>
#include <vector>

// Whether a file name is one a capture writes: frame_NNNNN.png (five digits or more) or
// soundtrack.wav.
bool isCaptureFileName(const std::string& name);
// Removes the files an earlier capture left in the folder, and only those; how many it removed.
int removeEarlierCapture(const std::string& dir);

// Reads back the frame just drawn (the back buffer) and writes it as DIR/frame_NNNNN.png.
class FrameCapture {
 public:
  FrameCapture(std::string dir, int width, int height);
  // The frame's RGB bytes, rows top first; valid until the next readBack.
  const unsigned char* readBack();
  // Writes what the last readBack read; false (errno saying why) when the file could not be
  // written.
  bool writePng(unsigned index) const;
  std::string pathOf(unsigned index) const;

 private:
  std::string dir;
  int width, height;
  std::vector<unsigned char> rows;
  std::vector<unsigned char> flipped;
};
