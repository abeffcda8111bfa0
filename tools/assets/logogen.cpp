// logogen: draws the logo panel (256 x 32, "Brackenfold") and the window icon (a "B" at 32 x 32
// and 16 x 16) in one chrome style: letters with a sky-over-gold chrome fill split at a horizon,
// a bevel lit from the upper left, a dark rim and an electric-blue outer stroke with a soft glow.
// Everything is drawn at a multiple of the final size and box-filtered down, so the edges are
// smooth without any library's resampler.
//
// Outputs in OUT_DIR: logo193.wko (a lossless WKO stream of three Y, Cb, Cr planes, one group,
// colour flag set), icon214.rgba (32 x 32, R G B A bytes, top row first: what the SDL window
// shows) and brackenfold.ico (32 x 32 and 16 x 16, 32-bit with alpha, for the Windows build).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "assets/AssetMath.h"
#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "Programs/PictureFiles.h"

#include "ImageLib/BitStream.h"
#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoEncoder.h"
#include "ImageLib/WkoWavelet.h"

namespace {
using namespace asset;

const char kUsage[] =
    "usage: logogen FONT.ttf OUT_DIR [--preview DIR]\n"
    "  FONT.ttf: the intro's is /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "logogen: %s\n", message.c_str());
  return 2;
}

// A coverage mask at drawing resolution, 0 or 1 per sample.
struct Mask {
  int w = 0, h = 0;
  std::vector<uint8_t> on;
  bool at(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h && on[static_cast<size_t>(y) * w + x]; }
};

// Renders text into a mask of w x h with its ink box centred, as large as fits in the box
// inset by `margin` samples on every side; slanted by `shear` (x moves right by shear x height).
// Returns the rows of the cap band (top of the tallest letter to the baseline) through top/base.
bool renderText(FT_Face face, const char* text, int w, int h, int margin, double shear, Mask& out, int& top,
                int& base) {
  FT_Matrix slant = {0x10000, static_cast<FT_Fixed>(shear * 0x10000), 0, 0x10000};
  FT_Set_Transform(face, &slant, nullptr);
  // Lay the text out at a trial size to learn its ink box, then scale to fit.
  auto layout = [&](int ppem, Mask* draw, int ox, int oy, int& x0, int& y0, int& x1, int& y1) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem));
    x0 = y0 = 1 << 30, x1 = y1 = -(1 << 30);
    int pen = 0;
    FT_UInt previous = 0;
    for (const char* c = text; *c; ++c) {
      const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(*c));
      if (previous && FT_HAS_KERNING(face)) {
        FT_Vector kern;
        FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &kern);
        pen += static_cast<int>(kern.x >> 6);
      }
      if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING | FT_LOAD_TARGET_MONO)) return false;
      const FT_GlyphSlot g = face->glyph;
      const FT_Bitmap& bm = g->bitmap;
      for (unsigned y = 0; y < bm.rows; ++y)
        for (unsigned x = 0; x < bm.width; ++x) {
          if (!((bm.buffer[y * bm.pitch + (x >> 3)] >> (7 - (x & 7))) & 1)) continue;
          const int px = pen + g->bitmap_left + static_cast<int>(x), py = -g->bitmap_top + static_cast<int>(y);
          x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
          if (draw) {
            const int dx = px + ox, dy = py + oy;
            if (dx >= 0 && dy >= 0 && dx < draw->w && dy < draw->h) draw->on[static_cast<size_t>(dy) * draw->w + dx] = 1;
          }
        }
      pen += static_cast<int>(g->advance.x >> 6);
      previous = index;
    }
    return x1 >= x0;
  };
  int x0, y0, x1, y1;
  const int trial = 400;
  if (!layout(trial, nullptr, 0, 0, x0, y0, x1, y1)) return false;
  const double fit = std::min(static_cast<double>(w - 2 * margin) / (x1 - x0 + 1),
                              static_cast<double>(h - 2 * margin) / (y1 - y0 + 1));
  int ppem = static_cast<int>(std::floor(trial * fit));
  for (;; --ppem) {  // outlines do not scale exactly linearly: step down until it fits
    if (ppem < 4 || !layout(ppem, nullptr, 0, 0, x0, y0, x1, y1)) return false;
    if (x1 - x0 + 1 <= w - 2 * margin && y1 - y0 + 1 <= h - 2 * margin) break;
  }
  out = Mask{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h, 0)};
  const int ox = (w - (x1 - x0 + 1)) / 2 - x0, oy = (h - (y1 - y0 + 1)) / 2 - y0;
  layout(ppem, &out, ox, oy, x0, y0, x1, y1);
  FT_Set_Transform(face, nullptr, nullptr);
  top = y0 + oy;
  base = y1 + oy;
  return true;
}

