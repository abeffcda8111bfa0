// fontsheet: renders the intro's glyph sheet, a "tav_raw" image of 16 x 8 cells of 16 x 16
// pixels for the codes 32..159, from a TrueType font through FreeType's monochrome rasteriser
// (hinted outlines give the crispest strokes at this size; the output is only ever 0 or 255).
// One pixel size and one baseline serve every cell, chosen as the largest size at which every
// printable glyph fits inside a cell with a blank border of one pixel, so the texture's linear
// filtering never pulls ink from the neighbouring cell.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <stb_image_write.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "Programs/PictureFiles.h"

namespace {
const char kUsage[] =
    "usage: fontsheet FONT.ttf OUT.raw [--preview OUT.png]\n"
    "  FONT.ttf: a bold face; the intro's is /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf\n";

constexpr int kColumns = 16, kRows = 8, kCell = 16, kFirstCode = 32;
constexpr int kSheetWidth = kColumns * kCell, kSheetHeight = kRows * kCell;
constexpr int kInner = kCell - 2;  // ink area inside the blank border
constexpr int kFirstPrintable = 33, kLastPrintable = 126;

int fail(const std::string& message) {
  std::fprintf(stderr, "fontsheet: %s\n", message.c_str());
  return 2;
}

// One glyph as rendered: its ink box in rows above the baseline and columns from the pen.
struct Glyph {
  std::vector<uint8_t> ink;  // w x h, 1 = set
  int w = 0, h = 0;
  int top = 0;  // rows above the baseline of the first ink row (FreeType's bitmap_top, trimmed)
};

bool renderGlyph(FT_Face face, unsigned code, Glyph& out) {
  out = Glyph{};
  const FT_UInt index = FT_Get_Char_Index(face, code);
  if (!index) return false;
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME)) return false;
  const FT_Bitmap& bm = face->glyph->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_MONO) return false;
  const int rows = static_cast<int>(bm.rows), width = static_cast<int>(bm.width);
  auto bit = [&](int x, int y) { return (bm.buffer[y * bm.pitch + (x >> 3)] >> (7 - (x & 7))) & 1; };
  int x0 = width, x1 = -1, y0 = rows, y1 = -1;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width; ++x)
      if (bit(x, y)) {
        x0 = std::min(x0, x), x1 = std::max(x1, x);
        y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
  if (x1 < 0) return true;  // a blank glyph (the space)
  out.w = x1 - x0 + 1;
  out.h = y1 - y0 + 1;
  out.top = face->glyph->bitmap_top - y0;
  out.ink.resize(static_cast<size_t>(out.w) * out.h);
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x) out.ink[y * out.w + x] = static_cast<uint8_t>(bit(x0 + x, y0 + y));
  return true;
}

// Rows above and below the baseline and the widest ink over the printable codes at one size;
// false if a printable code has no glyph or no ink.
bool measure(FT_Face face, int ascent[1], int descent[1], int widest[1]) {
  *ascent = *descent = *widest = 0;
  for (unsigned code = kFirstPrintable; code <= kLastPrintable; ++code) {
    Glyph g;
    if (!renderGlyph(face, code, g) || g.w == 0) return false;
    *ascent = std::max(*ascent, g.top);
    *descent = std::max(*descent, g.h - g.top);
    *widest = std::max(*widest, g.w);
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  std::string previewFile;
  Options options("fontsheet", {Option::text("--preview", 0, "OUT.png", "a file name", previewFile,
                                             "also write the sheet as a PNG picture")});
  if (const int code = options.answer(options.parse(argc, argv), kUsage, BRACKENFOLD_VERSION); code >= 0) return code;
  if (options.operands().size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* font = options.operands()[0].c_str();
  const char* out = options.operands()[1].c_str();
  const char* preview = previewFile.empty() ? nullptr : previewFile.c_str();

  FT_Library library;
  if (FT_Init_FreeType(&library)) return fail("cannot start FreeType");
  FT_Face face;
  if (FT_New_Face(library, font, 0, &face)) {
    FT_Done_FreeType(library);
    return fail(std::string("cannot open font ") + font);
  }

  // The largest pixel size whose tallest ascent plus deepest descent and widest glyph fit.
  int size = 0, ascent = 0, descent = 0, widest = 0;
  for (int ppem = 8; ppem <= 24; ++ppem) {
    int a = 0, d = 0, w = 0;
    if (FT_Set_Pixel_Sizes(face, 0, ppem) || !measure(face, &a, &d, &w)) break;
    if (a + d > kInner || w > kInner) break;
    size = ppem, ascent = a, descent = d, widest = w;
  }
  if (!size) {
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return fail("the font has no size at which every printable glyph fits a cell");
  }
  FT_Set_Pixel_Sizes(face, 0, size);
  // The spare rows split evenly above and below, the odd one below (descenders are rarer).
  const int baseline = 1 + (kInner - ascent - descent) / 2 + ascent;

  std::vector<uint8_t> sheet(static_cast<size_t>(kSheetWidth) * kSheetHeight, 0);
  for (unsigned code = kFirstPrintable; code <= kLastPrintable; ++code) {
    Glyph g;
    renderGlyph(face, code, g);
    const int cell = static_cast<int>(code) - kFirstCode;
    const int left = (cell % kColumns) * kCell + 1 + (kInner - g.w) / 2;
    const int top = (cell / kColumns) * kCell + baseline - g.top;
    for (int y = 0; y < g.h; ++y)
      for (int x = 0; x < g.w; ++x)
        if (g.ink[y * g.w + x]) sheet[static_cast<size_t>(top + y) * kSheetWidth + left + x] = 255;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);

  // The raw format: signature 0F 0D 0B 07, width and height little-endian, rows top first.
  std::vector<uint8_t> file = {0x0F, 0x0D, 0x0B, 0x07};
  for (int v : {kSheetWidth, kSheetHeight})
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  file.insert(file.end(), sheet.begin(), sheet.end());
  if (!writeFileBytes(out, file)) return fail(cannotWrite(out));

  if (preview) {
    // Four times enlarged, the cell grid in dark blue, for looking at.
    constexpr int kScale = 4;
    const int w = kSheetWidth * kScale, h = kSheetHeight * kScale;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
        const uint8_t v = sheet[static_cast<size_t>(y / kScale) * kSheetWidth + x / kScale];
        const bool grid = ((x / kScale) % kCell == 0 && x % kScale == 0) || ((y / kScale) % kCell == 0 && y % kScale == 0);
        p[0] = p[1] = v;
        p[2] = v ? v : grid ? 96 : 0;
      }
    if (!writePngFile(preview, w, h, 3, rgb.data(), w * 3)) return fail(cannotWrite(preview));
  }
  std::printf("fontsheet: %d pixels per em, ascent %d, descent %d, widest %d, baseline row %d\n", size, ascent,
              descent, widest, baseline);
  return 0;
}
