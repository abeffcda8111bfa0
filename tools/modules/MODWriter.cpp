#include "modules/MODWriter.h"

#include <algorithm>

namespace {
void u8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
void be16(std::vector<uint8_t>& out, uint32_t v) {
  u8(out, v >> 8);
  u8(out, v);
}
void text(std::vector<uint8_t>& out, const std::string& s, size_t width) {
  for (size_t i = 0; i < width; ++i) u8(out, i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

void writeNote(std::vector<uint8_t>& out, const MODNote& n) {
  u8(out, (n.sample & 0xF0) | (n.period >> 8 & 15));
  u8(out, n.period);
  u8(out, (n.sample & 15) << 4 | (n.effect & 15));
  u8(out, n.parameter);
}

// SoundTracker 2.6's and Ice Tracker's layout after the song length: the number of tracks, each
// position's four (those of the pattern it plays), the signature, the tracks.
void writeTracks(std::vector<uint8_t>& out, const MODModuleSpec& m) {
  u8(out, static_cast<uint32_t>(m.patterns.size() * 4));
  for (size_t p = 0; p < 128; ++p)
    for (int c = 0; c < 4; ++c) u8(out, p < m.orders.size() ? m.orders[p] * 4u + c : 0);
  text(out, m.signature, 4);
  for (const MODPatternSpec& p : m.patterns)
    for (int c = 0; c < 4; ++c)
      for (int row = 0; row < 64; ++row) {
        const size_t i = static_cast<size_t>(row) * 4 + c;
        writeNote(out, i < p.notes.size() ? p.notes[i] : MODNote{});
      }
}

void writeSampleData(std::vector<uint8_t>& out, const MODModuleSpec& m) {
  for (const MODSampleSpec& s : m.samples)
    for (int8_t v : s.data) u8(out, static_cast<uint8_t>(v));
}
}  // namespace

MODNote& MODPatternSpec::at(int row, int channel, int channels) {
  const size_t index = static_cast<size_t>(row) * channels + channel;
  if (notes.size() <= index) notes.resize(static_cast<size_t>(64) * channels);
  return notes[index];
}

std::vector<uint8_t> writeMOD(const MODModuleSpec& m) {
  std::vector<uint8_t> out;
  const int samples = m.signature.empty() ? 15 : 31;
  const bool tracks = m.signature == "MTN" || m.signature == "IT10";
  const bool flt8 = m.signature == "FLT8";
  text(out, m.title, 20);
  for (int i = 0; i < samples; ++i) {
    const MODSampleSpec none;
    const MODSampleSpec& s = i < static_cast<int>(m.samples.size()) ? m.samples[i] : none;
    text(out, s.name, 22);
    be16(out, s.lengthOverride >= 0 ? static_cast<uint32_t>(s.lengthOverride) : static_cast<uint32_t>(s.data.size() / 2));
    u8(out, static_cast<uint32_t>(s.finetune) & 15);
    u8(out, s.volume);
    be16(out, s.loopStart);
    be16(out, s.loopLength);
  }
  u8(out, static_cast<uint32_t>(m.orders.size()));
  if (tracks) {
    writeTracks(out, m);
    writeSampleData(out, m);
    return out;
  }
  u8(out, m.restart);
  std::vector<uint8_t> orders = m.orders;
  orders.insert(orders.end(), m.unplayedOrders.begin(), m.unplayedOrders.end());
  orders.resize(128);
  for (uint8_t o : orders) u8(out, flt8 ? o * 2 : o);
  if (!m.signature.empty()) text(out, m.signature, 4);
  if (m.signature.compare(0, 3, "FA0") == 0) text(out, "", 4);  // Digital Tracker's four bytes
  // FLT8: each pattern as two of four channels, the first four channels first.
  const int parts = flt8 ? 2 : 1;
  const int partChannels = m.channels / parts;
  for (const MODPatternSpec& p : m.patterns)
    for (int part = 0; part < parts; ++part)
      for (int row = 0; row < 64; ++row)
        for (int c = 0; c < partChannels; ++c) {
          const size_t i = static_cast<size_t>(row) * m.channels + part * partChannels + c;
          writeNote(out, i < p.notes.size() ? p.notes[i] : MODNote{});
        }
  writeSampleData(out, m);
  return out;
}