// One line of the squared distance transform (Felzenszwalb and Huttenlocher): f holds 0 at set
// samples and a large value elsewhere; d receives min over q of (p - q)^2 + f[q].
void distanceLine(const std::vector<double>& f, std::vector<double>& d) {
  const int n = static_cast<int>(f.size());
  std::vector<int> v(static_cast<size_t>(n));
  std::vector<double> z(static_cast<size_t>(n) + 1);
  int k = 0;
  v[0] = 0, z[0] = -1e300, z[1] = 1e300;
  for (int q = 1; q < n; ++q) {
    auto meet = [&](int r) { return ((f[q] + static_cast<double>(q) * q) - (f[r] + static_cast<double>(r) * r)) / (2.0 * (q - r)); };
    double s = meet(v[k]);
    while (s <= z[k]) s = meet(v[--k]);  // z[0] is below every meeting point
    ++k;
    v[k] = q, z[k] = s, z[k + 1] = 1e300;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[k + 1] < q) ++k;
    d[q] = (q - v[k]) * static_cast<double>(q - v[k]) + f[v[k]];
  }
}

// Euclidean distance in samples from each sample to the nearest set one, at most `limit`.
std::vector<double> distanceTo(const Mask& m, int limit) {
  const double far = 1e12;
  std::vector<double> grid(static_cast<size_t>(m.w) * m.h);
  for (size_t i = 0; i < grid.size(); ++i) grid[i] = m.on[i] ? 0 : far;
  std::vector<double> f(static_cast<size_t>(m.h)), d(static_cast<size_t>(m.h));
  for (int x = 0; x < m.w; ++x) {
    for (int y = 0; y < m.h; ++y) f[y] = grid[static_cast<size_t>(y) * m.w + x];
    distanceLine(f, d);
    for (int y = 0; y < m.h; ++y) grid[static_cast<size_t>(y) * m.w + x] = d[y];
  }
  f.resize(static_cast<size_t>(m.w)), d.resize(static_cast<size_t>(m.w));
  for (int y = 0; y < m.h; ++y) {
    std::copy(grid.begin() + static_cast<ptrdiff_t>(y) * m.w, grid.begin() + static_cast<ptrdiff_t>(y + 1) * m.w, f.begin());
    distanceLine(f, d);
    for (int x = 0; x < m.w; ++x) grid[static_cast<size_t>(y) * m.w + x] = std::min(std::sqrt(d[x]), static_cast<double>(limit));
  }
  return grid;
}

// Straight colour plus coverage, at drawing resolution.
struct Canvas {
  int w, h;
  std::vector<Rgb> colour;
  std::vector<double> alpha;
};

// Where the glow around the letters ends, in pixels from the ink. The logo keeps a margin of
// kLogoMargin pixels around its ink, so the panel's outer rows and columns stay black (the
// texture repeats: anything there would show at the opposite edge).
constexpr double kGlowEnd = 3.8;
constexpr int kLogoMargin = 5;

