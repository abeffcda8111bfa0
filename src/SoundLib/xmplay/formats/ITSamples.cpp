// IT's sample headers and data, and Impulse Tracker 2.14's and 2.15's compression.
#include "SoundLib/xmplay/formats/ITSamples.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/formats/ReaderShared.h"

namespace {
// The header's flags.
constexpr uint8_t kHasData = 1;
constexpr uint8_t kSixteenBit = 2;
constexpr uint8_t kStereo = 4;
constexpr uint8_t kCompressed = 8;
constexpr uint8_t kLoop = 16;
constexpr uint8_t kSustain = 32;
constexpr uint8_t kPingPongLoop = 64;
constexpr uint8_t kPingPongSustain = 128;
// Its convert flags.
constexpr uint8_t kSignedValues = 1;
constexpr uint8_t kBigEndian = 2;
constexpr uint8_t kDeltaValues = 4;  // with compression: 2.15's

uint8_t loopModeOf(bool on, bool pingPong, uint32_t start, uint32_t end) {
  if (!on || end <= start) return kLoopNone;
  return pingPong ? kLoopPingPong : kLoopForward;
}

// Values of up to 17 bits from a block's bytes, the low bits of each byte first.
class BitStream {
 public:
  BitStream(const uint8_t* data, size_t size) : data_(data), bits_(size * 8) {}
  bool read(int count, uint32_t& value) {
    if (position_ + static_cast<size_t>(count) > bits_) return false;
    value = 0;
    for (int i = 0; i < count; ++i, ++position_)
      value |= static_cast<uint32_t>(data_[position_ >> 3] >> (position_ & 7) & 1) << i;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t position_ = 0;
};

// One block of one channel. A width of 1 to 6 bits says a change by its value 1 << (width - 1),
// then 3 bits (4 for 16-bit data) of the new width less one; 7 up to the value bits by the 8
// (16) values around the middle of the range; the widest (9, 17) by its top bit, the low bits
// the new width less one. A new width is never the current one: those from it up count one more.
bool decodeBlock(const uint8_t* data, size_t size, uint32_t count, bool sixteenBit, bool it215, int16_t* out, int stride) {
  const int valueBits = sixteenBit ? 16 : 8;
  const int widest = valueBits + 1;
  const int fieldBits = sixteenBit ? 4 : 3;
  const uint32_t around = sixteenBit ? 8 : 4;
  BitStream bits(data, size);
  int width = widest;
  uint32_t once = 0, twice = 0;  // the sums, kept to the value bits below
  const uint32_t keep = sixteenBit ? 0xFFFF : 0xFF;
  for (uint32_t done = 0; done < count;) {
    if (width < 1 || width > widest) return false;
    uint32_t v = 0;
    if (!bits.read(width, v)) return false;
    int next = 0;
    if (width < 7) {
      if (v == 1u << (width - 1)) {
        uint32_t field = 0;
        if (!bits.read(fieldBits, field)) return false;
        next = static_cast<int>(field) + 1;
      }
    } else if (width < widest) {
      const uint32_t border = (keep >> (widest - width)) - around;
      if (v > border && v <= border + 2 * around) next = static_cast<int>(v - border);
    } else if (v & (1u << valueBits)) {
      width = static_cast<int>((v + 1) & 0xFF);
      continue;
    }
    if (next) {
      width = next < width ? next : next + 1;
      continue;
    }
    // A narrower value is signed; the full width wraps like the sums.
    if (width < valueBits) {
      const int shift = 32 - width;
      v = static_cast<uint32_t>(static_cast<int32_t>(v << shift) >> shift);
    }
    once = (once + v) & keep;
    twice = (twice + once) & keep;
    const uint32_t value = it215 ? twice : once;
    out[static_cast<size_t>(done) * static_cast<size_t>(stride)] =
        static_cast<int16_t>(sixteenBit ? value : value << 8);
    ++done;
  }
  return true;
}

uint32_t blockValues(bool sixteenBit) { return sixteenBit ? 0x4000 : 0x8000; }
}  // namespace

int64_t compressedITBytes(const uint8_t* data, size_t size, uint32_t frames, bool sixteenBit) {
  size_t at = 0;
  for (uint32_t left = frames; left > 0;) {
    const uint32_t count = std::min(left, blockValues(sixteenBit));
    if (at + 2 > size) return kITBlocksPastTheEnd;
    const size_t bytes = le16(data + at);
    if (at + 2 + bytes > size) return kITBlocksPastTheEnd;
    if (bytes * 8 < count) return kITBlocksUndecodable;
    at += 2 + bytes;
    left -= count;
  }
  return static_cast<int64_t>(at);
}

int64_t decompressIT(const uint8_t* data, size_t size, uint32_t frames, bool sixteenBit, bool it215, int16_t* out,
                     int stride) {
  size_t at = 0;
  for (uint32_t done = 0; done < frames;) {
    const uint32_t count = std::min(frames - done, blockValues(sixteenBit));
    if (at + 2 > size) return kITBlocksPastTheEnd;
    const size_t bytes = le16(data + at);
    if (at + 2 + bytes > size) return kITBlocksPastTheEnd;
    if (!decodeBlock(data + at + 2, bytes, count, sixteenBit, it215, out + static_cast<size_t>(done) * stride, stride))
      return kITBlocksUndecodable;
    at += 2 + bytes;
    done += count;
  }
  return static_cast<int64_t>(at);
}

void readITSampleHeader(Sample& sample, const uint8_t* h, ITSampleData& data) {
  std::memcpy(sample.name, h + 0x14, 26);
  sample.globalVolume = std::min<uint8_t>(h[0x11], 64);
  const uint8_t flags = h[0x12];
  sample.volume = std::min<uint8_t>(h[0x13], 64);
  const uint8_t convert = h[0x2E];
  sample.hasPanning = h[0x2F] & 0x80;
  sample.panning = std::min(h[0x2F] & 0x7F, 64) * 4;
  sample.length = le32(h + 0x30);
  const uint32_t loopStart = le32(h + 0x34), loopEnd = le32(h + 0x38);
  sample.c5Speed = le32(h + 0x3C);
  const uint32_t sustainStart = le32(h + 0x40), sustainEnd = le32(h + 0x44);
  sample.loopMode = loopModeOf(flags & kLoop, flags & kPingPongLoop, loopStart, loopEnd);
  sample.loopStart = loopStart;
  sample.loopLength = sample.loopMode == kLoopNone ? 0 : loopEnd - loopStart;
  sample.sustainMode = loopModeOf(flags & kSustain, flags & kPingPongSustain, sustainStart, sustainEnd);
  sample.sustainStart = sustainStart;
  sample.sustainLength = sample.sustainMode == kLoopNone ? 0 : sustainEnd - sustainStart;
  sample.vibratoRate = h[0x4C];
  sample.vibratoDepth = h[0x4D];
  sample.vibratoSweep = h[0x4E];
  sample.vibratoType = h[0x4F];
  sample.stereo = flags & kStereo;
  sample.fileChannels = sample.stereo ? 2 : 1;
  sample.bits = sample.storedBits = (flags & kSixteenBit) ? 16 : 8;
  data = {};
  if (!(flags & kHasData) || sample.length == 0) {
    sample.length = 0;
    return;
  }
  data.at = le32(h + 0x48);
  data.compressed = flags & kCompressed;
  data.it215 = data.compressed && (convert & kDeltaValues);
  data.isSigned = convert & kSignedValues;
  data.bigEndian = convert & kBigEndian;
  data.delta = !data.compressed && (convert & kDeltaValues);
}

namespace {
void silence(Sample& sample) {
  sample.length = 0;
  sample.data = nullptr;
  sample.stereo = false;
  sample.loopMode = sample.sustainMode = kLoopNone;
  settleLoop(sample);
  settleSustainLoop(sample);
  sample.mixLoopLength = 0;
}

// One channel's n plain values from `from`, each to out at the stride; the kinds of value as
// template arguments, so that the plain ones go as wide as the machine goes.
template <bool kSixteen, bool kBigEndian, bool kDelta>
void readValues(const uint8_t* from, uint32_t n, uint32_t flip, int16_t* out, int stride) {
  constexpr uint32_t kKeep = kSixteen ? 0xFFFF : 0xFF;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t v;
    if (kSixteen)
      v = kBigEndian ? uint32_t{from[2 * i]} << 8 | from[2 * i + 1] : from[2 * i] | uint32_t{from[2 * i + 1]} << 8;
    else
      v = from[i];
    if (kDelta) v = sum = (sum + v) & kKeep;
    v ^= flip;
    out[static_cast<size_t>(i) * stride] = static_cast<int16_t>(kSixteen ? v : v << 8);
  }
}

// Plain values: channel after channel, each `stated` values long, of which `frames` are read.
void readPlain(const uint8_t* raw, const Sample& sample, uint32_t stated, const ITSampleData& data, int16_t* out) {
  const int channels = sample.stereo ? 2 : 1;
  const bool sixteen = sample.storedBits == 16;
  const size_t bytesPerValue = sixteen ? 2 : 1;
  const uint32_t flip = data.isSigned ? 0 : (sixteen ? 0x8000 : 0x80);
  using Read = void (*)(const uint8_t*, uint32_t, uint32_t, int16_t*, int);
  static constexpr Read kReads[2][2][2] = {
      {{readValues<false, false, false>, readValues<false, false, true>},
       {readValues<false, true, false>, readValues<false, true, true>}},
      {{readValues<true, false, false>, readValues<true, false, true>},
       {readValues<true, true, false>, readValues<true, true, true>}}};
  const Read read = kReads[sixteen][sixteen && data.bigEndian][data.delta];
  for (int c = 0; c < channels; ++c)
    read(raw + static_cast<size_t>(c) * stated * bytesPerValue, sample.length, flip, out + c, channels);
}
}  // namespace

