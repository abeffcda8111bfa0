#pragma once

#include <cstdio>
#include <string>

// Hands captured frames to ffmpeg as raw RGB through a pipe, then muxes the soundtrack in:
// one playable MP4 (H.264 and AAC) at the end.
class VideoEncoder {
 public:
  // False (with the reason in error) when ffmpeg cannot be run.
  static bool available(std::string& error);

  VideoEncoder(std::string output, std::string workDir, int width, int height, double fps);
  ~VideoEncoder();
  bool start();
  // One frame, rows top first, RGB.
  bool write(const unsigned char* rgb);
  // Ends the picture stream and muxes it with the WAV into the output file.
  bool finish(const std::string& wavPath);

 private:
  std::string output, workDir;
  int width, height;
  double fps;
  FILE* pipe = nullptr;
  std::string silentVideo() const { return workDir + "/video-only.mp4"; }
};
