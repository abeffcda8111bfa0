// texgen: draws the two backdrop layers, 128 x 128 RGB, and encodes them as YCbCr WKO streams
// to their byte budgets. Both are functions on the torus (every term repeats after one turn in
// x and in y), so they tile without a seam under repeat wrapping. The first layer is a cool
// plasma of interfering, warped sine waves; the second a warm nebula, marble veins through
// glowing clouds. They drift against each other and cross-fade, so they differ in colour and in
// grain but share a middle brightness that leaves room for the additive text in front.
#include <stb_image_write.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "assets/AssetMath.h"
#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "Programs/PictureFiles.h"

#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoEncoder.h"

namespace {
using namespace asset;

const char kUsage[] =
    "usage: texgen OUT_DIR [--preview DIR]\n"
    "  writes OUT_DIR/layer202.wko and OUT_DIR/layer204.wko\n";

constexpr int kSize = 128;

int fail(const std::string& message) {
  std::fprintf(stderr, "texgen: %s\n", message.c_str());
  return 2;
}

using Picture = std::vector<uint8_t>;  // RGB, top row first

template <typename F>
Picture draw(F colourAt) {
  Picture out(kSize * kSize * 3);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const Rgb c = colourAt(static_cast<double>(x) / kSize, static_cast<double>(y) / kSize);
      uint8_t* p = &out[(y * kSize + x) * 3];
      p[0] = toByte(c.r), p[1] = toByte(c.g), p[2] = toByte(c.b);
    }
  return out;
}

// Interfering sine waves whose phases are bent by other waves; blues and teals with pale crests.
Rgb plasma(double u, double v) {
  const double warp = 0.5 * torusFbm(u, v, 4, 3, 202u) - 0.25;
  double p = sinTurns(2 * u + 0.30 * sinTurns(v + 0.15) + warp);
  p += sinTurns(3 * v + 0.25 * sinTurns(2 * u - v + 0.4));
  p += sinTurns(u + 2 * v - 0.6 * warp + 0.2);
  p += 0.6 * sinTurns(3 * u - 2 * v + 0.35 * sinTurns(u + v));
  const double t = p / 3.6 * 0.5 + 0.5;  // about 0 .. 1
  // A cyclic ramp through the band twice: the contour lines make the classic plasma rings.
  static const Rgb stops[] = {{0.02, 0.04, 0.16}, {0.05, 0.18, 0.42}, {0.08, 0.46, 0.66}, {0.42, 0.80, 0.90},
                              {0.10, 0.36, 0.62}, {0.16, 0.10, 0.46}, {0.04, 0.22, 0.52}, {0.30, 0.70, 0.86},
                              {0.02, 0.04, 0.16}};
  return ramp(stops, t);
}

// Marble veins, bent by turbulence, through a cloud of embers: wine reds to amber, the hue
// drifting slowly between rose and gold across the cloud.
Rgb nebula(double u, double v) {
  const double cloud = torusFbm(u, v, 3, 5, 204u);
  const double hue = torusFbm(u + 0.5, v + 0.25, 2, 2, 2042u);
  const double turb = torusFbm(u + 0.37, v + 0.61, 2, 4, 2041u);
  auto line = [](double w) {
    const double a = std::sqrt(w < 0 ? -w : w);
    return (1 - a) * (1 - a);  // bright where the wave crosses 0
  };
  const double veins = line(sinTurns(2 * u + v + 2.2 * turb)) + 0.5 * line(sinTurns(u - 2 * v + 1.7 * turb + 0.3));
  const double glow = smooth(clamp01((cloud - 0.34) * 2.4));
  const double t = 0.08 + 0.62 * glow;
  static const Rgb rose[] = {{0.05, 0.01, 0.07}, {0.26, 0.03, 0.14}, {0.52, 0.10, 0.16},
                             {0.70, 0.26, 0.20}, {0.78, 0.44, 0.32}};
  static const Rgb gold[] = {{0.05, 0.02, 0.03}, {0.24, 0.06, 0.05}, {0.50, 0.16, 0.05},
                             {0.68, 0.34, 0.08}, {0.78, 0.52, 0.18}};
  const Rgb base = mix(ramp(rose, t), ramp(gold, t), smooth(clamp01((hue - 0.3) * 2.5)));
  // The veins lighten all three components alike: they live in the brightness alone, and the
  // colour stays as smooth as the cloud (which is what makes Y, Cb, Cr the cheaper coding).
  const double light = 0.28 * veins * (0.45 + 0.55 * glow);
  return {base.r + light, base.g + light, base.b + light};
}

std::vector<uint8_t> encode(const Picture& picture, uint32_t budget) {
  return encodeWkoBudget(picture.data(), kSize, kSize, 3, budget, true);
}

Picture decoded(const std::vector<uint8_t>& stream) {
  std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
  Picture out(kSize * kSize * 3);
  for (int y = 0; y < kSize; ++y)  // the record holds the bottom row first
    std::memcpy(&out[y * kSize * 3], image->pixels.get() + (kSize - 1 - y) * kSize * 3, kSize * 3);
  return out;
}

bool writeTiled(const std::string& path, const Picture& p) {
  std::vector<uint8_t> big(4 * kSize * kSize * 3);
  for (int y = 0; y < 2 * kSize; ++y)
    for (int x = 0; x < 2 * kSize; ++x)
      std::memcpy(&big[(y * 2 * kSize + x) * 3], &p[((y % kSize) * kSize + x % kSize) * 3], 3);
  return writePngFile(path.c_str(), 2 * kSize, 2 * kSize, 3, big.data(), 2 * kSize * 3);
}
}  // namespace

int main(int argc, char** argv) {
  std::string previewDir;
  Options options("texgen", {Option::text("--preview", 0, "DIR", "a folder", previewDir,
                                          "also write the pictures before and after coding, tiled 2 x 2, as PNG")});
  if (const int code = options.answer(options.parse(argc, argv), kUsage, BRACKENFOLD_VERSION); code >= 0) return code;
  if (options.operands().size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* out = options.operands()[0].c_str();
  const char* preview = previewDir.empty() ? nullptr : previewDir.c_str();
  struct Layer {
    const char* name;
    Picture picture;
    uint32_t budget;  // the sizes of the original layers' streams
  } layers[] = {{"layer202", draw(plasma), 8186}, {"layer204", draw(nebula), 9356}};
  for (const Layer& layer : layers) {
    const std::vector<uint8_t> stream = encode(layer.picture, layer.budget);
    if (stream.empty()) return fail(std::string("cannot encode ") + layer.name);
    const std::string path = std::string(out) + "/" + layer.name + ".wko";
    if (!writeFileBytes(path.c_str(), stream)) return fail(cannotWrite(path));
    std::printf("texgen: %s: %zu bytes, colour flag %d\n", path.c_str(), stream.size(), stream[0] >> 7);
    if (preview) {
      const std::string base = std::string(preview) + "/" + layer.name;
      if (!writeTiled(base + "-source.png", layer.picture) || !writeTiled(base + "-coded.png", decoded(stream)))
        return fail("cannot write the previews in " + std::string(preview) + ": " + std::strerror(errno));
    }
  }
  return 0;
}