bool readITSampleData(Song& song, ByteReader& in, Sample& sample, const ITSampleData& data, uint32_t shortestMixedLoop,
                      int index, bool& whole) {
  const int channels = sample.stereo ? 2 : 1;
  const int64_t size = static_cast<int64_t>(in.size());
  if (data.at < 0 || sample.length == 0) {
    silence(sample);
    return true;
  }
  const int64_t available = std::max<int64_t>(0, size - data.at);
  const uint8_t* raw = nullptr;
  const uint32_t stated = sample.length;
  if (data.at < size) {
    in.seek(data.at);
    raw = in.here();
  }
  auto warn = [&](const char* what) {
    char line[96];
    std::snprintf(line, sizeof line, "sample %d (\"%s\") %s: silent", index, printableName(sample.name, 26).c_str(), what);
    song.warnings.emplace_back(line);
  };
  if (data.compressed) {
    // Every channel's blocks must be there, and have room for their values, before any memory is
    // taken: a header may claim any length.
    int64_t at = 0;
    for (int c = 0; c < channels; ++c) {
      const int64_t bytes = raw ? compressedITBytes(raw + at, static_cast<size_t>(available - at), stated, sample.storedBits == 16)
                                : kITBlocksPastTheEnd;
      if (bytes < 0) {
        if (bytes == kITBlocksPastTheEnd) whole = false;
        warn(bytes == kITBlocksPastTheEnd ? "is cut short" : "does not decompress");
        silence(sample);
        return true;
      }
      at += bytes;
    }
  } else {
    const int64_t bytesPerValue = sample.storedBits == 16 ? 2 : 1;
    // The right channel's values start after all of the left's, as stated.
    const int64_t values = available / bytesPerValue;
    const int64_t frames = channels == 1 ? values : std::min<int64_t>(values, std::max<int64_t>(0, values - stated));
    sample.length = static_cast<uint32_t>(std::min<int64_t>(stated, frames));
    if (sample.length < stated) whole = false;
    if (sample.length == 0) {
      silence(sample);
      return true;
    }
  }
  settleLoop(sample);
  settleSustainLoop(sample);
  const uint32_t frames = planMixLoop(sample, shortestMixedLoop);
  int16_t* buffer = newSampleBuffer(song, frames, channels);
  if (!buffer) return false;
  if (data.compressed) {
    int64_t at = 0;
    for (int c = 0; c < channels; ++c) {
      const int64_t bytes = decompressIT(raw + at, static_cast<size_t>(available - at), sample.length,
                                         sample.storedBits == 16, data.it215, buffer + c, channels);
      if (bytes < 0) {
        warn("does not decompress");
        silence(sample);
        return true;
      }
      at += bytes;
    }
  } else {
    readPlain(raw, sample, stated, data, buffer);
  }
  sample.bits = 16;
  finishSampleData(sample, buffer);
  sample.data = buffer;
  return true;
}
