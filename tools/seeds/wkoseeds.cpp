// Writes a few WKO streams made by the encoder into a folder: the image fuzzer's seed corpus.
// Grey and colour, lossless and to a size, square and odd shapes, so that every header field
// and both colour paths start out covered.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Programs/FileBytes.h"
#include "ImageLib/WkoEncoder.h"

namespace {
std::vector<uint8_t> picture(int w, int h, int channels) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        p[(static_cast<size_t>(y) * w + x) * channels + c] =
            static_cast<uint8_t>(128 + 90 * std::sin(x * 0.3 + c) * std::cos(y * 0.2) + ((x ^ y) & 7) * 4);
  return p;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: wkoseeds DIR\n", stderr);
    return 2;
  }
  struct Seed {
    int w, h, channels;
    uint32_t bytes;  // 0: lossless
    bool ycbcr;
  };
  const Seed seeds[] = {{4, 4, 1, 0, false},  {9, 5, 1, 0, false},    {16, 16, 3, 0, false}, {31, 17, 3, 120, true},
                        {64, 64, 3, 400, true}, {64, 32, 1, 150, false}, {40, 40, 3, 300, false}, {3, 70, 2, 0, false},
                        {20, 12, 4, 200, false}, {128, 128, 3, 900, true}};
  int written = 0;
  for (const Seed& s : seeds) {
    const std::vector<uint8_t> pixels = picture(s.w, s.h, s.channels);
    const std::vector<uint8_t> stream = s.bytes ? encodeWkoBudget(pixels.data(), s.w, s.h, s.channels, s.bytes, s.ycbcr)
                                                : encodeWkoLossless(pixels.data(), s.w, s.h, s.channels);
    const std::string name = std::string(argv[1]) + "/seed-" + std::to_string(s.w) + "x" + std::to_string(s.h) + "x" +
                             std::to_string(s.channels) + (s.bytes ? "-" + std::to_string(s.bytes) : "-lossless") + ".wko";
    if (stream.empty() || !writeFileBytes(name.c_str(), stream)) {
      std::fprintf(stderr, "wkoseeds: cannot write %s\n", name.c_str());
      return 1;
    }
    ++written;
  }
  std::printf("wkoseeds: %d streams\n", written);
  return 0;
}
