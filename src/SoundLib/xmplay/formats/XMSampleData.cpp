#include "SoundLib/xmplay/formats/XMSampleData.h"

#include <vector>

namespace {
// One pass from the file's bytes: running sums of the deltas, 8-bit ones wrapping modulo 256 and
// taken as the high byte (what summing them widened would give), 16-bit ones modulo 65536.
void sumDeltas8(const uint8_t* in, int16_t* out, uint32_t n) {
  uint8_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum = static_cast<uint8_t>(sum + in[i]);
    out[i] = static_cast<int16_t>(sum << 8);
  }
}

void sumDeltas16(const uint8_t* in, int16_t* out, uint32_t n) {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum = static_cast<uint16_t>(sum + (in[2 * i] | in[2 * i + 1] << 8));
    out[i] = static_cast<int16_t>(sum);
  }
}

// Running 16-bit sums of n deltas, wrapping modulo 65536.
void undelta(int16_t* data, uint32_t n) {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i]));
    data[i] = static_cast<int16_t>(sum);
  }
}

// 4-bit ADPCM: a table of 16 signed steps, then two steps a byte, the low nibble first.
void decodeADPCM(const uint8_t* in, int16_t* out, uint32_t frames) {
  const int8_t* table = reinterpret_cast<const int8_t*>(in);
  int8_t v = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t b = in[16 + i / 2];
    v = static_cast<int8_t>(v + table[i & 1 ? b >> 4 : b & 15]);
    out[i] = static_cast<int16_t>(v * 256);
  }
}

// Raw values as 16-bit: 8-bit ones are the high byte, 16-bit ones little-endian.
void widen(const uint8_t* raw, int16_t* out, uint32_t values, int bits) {
  for (uint32_t i = 0; i < values; ++i)
    out[i] = static_cast<int16_t>(bits == 8 ? raw[i] << 8 : raw[2 * i] | raw[2 * i + 1] << 8);
}
}  // namespace

int64_t xmStoredBytes(const Sample& sample) {
  if (sample.encoding == kADPCM) return sample.length == 0 ? 0 : 16 + (int64_t{sample.length} + 1) / 2;
  return int64_t{sample.length} * (sample.bits / 8) * sample.fileChannels;
}

void decodeXMSample(const Sample& sample, const uint8_t* raw, int16_t* out, bool deltas) {
  if (sample.encoding == kADPCM) {
    decodeADPCM(raw, out, sample.length);
  } else if (sample.fileChannels == 1 && deltas) {
    (sample.bits == 8 ? sumDeltas8 : sumDeltas16)(raw, out, sample.length);
  } else if (sample.fileChannels == 1) {
    widen(raw, out, sample.length, sample.bits);
  } else {
    // Decoded, then averaged.
    std::vector<int16_t> both(static_cast<size_t>(sample.length) * 2);
    widen(raw, both.data(), sample.length * 2, sample.bits);
    if (deltas) {
      undelta(both.data(), sample.length);
      undelta(both.data() + sample.length, sample.length);
    }
    for (uint32_t i = 0; i < sample.length; ++i) out[i] = static_cast<int16_t>((both[i] + both[sample.length + i]) >> 1);
  }
}