// The chrome letters over a transparent ground. s: samples per final pixel; ink band from row
// `top` to row `base` of the mask.
Canvas paintChrome(const Mask& m, int top, int base, double s) {
  const int limit = static_cast<int>(std::ceil(kGlowEnd * s));
  const std::vector<double> outside = distanceTo(m, limit);
  Mask inverse = m;
  for (uint8_t& v : inverse.on) v = !v;
  const std::vector<double> inside = distanceTo(inverse, limit);

  Canvas c{m.w, m.h, std::vector<Rgb>(static_cast<size_t>(m.w) * m.h, Rgb{0, 0, 0}),
           std::vector<double>(static_cast<size_t>(m.w) * m.h, 0)};
  const Rgb skyTop{0.20, 0.42, 0.92}, skyLow{0.92, 0.97, 1.00};
  const Rgb groundHigh{0.22, 0.10, 0.16}, groundLow{1.00, 0.80, 0.36};
  const Rgb rim{0.02, 0.02, 0.08}, stroke{0.25, 0.60, 1.00}, glow{0.10, 0.18, 0.60};
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      const size_t i = static_cast<size_t>(y) * m.w + x;
      if (m.on[i]) {
        // Chrome: the sky darkens upward, the ground brightens downward, split at a horizon
        // a little above the middle of the letters.
        const double t = clamp01(static_cast<double>(y - top) / (base - top + 1));
        const double horizon = 0.52;
        Rgb fill = t < horizon ? mix(skyTop, skyLow, smooth(t / horizon))
                               : mix(groundHigh, groundLow, (t - horizon) / (1 - horizon));
        // Bevel: within 1.6 pixels of the edge, lit where the edge faces the upper left.
        const double depth = inside[i] / s;
        if (depth < 1.6) {
          auto in = [&](int xx, int yy) { return m.at(xx, yy) ? 1.0 : 0.0; };
          const int r = static_cast<int>(std::ceil(s));
          const double nx = in(x + r, y) - in(x - r, y), ny = in(x, y + r) - in(x, y - r);
          const double light = (nx + ny) * 0.5;  // +1 facing up-left (the mask grows down-right)
          const double edge = 1 - depth / 1.6;
          const Rgb lit = light > 0 ? Rgb{1, 1, 1} : Rgb{0.05, 0.05, 0.15};
          fill = mix(fill, lit, edge * 0.7 * (light > 0 ? light : -light));
        }
        c.colour[i] = fill;
        c.alpha[i] = 1;
      } else {
        const double d = outside[i] / s;  // pixels from the letters
        if (d <= 1.0) {
          c.colour[i] = rim, c.alpha[i] = 1;
        } else if (d <= 2.4) {
          c.colour[i] = stroke, c.alpha[i] = 1;
        } else if (d < kGlowEnd) {
          const double fade = 1 - (d - 2.4) / (kGlowEnd - 2.4);
          c.colour[i] = glow, c.alpha[i] = fade * fade;
        }
      }
    }
  return c;
}

// Box filter by an integer factor; colours weighted by coverage. RGBA bytes, top row first.
std::vector<uint8_t> shrink(const Canvas& c, int factor) {
  const int w = c.w / factor, h = c.h / factor;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int yy = 0; yy < factor; ++yy)
        for (int xx = 0; xx < factor; ++xx) {
          const size_t i = static_cast<size_t>(y * factor + yy) * c.w + x * factor + xx;
          r += c.colour[i].r * c.alpha[i], g += c.colour[i].g * c.alpha[i], b += c.colour[i].b * c.alpha[i];
          a += c.alpha[i];
        }
      uint8_t* p = &out[(static_cast<size_t>(y) * w + x) * 4];
      const double n = static_cast<double>(factor) * factor;
      p[3] = toByte(a / n);
      p[0] = a > 0 ? toByte(r / a) : 0, p[1] = a > 0 ? toByte(g / a) : 0, p[2] = a > 0 ? toByte(b / a) : 0;
    }
  return out;
}

