#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SoundLib/xmplay/output/WavWriter.h"
#include "SoundLib/xmplay/formats/XMReader.h"

class OfflineRenderer;

// The intro's music rendered offline through the player's block fill and written to a WAV file
// frame by frame with a fixed time step: frame k covers samples k * rate / fps up to
// (k + 1) * rate / fps. The file holds the same sound bfrender makes of the module for the same
// length. Without the module the soundtrack is silence of the same length.
class Soundtrack {
 public:
  Soundtrack(int moduleResource, double fps, const std::string& wavPath, int32_t rate = 44100);
  ~Soundtrack();

  // Writes the samples of frame k (frames come in order from 0); false once the file failed.
  bool renderFrame(int64_t k);
  bool finish() { return wav.finish(); }

 private:
  SongPtr song;
  std::unique_ptr<OfflineRenderer> renderer;  // freed before the song
  double fps;
  int32_t rate;
  WavWriter wav;
  std::vector<int16_t> pending;  // rendered, not yet handed to a frame
};
