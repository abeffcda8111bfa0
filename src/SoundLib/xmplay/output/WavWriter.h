#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// A 16-bit stereo WAV file written as the frames come: the player renders a ring's worth at a
// time, which goes straight to the file, so memory stays flat however long the song. The sizes
// in the header are filled in at the end.
class WavWriter {
 public:
  WavWriter(const char* path, int rate);
  // Writes into a file the caller has opened (standard output, say) and this one closes. With
  // the count of frames to come given (frames >= 0) the header's sizes are written first and
  // never sought back to, as a pipe needs.
  WavWriter(FILE* file, int rate, int64_t frames = -1);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // count interleaved stereo frames; false once anything failed.
  bool write(const int16_t* frames, int64_t count);
  // Writes the sizes into the header and closes the file.
  bool finish();

 private:
  FILE* file_;
  bool ok_ = false;
  uint64_t dataBytes_ = 0;
  int64_t announcedFrames_ = -1;
  std::vector<uint8_t> bytes_;
};