// The decoder's colour conversion, exactly (16 fractional bits).
int limit(int32_t v) { return v < 0 ? 0 : v >= (1 << 24) ? 255 : v >> 16; }
void toRgb(int y, int cb, int cr, int rgb[3]) {
  rgb[0] = limit(y * 65536 + 91881 * cr - 11728000);
  rgb[1] = limit(y * 65536 - 46802 * cr - 22554 * cb + 8910336);
  rgb[2] = limit(y * 65536 + 116130 * cb - 14831872);
}

// A lossless stream of Y, Cb, Cr planes in one group. For each pixel the integer Y, Cb, Cr
// near the JFIF conversion whose decoded colour is closest to the wanted one: the planes are
// coded exactly, so the only loss is the colour conversion's own rounding.
std::vector<uint8_t> encodeYCbCrLossless(const uint8_t* rgb, int w, int h) {
  std::vector<std::vector<int16_t>> planes(3, std::vector<int16_t>(static_cast<size_t>(w) * h));
  for (int i = 0; i < w * h; ++i) {
    const double r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
    const int y0 = static_cast<int>(std::floor(0.299 * r + 0.587 * g + 0.114 * b + 0.5));
    const int cb0 = static_cast<int>(std::floor(128 - 0.168736 * r - 0.331264 * g + 0.5 * b + 0.5));
    const int cr0 = static_cast<int>(std::floor(128 + 0.5 * r - 0.418688 * g - 0.081312 * b + 0.5));
    int best = 1 << 30, by = y0, bcb = cb0, bcr = cr0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dcb = -1; dcb <= 1; ++dcb)
        for (int dcr = -1; dcr <= 1; ++dcr) {
          const int yy = std::clamp(y0 + dy, 0, 255), cb = std::clamp(cb0 + dcb, 0, 255),
                    cr = std::clamp(cr0 + dcr, 0, 255);
          int out[3];
          toRgb(yy, cb, cr, out);
          const int e = (out[0] - rgb[i * 3]) * (out[0] - rgb[i * 3]) +
                        (out[1] - rgb[i * 3 + 1]) * (out[1] - rgb[i * 3 + 1]) +
                        (out[2] - rgb[i * 3 + 2]) * (out[2] - rgb[i * 3 + 2]);
          if (e < best) best = e, by = yy, bcb = cb, bcr = cr;  // first of equals: the plain rounding first
        }
    planes[0][i] = static_cast<int16_t>(by), planes[1][i] = static_cast<int16_t>(bcb),
    planes[2][i] = static_cast<int16_t>(bcr);
  }
  // The picture is a power of two each way: no padding, no explicit size.
  const int logW = significantBits(w) - 1, logH = significantBits(h) - 1;
  const int levels = transformLevels(w, h);
  const ScanTables tables = buildScanTables(w, w, h, h, levels);
  BitStream* stream = openBitStream(nullptr, "wm", 0);
  writeBits(1, 1, stream);  // colour flag: Y, Cb, Cr
  writeBits(0, 1, stream);  // no explicit size
  writeBits(2, 4, stream);  // three channels
  writeBits(static_cast<uint32_t>(logW), 4, stream);
  writeBits(static_cast<uint32_t>(logH), 4, stream);
  writeBits(0, 4, stream);                                  // one group ...
  writeBits(static_cast<uint32_t>(logW + logH + 1), 5, stream);  // ... of the whole plane
  std::vector<int16_t> coded(static_cast<size_t>(w) * h);
  for (std::vector<int16_t>& plane : planes) {
    forwardTransform(plane.data(), w, h, levels);
    gatherCoefficients(coded.data(), plane.data(), tables, w, h, levels);
    encodeCoefficientRun(coded.data(), w * h, 0, stream);
  }
  const int32_t bits = stream->bitBudget;
  uint8_t* buffer = nullptr;
  closeBitStream(stream, &buffer);
  std::vector<uint8_t> out(buffer, buffer + (bits + 7) / 8);
  std::free(buffer);
  return out;
}

