// wko: encodes PNG, TGA or PPM pictures to WKO streams (lossless or to a size), decodes them to
// PNG, PPM, PGM or TGA, and prints a stream's header and runs.
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "Programs/FileBytes.h"
#include "Programs/KeepFiles.h"
#include "Programs/Options.h"
#include "Programs/PictureFiles.h"

#include "ImageLib/BitStream.h"
#include "ImageLib/ImageReaders.h"
#include "ImageLib/WkoEncoder.h"
#include "ImageLib/WkoPlanes.h"

namespace {
const char kSynopsis[] =
    "usage: wko encode IN OUT.wko [--lossless | --bytes N | --bpp X] [--no-ycbcr]\n"
    "                          IN: PNG, TGA or PPM; lossless by default, or to N bytes, or X bits a pixel\n"
    "       wko decode IN.wko OUT      OUT.png, OUT.ppm, OUT.pgm (grey) or OUT.tga\n"
    "                          (IN -: standard input; OUT -: standard output, PNM for decode)\n"
    "       wko info IN.wko            header, P and q of every run, bits used\n"
    "       wko compare A B            PSNR of two pictures: PNG, TGA, PPM or WKO\n";
const char kOptionsHeading[] = "options, before or after the files (--opt=value too; -- ends them):\n";
const char kExitStatus[] =
    "exit status:\n"
    "  0  done\n"
    "  2  a bad command, option or value, a file that cannot be read or written, a picture or\n"
    "     stream it cannot read\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "wko: %s\n", message.c_str());
  return 2;
}

