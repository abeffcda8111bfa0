#include "modules/S3MWriter.h"

#include <algorithm>

namespace {
void u8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
void le16(std::vector<uint8_t>& out, uint32_t v) {
  u8(out, v);
  u8(out, v >> 8);
}
void le32(std::vector<uint8_t>& out, uint32_t v) {
  le16(out, v & 0xFFFF);
  le16(out, v >> 16);
}
void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void text(std::vector<uint8_t>& out, const std::string& s, size_t width) {
  for (size_t i = 0; i < width; ++i) u8(out, i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
void align16(std::vector<uint8_t>& out) {
  while (out.size() % 16) u8(out, 0);
}

std::vector<uint8_t> packPattern(const S3MPatternSpec& p) {
  std::vector<uint8_t> rows;
  for (const std::vector<S3MCell>& row : p.rows) {
    for (const S3MCell& c : row) {
      uint8_t what = c.channel & 31;
      if (c.note >= 0 || c.instrument) what |= 32;
      if (c.volume >= 0) what |= 64;
      if (c.command || c.parameter) what |= 128;
      u8(rows, what);
      if (what & 32) {
        u8(rows, c.note >= 0 ? static_cast<uint32_t>(c.note) : 255);
        u8(rows, c.instrument);
      }
      if (what & 64) u8(rows, static_cast<uint32_t>(c.volume));
      if (what & 128) {
        u8(rows, c.command);
        u8(rows, c.parameter);
      }
    }
    u8(rows, 0);
  }
  return rows;
}
}  // namespace

std::vector<uint8_t> writeS3M(const S3MModuleSpec& m) {
  std::vector<uint8_t> out;
  text(out, m.title, 28);
  u8(out, 0x1A);
  u8(out, 16);
  le16(out, 0);
  le16(out, static_cast<uint32_t>(m.orders.size()));
  le16(out, static_cast<uint32_t>(m.samples.size()));
  le16(out, static_cast<uint32_t>(m.patterns.size()));
  le16(out, m.flags);
  le16(out, m.version);
  le16(out, m.unsignedSamples ? 2 : 1);
  text(out, "SCRM", 4);
  u8(out, m.globalVolume);
  u8(out, m.speed);
  u8(out, m.tempo);
  u8(out, m.masterVolume);
  u8(out, m.ultraClick);
  u8(out, m.storePans ? 252 : 0);
  for (int i = 0; i < 10; ++i) u8(out, 0);  // reserved, special
  for (uint8_t s : m.channelSettings) u8(out, s);
  for (uint8_t o : m.orders) u8(out, o);
  const size_t pointers = out.size();
  for (size_t i = 0; i < m.samples.size() + m.patterns.size(); ++i) le16(out, 0);
  if (m.storePans)
    for (uint8_t p : m.pans) u8(out, p);
  align16(out);
  std::vector<size_t> headers;
  for (size_t i = 0; i < m.samples.size(); ++i) {
    put16(out, pointers + 2 * i, static_cast<uint32_t>(out.size() / 16));
    headers.push_back(out.size());
    out.resize(out.size() + 80, 0);
    align16(out);
  }
  for (size_t i = 0; i < m.patterns.size(); ++i) {
    put16(out, pointers + 2 * (m.samples.size() + i), static_cast<uint32_t>(out.size() / 16));
    const std::vector<uint8_t> rows = packPattern(m.patterns[i]);
    le16(out, static_cast<uint32_t>(rows.size() + 2));
    out.insert(out.end(), rows.begin(), rows.end());
    align16(out);
  }
  for (size_t i = 0; i < m.samples.size(); ++i) {
    const S3MSampleSpec& s = m.samples[i];
    std::vector<uint8_t> h(80, 0);
    h[0] = s.type;
    const int channels = s.stereo ? 2 : 1;
    const uint32_t frames = static_cast<uint32_t>(s.data.size() / channels);
    if (s.type == 1) {
      const uint32_t paragraph = static_cast<uint32_t>(out.size() / 16);
      h[13] = static_cast<uint8_t>(paragraph >> 16);
      h[14] = static_cast<uint8_t>(paragraph);
      h[15] = static_cast<uint8_t>(paragraph >> 8);
      // The left values, then the right ones; unsigned where the format word says so.
      for (int c = 0; c < channels; ++c)
        for (uint32_t f = 0; f < frames; ++f) {
          const uint16_t v = static_cast<uint16_t>(s.data[static_cast<size_t>(f) * channels + c] ^ (m.unsignedSamples ? 0x8000 : 0));
          if (s.sixteenBit)
            le16(out, v);
          else
            u8(out, v >> 8);
        }
      align16(out);
    }
    std::vector<uint8_t> tail;
    le32(tail, frames);
    le32(tail, s.loopStart);
    le32(tail, s.loopEnd);
    std::copy(tail.begin(), tail.end(), h.begin() + 16);
    h[28] = s.volume;
    h[31] = static_cast<uint8_t>((s.loop ? 1 : 0) | (s.stereo ? 2 : 0) | (s.sixteenBit ? 4 : 0));
    h[32] = static_cast<uint8_t>(s.c2spd);
    h[33] = static_cast<uint8_t>(s.c2spd >> 8);
    h[34] = static_cast<uint8_t>(s.c2spd >> 16);
    h[40] = static_cast<uint8_t>(s.gusAddress);
    h[41] = static_cast<uint8_t>(s.gusAddress >> 8);
    for (size_t k = 0; k < 28 && k < s.name.size(); ++k) h[48 + k] = static_cast<uint8_t>(s.name[k]);
    h[76] = 'S', h[77] = 'C', h[78] = 'R', h[79] = s.type == 1 ? 'S' : 'I';
    std::copy(h.begin(), h.end(), out.begin() + static_cast<std::ptrdiff_t>(headers[i]));
  }
  return out;
}