// A .ico of 32-bit images with alpha (each a bottom-up BGRA bitmap and its 1-bit AND mask).
std::vector<uint8_t> iconFile(const std::vector<std::pair<int, const std::vector<uint8_t>*>>& images) {
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) { out.push_back(static_cast<uint8_t>(v)), out.push_back(static_cast<uint8_t>(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(0), u16(1), u16(static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  auto maskRow = [](int size) { return ((size + 31) / 32) * 4; };
  for (auto [size, pixels] : images) {
    const uint32_t bytes = 40 + size * size * 4 + maskRow(size) * size;
    out.push_back(static_cast<uint8_t>(size)), out.push_back(static_cast<uint8_t>(size));
    out.push_back(0), out.push_back(0);  // no palette, reserved
    u16(1), u16(32), u32(bytes), u32(offset);
    offset += bytes;
  }
  for (auto [size, pixels] : images) {
    u32(40), u32(static_cast<uint32_t>(size)), u32(static_cast<uint32_t>(2 * size));  // height: colour + mask
    u16(1), u16(32), u32(0), u32(static_cast<uint32_t>(size * size * 4 + maskRow(size) * size));
    u32(0), u32(0), u32(0), u32(0);
    for (int y = size - 1; y >= 0; --y)
      for (int x = 0; x < size; ++x) {
        const uint8_t* p = &(*pixels)[(static_cast<size_t>(y) * size + x) * 4];
        out.push_back(p[2]), out.push_back(p[1]), out.push_back(p[0]), out.push_back(p[3]);
      }
    for (int y = size - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(maskRow(size)), 0);
      for (int x = 0; x < size; ++x)
        if ((*pixels)[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      out.insert(out.end(), row.begin(), row.end());
    }
  }
  return out;
}

// RGBA over a ground colour, as RGB.
std::vector<uint8_t> flatten(const std::vector<uint8_t>& rgba, Rgb ground) {
  std::vector<uint8_t> out(rgba.size() / 4 * 3);
  for (size_t i = 0; i < rgba.size() / 4; ++i) {
    const double a = rgba[i * 4 + 3] / 255.0;
    const double g[3] = {ground.r, ground.g, ground.b};
    for (int c = 0; c < 3; ++c) out[i * 3 + c] = toByte(rgba[i * 4 + c] / 255.0 * a + g[c] * (1 - a));
  }
  return out;
}

// The icon's ground: a rounded square of deep blue, lighter at the top, at drawing resolution.
void paintIconGround(Canvas& c, double s) {
  const double radius = 6 * s, inset = 0.5 * s;
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      const size_t i = static_cast<size_t>(y) * c.w + x;
      const double px = x + 0.5, py = y + 0.5;
      const double qx = std::max({inset + radius - px, px - (c.w - inset - radius), 0.0});
      const double qy = std::max({inset + radius - py, py - (c.h - inset - radius), 0.0});
      if (qx * qx + qy * qy > radius * radius) continue;
      const Rgb ground = mix(Rgb{0.10, 0.14, 0.40}, Rgb{0.01, 0.02, 0.10}, py / c.h);
      c.colour[i] = mix(ground, c.colour[i], c.alpha[i]);
      c.alpha[i] = 1;
    }
}
}  // namespace

int main(int argc, char** argv) {
  std::string previewDir;
  Options options("logogen", {Option::text("--preview", 0, "DIR", "a folder", previewDir,
                                           "also write the logo and the icons as PNG pictures, enlarged")});
  if (const int code = options.answer(options.parse(argc, argv), kUsage, BRACKENFOLD_VERSION); code >= 0) return code;
  if (options.operands().size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* font = options.operands()[0].c_str();
  const std::string dir = options.operands()[1];
  const char* preview = previewDir.empty() ? nullptr : previewDir.c_str();
  FT_Library library;
  if (FT_Init_FreeType(&library)) return fail("cannot start FreeType");
  FT_Face face;
  if (FT_New_Face(library, font, 0, &face)) {
    FT_Done_FreeType(library);
    return fail(std::string("cannot open font ") + font);
  }

  // Logo: 256 x 32 drawn at 8 samples per pixel.
  constexpr int kLogoW = 256, kLogoH = 32, kLogoScale = 8;
  Mask word;
  int top = 0, base = 0;
  const bool drawn = renderText(face, "Brackenfold", kLogoW * kLogoScale, kLogoH * kLogoScale, kLogoMargin * kLogoScale, 0.18,
                                word, top, base);
  // Icon: 32 x 32 drawn at 16 samples per pixel, so that the 16 x 16 is the same drawing.
  constexpr int kIconScale = 16, kIconDrawn = 32 * kIconScale;
  Mask letter;
  int itop = 0, ibase = 0;
  const bool drawnIcon = drawn && renderText(face, "B", kIconDrawn, kIconDrawn, 5 * kIconScale, 0.18, letter, itop, ibase);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  if (!drawn || !drawnIcon) return fail("the font cannot draw the logo's letters");

  const std::vector<uint8_t> logoRgba = shrink(paintChrome(word, top, base, kLogoScale), kLogoScale);
  // The panel is drawn additively over black: its ground is black, which adds nothing.
  const std::vector<uint8_t> logoRgb = flatten(logoRgba, Rgb{0, 0, 0});
  const std::vector<uint8_t> logo = encodeYCbCrLossless(logoRgb.data(), kLogoW, kLogoH);
  if (!writeFileBytes((dir + "/logo193.wko").c_str(), logo)) return fail(cannotWrite(dir + "/logo193.wko"));

  Canvas icon = paintChrome(letter, itop, ibase, kIconScale);
  paintIconGround(icon, kIconScale);
  const std::vector<uint8_t> icon32 = shrink(icon, kIconScale), icon16 = shrink(icon, 2 * kIconScale);
  if (!writeFileBytes((dir + "/icon214.rgba").c_str(), icon32)) return fail(cannotWrite(dir + "/icon214.rgba"));
  if (!writeFileBytes((dir + "/brackenfold.ico").c_str(), iconFile({{32, &icon32}, {16, &icon16}})))
    return fail(cannotWrite(dir + "/brackenfold.ico"));
  std::printf("logogen: logo %zu bytes, icon 32 x 32 and 16 x 16\n", logo.size());

  if (preview) {
    const std::string p = preview;
    std::unique_ptr<Image> decoded(ReadWKO(logo.data(), static_cast<uint32_t>(logo.size()), false));
    if (!decoded) return fail("internal error: the logo stream does not decode");
    // The decoded logo (bottom row first in the record), four times enlarged.
    std::vector<uint8_t> big(kLogoW * kLogoH * 16 * 3);
    for (int y = 0; y < kLogoH * 4; ++y)
      for (int x = 0; x < kLogoW * 4; ++x)
        std::memcpy(&big[(static_cast<size_t>(y) * kLogoW * 4 + x) * 3],
                    decoded->pixels.get() + ((kLogoH - 1 - y / 4) * kLogoW + x / 4) * 3, 3);
    bool ok = writePngFile((p + "/logo193.png").c_str(), kLogoW * 4, kLogoH * 4, 3, big.data(), kLogoW * 12);
    ok = ok && writePngFile((p + "/icon32.png").c_str(), 32, 32, 4, icon32.data(), 32 * 4);
    ok = ok && writePngFile((p + "/icon16.png").c_str(), 16, 16, 4, icon16.data(), 16 * 4);
    std::vector<uint8_t> big32(256 * 256 * 4);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) std::memcpy(&big32[(y * 256 + x) * 4], &icon32[((y / 8) * 32 + x / 8) * 4], 4);
    ok = ok && writePngFile((p + "/icon32x8.png").c_str(), 256, 256, 4, big32.data(), 256 * 4);
    if (!ok) return fail("cannot write the previews in " + p + ": " + std::strerror(errno));
  }
  return 0;
}
