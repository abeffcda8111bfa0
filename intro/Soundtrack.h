#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Song;
class OfflineRenderer;

// The intro's music rendered offline through the player's block fill, frame by frame with a
// fixed time step: frame k covers samples k * rate / fps up to (k + 1) * rate / fps. The result
// is the same sound xmrender makes of the module for the same length.
class Soundtrack {
 public:
  Soundtrack(int moduleResource, double fps, int32_t rate = 44100);
  ~Soundtrack();

  bool loaded() const { return renderer != nullptr; }
  // Appends the samples of frame k (frames come in order from 0).
  void renderFrame(int64_t k);
  bool writeWav(const std::string& path) const;
  const std::vector<int16_t>& samples() const { return interleaved; }

 private:
  Song* song = nullptr;
  std::unique_ptr<OfflineRenderer> renderer;
  double fps;
  int32_t rate;
  int64_t blockFrames;
  std::vector<int16_t> pending;  // rendered, not yet handed to a frame
  std::vector<int16_t> interleaved;
};

// Writes 16-bit stereo PCM as a WAV file.
bool writeWavFile(const std::string& path, const std::vector<int16_t>& interleaved, int32_t rate);
