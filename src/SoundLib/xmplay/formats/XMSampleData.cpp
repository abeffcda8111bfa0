#include "SoundLib/xmplay/formats/XMSampleData.h"

#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// One pass from the file's bytes: running sums of the deltas, 8-bit ones wrapping modulo 256 and
// taken as the high byte (what summing them widened would give), 16-bit ones modulo 65536.
void sumDeltas8(const uint8_t* in, int16_t* out, uint32_t n) {
  uint8_t sum = 0;
  uint32_t i = 0;
#if defined(__SSE2__)
  // Sixteen at a time: each byte plus all before it in the register (four shifted additions),
  // plus the running sum so far; then each as the high byte of its 16-bit value.
  __m128i carry = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi8(x, carry);
    carry = _mm_set1_epi8(static_cast<char>(_mm_extract_epi16(x, 7) >> 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(_mm_setzero_si128(), x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(_mm_setzero_si128(), x));
  }
  if (i > 0) sum = static_cast<uint8_t>(static_cast<uint16_t>(out[i - 1]) >> 8);
#endif
  for (; i < n; ++i) {
    sum = static_cast<uint8_t>(sum + in[i]);
    out[i] = static_cast<int16_t>(sum << 8);
  }
}

void sumDeltas16(const uint8_t* in, int16_t* out, uint32_t n) {
  uint16_t sum = 0;
  uint32_t i = 0;
#if defined(__SSE2__)
  // Eight at a time, as sumDeltas8 does (x86 is little-endian: the file's values load as they are).
  __m128i carry = _mm_setzero_si128();
  for (; i + 8 <= n; i += 8) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    x = _mm_add_epi16(x, _mm_slli_si128(x, 2));
    x = _mm_add_epi16(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi16(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi16(x, carry);
    carry = _mm_set1_epi16(static_cast<short>(_mm_extract_epi16(x, 7)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), x);
  }
  if (i > 0) sum = static_cast<uint16_t>(out[i - 1]);
#endif
  for (; i < n; ++i) {
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
