#pragma once

#include <cstdint>
#include <memory>

// One decoded picture: rows packed, the bottom row first, components R, G, B (and a fourth).
class Image {
 public:
  Image(int32_t width, int32_t height, int32_t bitsPerPixel, std::unique_ptr<uint8_t[]> pixels)
      : width(width), height(height), bitsPerPixel(bitsPerPixel), pixels(std::move(pixels)) {}
  virtual ~Image() = default;

  int32_t width;
  int32_t height;
  int32_t bitsPerPixel;  // 8, 24 or 32 (16 for a two-channel WKO stream)
  std::unique_ptr<uint8_t[]> pixels;
};
