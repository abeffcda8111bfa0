// libFuzzer target: any byte string through CImageLib::LoadFromMem (WKO, raw and TGA readers).
//
// A WKO header may ask for up to 4096 x 4096 x 3 samples, and such a stream is decoded whole
// however short it is: at a few seconds an input, the fuzzer would spend its time on a handful
// of large planes instead of the bit stream's branches. Streams whose padded planes hold more
// than kMaxFuzzedSamples in all are passed over (every header field, run and coefficient path
// is reached by small pictures; WkoReaderTest decodes the largest one the format allows).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ImageLib/BitStream.h"
#include "ImageLib/CImageLib.h"

namespace {
constexpr int64_t kMaxFuzzedSamples = 64 * 64 * 3;

// Whether LoadFromMem hands the bytes to the WKO reader (see its choice of reader).
bool readAsWko(const uint8_t* b, size_t size) {
  if (size < 64) return true;
  static const uint8_t kTga[8] = {0, 0, 2, 0, 0, 0, 0, 0};
  const bool jpeg = b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF && b[3] == 0xE0 && !std::memcmp(b + 6, "JFIF", 4);
  const bool png = b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47;
  const bool raw = b[0] == 0x0F && b[1] == 0x0D && b[2] == 0x0B && b[3] == 0x07;
  return !jpeg && !png && !raw && std::memcmp(b, kTga, 8) != 0;
}

// The samples of the padded planes a WKO header asks for: channels x 2^a x 2^b.
int64_t paddedSamples(const uint8_t* data, size_t size) {
  const int32_t bits = static_cast<int32_t>(std::min<size_t>(size, 0x0FFFFFFF) * 8);
  BitStream* s = openBitStream(data, "rm", bits);
  if (!s) return 0;
  readBits(1, s);  // colour
  if (readBits(1, s)) {  // the picture's own size, within the planes
    readBits(16, s);
    readBits(16, s);
  }
  const int64_t channels = readBits(4, s) + 1;
  const int64_t width = int64_t{1} << readBits(4, s);
  const int64_t height = int64_t{1} << readBits(4, s);
  closeBitStream(s, nullptr);
  return channels * width * height;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* bytes = size ? data : reinterpret_cast<const uint8_t*>("");
  if (size && readAsWko(bytes, size) && paddedSamples(bytes, size) > kMaxFuzzedSamples) return 0;
  CImageLib lib;
  lib.LoadFromMem(bytes, static_cast<uint32_t>(size));
  return 0;
}