// A WKO stream has no signature of its own, so anything decodes to some picture. What is
// recognisably something else is named instead: signatures, a TGA header that makes sense, text.
const char* otherFormat(const std::vector<uint8_t>& b) {
  const size_t n = b.size();
  auto starts = [&](const char* text, size_t length) { return n >= length && !std::memcmp(b.data(), text, length); };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return "a PNG picture";
  if (starts("Extended Module: ", 17)) return "an XM module";
  if (starts("IMPM", 4)) return "an IT module";
  if (n >= 48 && !std::memcmp(b.data() + 44, "SCRM", 4)) return "an S3M module";
  if (n >= 1084 && (!std::memcmp(b.data() + 1080, "M.K.", 4) || !std::memcmp(b.data() + 1080, "M!K!", 4)))
    return "a MOD module";
  if (starts("\xff\xd8\xff", 3)) return "a JPEG picture";
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return "a GIF picture";
  if (n >= 14 && starts("BM", 2) && (b[2] | b[3] << 8 | b[4] << 16 | static_cast<size_t>(b[5]) << 24) == n)
    return "a BMP picture";
  if (n >= 3 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7' && std::isspace(b[2])) return "a PNM picture";
  if (n >= 18 + 26 && !std::memcmp(b.data() + n - 18, "TRUEVISION-XFILE.", 18)) return "a TGA picture";
  // An older TGA: no colour map or a colour map, one of the six image types, a pixel depth TGA
  // has, a size; without a colour map its five bytes are zero.
  if (n >= 18 && b[1] <= 1 && (b[2] == 1 || b[2] == 2 || b[2] == 3 || b[2] == 9 || b[2] == 10 || b[2] == 11) &&
      (b[16] == 8 || b[16] == 15 || b[16] == 16 || b[16] == 24 || b[16] == 32) && (b[12] | b[13]) && (b[14] | b[15]) &&
      (b[1] == 1 || !(b[3] | b[4] | b[5] | b[6] | b[7])))
    return "a TGA picture";
  // Text: the first kilobyte all printable or white space (a binary stream of even 16 bytes is
  // that by chance once in millions).
  const size_t head = std::min<size_t>(n, 1024);
  if (head >= 16 && std::all_of(b.begin(), b.begin() + static_cast<long>(head),
                                [](uint8_t c) { return (c >= 0x20 && c < 0x7F) || (c >= 9 && c <= 13); }))
    return "text";
  return nullptr;
}

// A file's bytes, or standard input's for "-".
bool readInput(const char* path, std::vector<uint8_t>& bytes) {
  if (std::strcmp(path, "-")) return readFileBytes(path, bytes);
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  return !std::ferror(stdin);
}

std::string shownName(const std::string& path) { return path == "-" ? "standard input" : path; }

// Reads a file that should hold a WKO stream; false with the message said when it does not.
bool readStream(const char* path, std::vector<uint8_t>& bytes, int& code) {
  code = 0;
  if (!readInput(path, bytes)) {
    code = fail(cannotRead(path));
    return false;
  }
  if (bytes.empty()) {
    code = fail(shownName(path) + ": empty file, not a WKO stream");
    return false;
  }
  if (const char* other = otherFormat(bytes)) {
    code = fail(shownName(path) + ": " + other + ", not a WKO stream (wko encode makes one)");
    return false;
  }
  return true;
}

// What encode may write over: a file that is nothing else recognisably (a WKO stream has no
// signature of its own).
bool isWkoHead(const std::string& head) { return !otherFormat(std::vector<uint8_t>(head.begin(), head.end())); }

bool writeAll(FILE* f, const uint8_t* data, size_t n) { return std::fwrite(data, 1, n, f) == n && std::fflush(f) == 0; }

std::string lowerExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
  std::string e = path.substr(dot);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double error = 0;
  for (size_t i = 0; i < a.size(); ++i) error += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = error / static_cast<double>(a.size());
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

// A record's pixels (bottom row first) top row first, as pictures are stored.
std::vector<uint8_t> topFirst(const Image& image) {
  const size_t row = static_cast<size_t>(image.width) * (image.bitsPerPixel / 8);
  std::vector<uint8_t> out(row * image.height);
  for (int y = 0; y < image.height; ++y)
    std::memcpy(out.data() + y * row, image.pixels.get() + (image.height - 1 - y) * row, row);
  return out;
}

// A PNG, TGA or PPM picture as bytes, top row first: grey stays one channel, anything with
// colour becomes RGB (alpha is dropped), 16-bit samples keep their high byte. What was lost on
// the way goes to *lost ("" when nothing was).
bool readPicture(const char* path, std::vector<uint8_t>& pixels, int& w, int& h, int& channels,
                 std::string* lost = nullptr) {
  std::vector<uint8_t> file;
  if (!readInput(path, file) || file.empty() || file.size() > INT32_MAX) return false;
  const int size = static_cast<int>(file.size());
  int n = 0;
  stbi_uc* loaded = stbi_load_from_memory(file.data(), size, &w, &h, &n, 0);
  if (!loaded) return false;
  channels = n <= 2 ? 1 : 3;
  if (lost) {
    const bool wide = stbi_is_16_bit_from_memory(file.data(), size), alpha = n == 2 || n == 4;
    *lost = std::string(wide ? "16-bit samples reduced to 8 bits" : "") + (wide && alpha ? ", " : "") +
            (alpha ? "alpha channel dropped" : "");
  }
  pixels.resize(static_cast<size_t>(w) * h * channels);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
    for (int c = 0; c < channels; ++c) pixels[i * channels + c] = loaded[i * n + c];
  stbi_image_free(loaded);
  return true;
}

// Why a picture could not be read: the system's reason, or that it is no picture wko reads.
std::string cannotReadPicture(const char* path, const char* formats) {
  if (!std::strcmp(path, "-")) return std::string("standard input: not a picture wko reads (") + formats + ")";
  FILE* f = std::fopen(path, "rb");
  if (!f) return cannotRead(path);
  char probe;
  const bool readable = std::fread(&probe, 1, 1, f) == 1 || !std::ferror(f);
  const int error = errno;
  std::fclose(f);
  if (!readable) {
    errno = error;
    return cannotRead(path);
  }
  return std::string(path) + ": not a picture wko reads (" + formats + ")";
}

// What encode is asked for.
struct EncodeSettings {
  bool lossless = false, noYcbcr = false, force = false;
  long bytes = 0;
  double bpp = 0;
};

// Names that promise a picture format of their own: a WKO stream under one would mislead
// whoever opens it (wko decode itself refuses such names).
bool pictureName(const std::string& extension) {
  for (const char* e : {".png", ".jpg", ".jpeg", ".jpe", ".jfif", ".tga", ".ppm", ".pgm", ".pnm", ".pbm", ".gif", ".bmp",
                        ".webp", ".tif", ".tiff", ".jp2", ".j2k", ".jpx", ".heic", ".avif", ".qoi"})
    if (extension == e) return true;
  return false;
}

int encode(const std::string& inName, const std::string& outName, const EncodeSettings& settings) {
  const char* in = inName.c_str();
  const char* out = outName.c_str();
  const bool ycbcr = !settings.noYcbcr;
  bool lossless = settings.lossless;
  double bytes = static_cast<double>(settings.bytes);
  const double bpp = settings.bpp;
  if (lossless + (bytes > 0) + (bpp > 0) > 1) return fail("choose one of --lossless, --bytes, --bpp");
  if (!ycbcr && bytes == 0 && bpp == 0)
    return fail("--no-ycbcr: only with --bytes or --bpp (lossless coding has no choice to make)");
  if (!lossless && bytes == 0 && bpp == 0) lossless = true;
  if (pictureName(lowerExtension(outName)))
    return fail(outName + ": a " + lowerExtension(outName) + " name for a WKO stream (name it .wko)");
  const bool toStandardOutput = outName == "-";
  if (toStandardOutput && isatty(fileno(stdout))) return fail("standard output is a terminal: redirect it or name a file");
  if (!toStandardOutput) {
    const std::string refusal = refusalToWrite(outName, {inName}, "a WKO stream", isWkoHead, settings.force);
    if (!refusal.empty()) return fail(refusal);
  }
  int w = 0, h = 0, channels = 0;
  std::vector<uint8_t> packed;
  std::string lost;
  if (!readPicture(in, packed, w, h, channels, &lost)) return fail(cannotReadPicture(in, "PNG, TGA or PPM"));
  if (!wkoPictureFits(w, h, channels))
    return fail(std::to_string(w) + " x " + std::to_string(h) + " with " + std::to_string(channels) +
                " channels is beyond WKO streams (at most 2^24 padded samples a plane, 3 x 2^24 in all)");
  // The stream holds less than the file: say so once, on stderr, and go on.
  if (!lost.empty()) std::fprintf(stderr, "wko: %s: %s\n", in, lost.c_str());
  if (bpp > 0) bytes = std::floor(bpp * w * h / 8);
  if (!lossless && bytes < 1) return fail("the size asked for is below one byte");
  const std::vector<uint8_t> stream =
      lossless ? encodeWkoLossless(packed.data(), w, h, channels)
               : encodeWkoBudget(packed.data(), w, h, channels, static_cast<uint32_t>(bytes), ycbcr);
  if (stream.empty()) return fail(lossless ? "cannot encode this picture" : "the size asked for cannot hold the stream's header");
  if (!(toStandardOutput ? writeAll(stdout, stream.data(), stream.size()) : writeFileBytes(out, stream)))
    return fail(cannotWrite(toStandardOutput ? "standard output" : outName));
  std::unique_ptr<Image> image(ReadWKO(stream.data(), static_cast<uint32_t>(stream.size()), false));
  if (!image) return fail("internal error: the stream does not decode");
  // The stream itself may be on standard output: the figures go beside it.
  std::fprintf(toStandardOutput ? stderr : stdout, "%dx%d, %d channels, %zu bytes, %.4f bpp, PSNR %.2f dB\n", w, h, channels, stream.size(),
              8.0 * static_cast<double>(stream.size()) / (static_cast<double>(w) * h), psnr(packed, topFirst(*image)));
  return 0;
}

// What an existing file must be for decode to write over it, by the name's extension.
bool isPngHead(const std::string& head) { return head.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }
bool isPnmHead(const std::string& head) { return head.size() > 2 && head[0] == 'P' && (head[1] == '5' || head[1] == '6'); }
bool isTgaHead(const std::string& head) {
  const char* named = otherFormat(std::vector<uint8_t>(head.begin(), head.end()));
  return named && !std::strcmp(named, "a TGA picture");
}

int decode(const std::string& inName, const std::string& out, bool force) {
  const char* in = inName.c_str();
  const bool toStandardOutput = out == "-";
  // On standard output, PNM as djpeg writes it: PPM for colour, PGM for grey.
  const std::string extension = toStandardOutput ? ".pnm" : lowerExtension(out);
  if (extension != ".png" && extension != ".ppm" && extension != ".pgm" && extension != ".tga" && !toStandardOutput)
    return fail(out + ": cannot write this format (the name must end in .png, .ppm, .pgm or .tga; - for PNM on "
                "standard output)");
  if (toStandardOutput && isatty(fileno(stdout))) return fail("standard output is a terminal: redirect it or name a file");
  if (!toStandardOutput) {
    const bool png = extension == ".png", tga = extension == ".tga";
    const std::string refusal = refusalToWrite(out, {inName}, png ? "a PNG picture" : tga ? "a TGA picture" : "a PNM picture",
                                               png ? isPngHead : tga ? isTgaHead : isPnmHead, force);
    if (!refusal.empty()) return fail(refusal);
  }
  std::vector<uint8_t> bytes;
  int code = 0;
  if (!readStream(in, bytes, code)) return code;
  if (extension == ".ppm" || extension == ".pgm" || extension == ".pnm") {
    // Binary PNM, as djpeg writes: a plain header, then the rows top first. They are packed and
    // written a band at a time, straight from the planes: a whole image record (bottom row
    // first, as the engine wants it) would only be turned around again.
    BitStream* s = bytes.size() <= 0x0FFFFFFF ? openBitStream(bytes.data(), "rm", static_cast<int32_t>(bytes.size() * 8))
                                              : nullptr;
    const bool colour = s && readBits(1, s);
    std::unique_ptr<WkoPlanes> planes = s ? decodeWkoVisiblePlanes(s) : nullptr;
    closeBitStream(s, nullptr);
    if (!planes) return fail(shownName(inName) + ": not a WKO stream");
    const int channels = planes->channels;
    // Grey goes into a PPM spread over its three channels, as djpeg writes grey when asked for PPM.
    const int written = extension == ".ppm" ? 3 : extension == ".pgm" ? 1 : channels;
    if ((channels != 1 && channels != 3) || (extension == ".pgm" && channels != 1))
      return fail(out + ": " + (extension == ".pgm" ? "PGM holds grey" : "PNM holds grey or colour") + ", the stream has " +
                  std::to_string(channels) + (channels == 3 ? " channels (write .ppm, .png or .tga)"
                                                            : " channels (write .png or .tga)"));
    FILE* f = toStandardOutput ? stdout : std::fopen(out.c_str(), "wb");
    if (!f) return fail(cannotWrite(out));
    std::fprintf(f, "%s\n%d %d\n255\n", written == 3 ? "P6" : "P5", planes->width, planes->height);
    const size_t row = static_cast<size_t>(planes->width) * channels;
    const size_t rowOut = static_cast<size_t>(planes->width) * written;
    constexpr int kBand = 32;
    std::vector<uint8_t> band(row), bandOut(rowOut * kBand);
    std::vector<int16_t> scratch(wkoRowScratch(*planes));
    bool ok = true;
    for (int y = 0; y < planes->height && ok; y += kBand) {
      const int rows = std::min(kBand, planes->height - y);
      for (int i = 0; i < rows; ++i) {
        uint8_t* at = bandOut.data() + i * rowOut;
        if (written == channels) {
          packWkoRow(*planes, colour, y + i, at, scratch.data());
          continue;
        }
        packWkoRow(*planes, colour, y + i, band.data(), scratch.data());
        for (size_t x = 0; x < row; ++x) at[3 * x] = at[3 * x + 1] = at[3 * x + 2] = band[x];
      }
      ok = std::fwrite(bandOut.data(), 1, rowOut * rows, f) == rowOut * rows;
    }
    const int error = errno;
    if (std::fclose(f) != 0 || !ok) {
      if (!ok) errno = error;
      return fail(cannotWrite(toStandardOutput ? "standard output" : out));
    }
    return 0;
  }
  std::unique_ptr<Image> image(ReadWKO(bytes.data(), static_cast<uint32_t>(bytes.size()), false));
  if (!image) return fail(shownName(inName) + ": not a WKO stream");
  const int channels = image->bitsPerPixel / 8;
  if (channels > 4) return fail(out + ": PNG and TGA hold at most 4 channels, the stream " + std::to_string(channels));
  const int stride = image->width * channels;
  // PNG and TGA files here store the top row first: start at the record's last row and step
  // backwards (TGA from a copy: its writer takes no stride).
  const uint8_t* top = image->pixels.get() + static_cast<size_t>(image->height - 1) * stride;
  bool written;
  if (extension == ".png") {
    written = writePngFile(out.c_str(), image->width, image->height, channels, top, -stride);
  } else {
    std::vector<uint8_t> rows(static_cast<size_t>(stride) * image->height);
    for (int y = 0; y < image->height; ++y)
      std::memcpy(rows.data() + static_cast<size_t>(y) * stride, top - static_cast<ptrdiff_t>(y) * stride, stride);
    written = writeTgaFile(out.c_str(), image->width, image->height, channels, rows.data());
  }
  if (!written) return fail(cannotWrite(out));
  return 0;
}

// Any picture readPicture takes, or a WKO stream.
bool loadPicture(const char* path, std::vector<uint8_t>& pixels, int& w, int& h, int& channels) {
  if (readPicture(path, pixels, w, h, channels)) return true;
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, bytes) || bytes.empty()) return false;
  std::unique_ptr<Image> image(ReadWKO(bytes.data(), static_cast<uint32_t>(bytes.size()), false));
  if (!image || (image->bitsPerPixel != 8 && image->bitsPerPixel != 24)) return false;
  w = image->width, h = image->height, channels = image->bitsPerPixel / 8;
  pixels = topFirst(*image);
  return true;
}

