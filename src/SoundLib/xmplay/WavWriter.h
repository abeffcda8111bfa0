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
  std::vector<uint8_t> bytes_;
};