const char kCompared[] = "PNG, TGA, PPM or WKO";

int compare(const std::string& first, const std::string& second) {
  std::vector<uint8_t> a, b;
  int wa = 0, ha = 0, ca = 0, wb = 0, hb = 0, cb = 0;
  if (!loadPicture(first.c_str(), a, wa, ha, ca)) return fail(cannotReadPicture(first.c_str(), kCompared));
  if (!loadPicture(second.c_str(), b, wb, hb, cb)) return fail(cannotReadPicture(second.c_str(), kCompared));
  if (wa != wb || ha != hb || ca != cb) return fail("the pictures differ in size or channels");
  std::printf("PSNR %.2f dB\n", psnr(a, b));
  return 0;
}

int info(const std::string& in) {
  std::vector<uint8_t> bytes;
  int failed = 0;
  if (!readStream(in.c_str(), bytes, failed)) return failed;
  // What decode refuses is refused before a line of it is printed.
  if (!std::unique_ptr<Image>(ReadWKO(bytes.data(), static_cast<uint32_t>(std::min<size_t>(bytes.size(), UINT32_MAX)), false)))
    return fail(shownName(in) + ": not a WKO stream");
  const int32_t available = static_cast<int32_t>(std::min<size_t>(bytes.size(), 0x0FFFFFFF) * 8);
  BitStream* s = openBitStream(bytes.data(), "rm", available);
  const int colour = readBits(1, s);
  const int sized = readBits(1, s);
  int width = 0, height = 0;
  if (sized) {
    width = readBits(16, s) + 1;
    height = readBits(16, s) + 1;
  }
  const int channels = readBits(4, s) + 1;
  const int pw = 1 << readBits(4, s), ph = 1 << readBits(4, s);
  if (!sized) width = pw, height = ph;
  const int groups = readBits(4, s) + 1;
  const int code = readBits(5, s);
  std::printf("colour flag: %d\nsize: %d x %d (padded %d x %d)\nchannels: %d\ngroups: %d\nfirst-group code: %d\n",
              colour, width, height, pw, ph, channels, groups, code);
  if (code == 0) {
    closeBitStream(s, nullptr);
    return fail(shownName(in) + ": first-group code 0: not a WKO stream");
  }
  closeBitStream(s, nullptr);
  // Walk the runs with the decoder itself, reporting each one's header.
  s = openBitStream(bytes.data(), "rm", available);
  readBits(2 + (sized ? 32 : 0) + 21, s);
  const int64_t first = int64_t{1} << (code - 1);
  const int64_t samples = int64_t{pw} * ph;
  if (!wkoPlanesFit(pw, ph, channels) || first << (2 * (groups - 1)) > samples || width > pw || height > ph) {
    closeBitStream(s, nullptr);
    return fail(shownName(in) + ": the header describes an impossible plane: not a WKO stream");
  }
  std::vector<int16_t> values;
  for (int g = 0; g < groups; ++g) {
    const int64_t start = g == 0 ? 0 : first << (2 * (g - 1));
    const int64_t end = first << (2 * g);
    values.resize(static_cast<size_t>(end - start));
    for (int c = 0; c < channels; ++c) {
      // Peek at P and q, then let the decoder consume the run.
      BitStream peek = *s;
      const int planes = readBits(4, &peek);
      const int q = planes ? readBits(4, &peek) : 0;
      decodeCoefficientRun(values.data(), static_cast<int32_t>(end - start), 0, s);
      std::printf("group %d channel %d: %lld coefficients, P %d, q %d\n", g, c, static_cast<long long>(end - start),
                  planes, q);
    }
  }
  const int32_t consumed = available - s->bitBudget;
  std::printf("bits consumed: %d of %d\n", consumed, available);
  closeBitStream(s, nullptr);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  EncodeSettings encoding;
  std::string output;
  Options options(
      "wko",
      {Option::flag("--lossless", 0, encoding.lossless, "encode every pixel as it is (the default)"),
       Option::integer("--bytes", 0, "N", "bytes", 1, 1000000000, encoding.bytes,
                       "encode to N bytes, 1 to 1000000000 (a cut stream is a coarser picture)"),
       Option::number("--bpp", 0, "X", "bits a pixel", 0, 64, true, encoding.bpp,
                      "encode to X bits a pixel, above 0, at most 64"),
       Option::flag("--no-ycbcr", 0, encoding.noYcbcr,
                    "encode colour as R, G, B always (to a size, Y, Cb, Cr where it decodes closer)"),
       Option::text("--output", 'o', "OUT", "a file name", output,
                    "the file encode or decode writes, as OUT after IN (-: standard output)"),
       Option::flag("--force", 'f', encoding.force,
                    "write over an existing file that is not of the kind written\n(never over an input)")});
  if (const int code =
          options.answer(options.parse(argc, argv), std::string(kSynopsis) + kOptionsHeading, kExitStatus, BRACKENFOLD_VERSION);
      code >= 0)
    return code;
  std::vector<std::string> files = options.operands();
  if (files.empty()) {
    std::fputs(kSynopsis, stderr);
    std::fputs("options: wko --help\n", stderr);
    return 2;
  }
  const std::string command = files[0];
  files.erase(files.begin());
  const bool writes = command == "encode" || command == "decode";
  if (!writes && command != "info" && command != "compare")
    return fail("unknown command " + command + " (encode, decode, info or compare)");
  for (const char* option : {"--lossless", "--bytes", "--bpp", "--no-ycbcr"})
    if (command != "encode" && options.given(option)) return fail(std::string(option) + ": only with encode");
  if (!writes && options.given("--force")) return fail("--force: only with encode or decode");
  if (options.given("--output")) {
    if (!writes) return fail("--output: only with encode or decode");
    if (files.size() == 2) return fail("two outputs, " + files[1] + " and --output " + output + ": name one");
    files.push_back(output);
  }
  const size_t wanted = command == "info" ? 1 : 2;
  if (files.size() != wanted) {
    const char* needs = command == "encode"   ? "encode needs IN and OUT.wko"
                        : command == "decode" ? "decode needs IN.wko and OUT (.png, .ppm, .pgm or .tga)"
                        : command == "info"   ? "info needs IN.wko"
                                              : "compare needs two pictures";
    return fail(std::string(needs) + (files.size() > wanted ? ", one each: too many files" : "") + " (see --help)");
  }
  if (command == "encode") return encode(files[0], files[1], encoding);
  if (command == "decode") return decode(files[0], files[1], encoding.force);
  if (command == "info") return info(files[0]);
  return compare(files[0], files[1]);
}
