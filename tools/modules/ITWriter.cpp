#include "modules/ITWriter.h"

#include <algorithm>
#include <cstring>

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
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  put16(out, at, v & 0xFFFF);
  put16(out, at + 2, v >> 16);
}
void text(std::vector<uint8_t>& out, const std::string& s, size_t width) {
  for (size_t i = 0; i < width; ++i) u8(out, i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

// Bits appended low first.
class BitWriter {
 public:
  void put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++bits_) {
      if ((bits_ & 7) == 0) bytes_.push_back(0);
      bytes_.back() = static_cast<uint8_t>(bytes_.back() | ((value >> i) & 1) << (bits_ & 7));
    }
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

// The widths of the stream and which values each can carry: up to 6 bits all but the one that
// says a change; from 7 bits all but the 8 (16-bit: 16) around the middle of the raw range; the
// widest every value.
struct Widths {
  bool sixteen;
  int valueBits() const { return sixteen ? 16 : 8; }
  int widest() const { return valueBits() + 1; }
  int around() const { return sixteen ? 8 : 4; }
  bool fits(int v, int width) const {
    if (width >= widest()) return true;
    const int half = 1 << (width - 1);
    if (width < 7) return v > -half && v < half;
    return v >= -half + around() && v < half - around();
  }
  int narrowest(int v) const {
    int w = 1;
    while (!fits(v, w)) ++w;
    return w;
  }
  void change(BitWriter& out, int from, int to) const {
    const uint32_t x = static_cast<uint32_t>(to < from ? to : to - 1);
    if (from < 7) {
      out.put(1u << (from - 1), from);
      out.put(x - 1, sixteen ? 4 : 3);
    } else if (from < widest()) {
      const uint32_t border = ((sixteen ? 0xFFFFu : 0xFFu) >> (widest() - from)) - static_cast<uint32_t>(around());
      out.put(border + x, from);
    } else {
      out.put(1u << valueBits() | static_cast<uint32_t>(to - 1), from);
    }
  }
};

std::vector<uint8_t> compressBlock(const std::vector<int>& values, const Widths& w) {
  BitWriter out;
  int width = w.widest();
  for (size_t i = 0; i < values.size(); ++i) {
    const int v = values[i];
    // Wider at once where the value needs it; narrower where the next few values allow it.
    int target = width;
    if (!w.fits(v, width)) {
      target = w.narrowest(v);
    } else {
      int ahead = w.narrowest(v);
      for (size_t k = i + 1; k < std::min(values.size(), i + 8); ++k) ahead = std::max(ahead, w.narrowest(values[k]));
      if (ahead < width) target = ahead;
    }
    if (target != width) {
      w.change(out, width, target);
      width = target;
    }
    // At the widest width the top bit says a change: a value keeps to the value bits.
    const int bits = std::min(width, w.valueBits());
    out.put(static_cast<uint32_t>(v) & ((1u << bits) - 1), width);
  }
  return out.bytes();
}
}  // namespace

std::vector<uint8_t> compressIT(const std::vector<int16_t>& values, bool sixteenBit, bool it215) {
  const Widths w{sixteenBit};
  const size_t block = sixteenBit ? 0x4000 : 0x8000;
  const int bits = w.valueBits();
  // A difference wrapped to the value bits, as a signed number.
  auto wrap = [bits](int v) {
    const int range = 1 << bits;
    v &= range - 1;
    return v >= range / 2 ? v - range : v;
  };
  std::vector<uint8_t> out;
  for (size_t start = 0; start < values.size(); start += block) {
    const size_t end = std::min(values.size(), start + block);
    std::vector<int> differences;
    int previous = 0, previousDifference = 0;
    for (size_t i = start; i < end; ++i) {
      const int v = sixteenBit ? values[i] : values[i] >> 8;
      const int d = wrap(v - previous);
      differences.push_back(it215 ? wrap(d - previousDifference) : d);
      previous = v;
      previousDifference = d;
    }
    const std::vector<uint8_t> stream = compressBlock(differences, w);
    le16(out, static_cast<uint32_t>(stream.size()));
    out.insert(out.end(), stream.begin(), stream.end());
  }
  return out;
}

ITInstrumentSpec::ITInstrumentSpec() {
  for (int n = 0; n < 120; ++n) keyNote[n] = static_cast<uint8_t>(n);
  std::fill(std::begin(keySample), std::end(keySample), 0);
}

void ITInstrumentSpec::mapAll(uint8_t sample) {
  for (int n = 0; n < 120; ++n) {
    keyNote[n] = static_cast<uint8_t>(n);
    keySample[n] = sample;
  }
}

ITModuleSpec::ITModuleSpec() {
  std::fill(std::begin(channelPan), std::end(channelPan), 32);
  std::fill(std::begin(channelVolume), std::end(channelVolume), 64);
}

namespace {
std::vector<uint8_t> packPattern(const ITPatternSpec& p, bool memory) {
  std::vector<uint8_t> rows;
  int lastMask[64], lastNote[64], lastInstrument[64], lastVolume[64], lastCommand[64];
  std::fill(std::begin(lastMask), std::end(lastMask), -1);
  std::fill(std::begin(lastNote), std::end(lastNote), -1);
  std::fill(std::begin(lastInstrument), std::end(lastInstrument), -1);
  std::fill(std::begin(lastVolume), std::end(lastVolume), -1);
  std::fill(std::begin(lastCommand), std::end(lastCommand), -1);
  for (const std::vector<ITCell>& row : p.rows) {
    for (const ITCell& c : row) {
      const int ch = c.channel & 63;
      const int command = c.command || c.parameter ? c.command << 8 | c.parameter : -1;
      uint8_t mask = 0;
      std::vector<uint8_t> values;
      auto field = [&](int value, int& last, uint8_t newBit, uint8_t lastBit) {
        if (value < 0) return false;
        if (memory && value == last) {
          mask |= lastBit;
          return false;
        }
        mask |= newBit;
        last = value;
        return true;
      };
      if (field(c.note, lastNote[ch], 1, 16)) u8(values, static_cast<uint32_t>(c.note));
      if (field(c.instrument, lastInstrument[ch], 2, 32)) u8(values, static_cast<uint32_t>(c.instrument));
      if (field(c.volume, lastVolume[ch], 4, 64)) u8(values, static_cast<uint32_t>(c.volume));
      if (field(command, lastCommand[ch], 8, 128)) {
        u8(values, c.command);
        u8(values, c.parameter);
      }
      if (mask == 0) continue;
      const bool newMask = !memory || mask != lastMask[ch];
      u8(rows, static_cast<uint32_t>(ch + 1) | (newMask ? 128 : 0));
      if (newMask) u8(rows, mask);
      lastMask[ch] = mask;
      rows.insert(rows.end(), values.begin(), values.end());
    }
    u8(rows, 0);
  }
  return rows;
}

void envelope(std::vector<uint8_t>& out, const ITEnvelopeSpec& e) {
  u8(out, e.flags);
  u8(out, static_cast<uint32_t>(e.points.size()));
  u8(out, e.loopStart);
  u8(out, e.loopEnd);
  u8(out, e.sustainStart);
  u8(out, e.sustainEnd);
  for (size_t i = 0; i < 25; ++i) {
    const ITEnvelopePoint p = i < e.points.size() ? e.points[i] : ITEnvelopePoint{0, 0};
    u8(out, static_cast<uint8_t>(p.value));
    le16(out, p.tick);
  }
  u8(out, 0);
}

std::vector<uint8_t> instrument(const ITInstrumentSpec& s, bool oldLayout) {
  std::vector<uint8_t> h;
  text(h, "IMPI", 4);
  text(h, "", 12);
  u8(h, 0);
  if (oldLayout) {
    u8(h, s.volume.flags & 7);
    u8(h, s.volume.loopStart);
    u8(h, s.volume.loopEnd);
    u8(h, s.volume.sustainStart);
    u8(h, s.volume.sustainEnd);
    le16(h, 0);
    le16(h, s.fadeout);
    u8(h, s.newNoteAction);
    u8(h, s.duplicateCheck ? 1 : 0);
    le16(h, 0x0100);
    u8(h, 0);
    u8(h, 0);
    text(h, s.name, 26);
    text(h, "", 6);
  } else {
    u8(h, s.newNoteAction);
    u8(h, s.duplicateCheck);
    u8(h, s.duplicateAction);
    le16(h, s.fadeout);
    u8(h, static_cast<uint8_t>(s.pitchPanSeparation));
    u8(h, s.pitchPanCentre);
    u8(h, s.globalVolume);
    u8(h, s.defaultPan);
    u8(h, s.randomVolume);
    u8(h, s.randomPan);
    le16(h, 0x0214);
    u8(h, 0);
    u8(h, 0);
    text(h, s.name, 26);
    u8(h, s.filterCutoff);
    u8(h, s.filterResonance);
    text(h, "", 4);  // MIDI channel, program, bank
  }
  for (int n = 0; n < 120; ++n) {
    u8(h, s.keyNote[n]);
    u8(h, s.keySample[n]);
  }
  if (oldLayout) {
    // The tracker's own table of the envelope's values by tick, which readers leave alone.
    text(h, "", 200);
    for (size_t i = 0; i < 25; ++i) {
      if (i < s.volume.points.size()) {
        u8(h, s.volume.points[i].tick);
        u8(h, static_cast<uint8_t>(s.volume.points[i].value));
      } else {
        u8(h, 0xFF);
        u8(h, 0);
      }
    }
  } else {
    envelope(h, s.volume);
    envelope(h, s.panning);
    envelope(h, s.pitch);
    text(h, "", 4);
  }
  return h;
}

// The sample's values as stored: channel after channel, 8-bit as the high bytes, unsigned with the
// middle at 128 (32768) where asked, or compressed channel after channel.
std::vector<uint8_t> sampleData(const ITSampleSpec& s) {
  const int channels = s.stereo ? 2 : 1;
  const size_t frames = s.data.size() / static_cast<size_t>(channels);
  std::vector<uint8_t> out;
  for (int c = 0; c < channels; ++c) {
    std::vector<int16_t> values;
    for (size_t f = 0; f < frames; ++f) values.push_back(s.data[f * static_cast<size_t>(channels) + static_cast<size_t>(c)]);
    if (s.compression != ITCompression::kNone) {
      const std::vector<uint8_t> packed = compressIT(values, s.sixteenBit, s.compression == ITCompression::kIT215);
      out.insert(out.end(), packed.begin(), packed.end());
      continue;
    }
    const uint32_t keep = s.sixteenBit ? 0xFFFF : 0xFF;
    uint32_t previous = 0;
    for (int16_t v : values) {
      const uint32_t wide = static_cast<uint16_t>(v ^ (s.signedValues ? 0 : 0x8000));
      uint32_t stored = s.sixteenBit ? wide : wide >> 8;
      if (s.deltaValues) {
        const uint32_t difference = (stored - previous) & keep;
        previous = stored;
        stored = difference;
      }
      if (!s.sixteenBit) {
        u8(out, stored);
      } else if (s.bigEndian) {
        u8(out, stored >> 8);
        u8(out, stored);
      } else {
        le16(out, stored);
      }
    }
  }
  return out;
}

std::vector<uint8_t> sampleHeader(const ITSampleSpec& s, uint32_t dataAt) {
  const int channels = s.stereo ? 2 : 1;
  const uint32_t frames = static_cast<uint32_t>(s.data.size() / static_cast<size_t>(channels));
  std::vector<uint8_t> h;
  text(h, "IMPS", 4);
  text(h, "", 12);
  u8(h, 0);
  u8(h, s.globalVolume);
  u8(h, (s.present ? 1 : 0) | (s.sixteenBit ? 2 : 0) | (s.stereo ? 4 : 0) |
            (s.compression != ITCompression::kNone ? 8 : 0) | (s.loop ? 16 : 0) | (s.sustain ? 32 : 0) |
            (s.pingPong ? 64 : 0) | (s.sustainPingPong ? 128 : 0));
  u8(h, s.volume);
  text(h, s.name, 26);
  u8(h, (s.signedValues ? 1 : 0) | (s.bigEndian ? 2 : 0) |
            (s.compression == ITCompression::kIT215 || s.deltaValues ? 4 : 0));
  u8(h, s.defaultPan);
  le32(h, s.statedLength >= 0 ? static_cast<uint32_t>(s.statedLength) : frames);
  le32(h, s.loopStart);
  le32(h, s.loopEnd);
  le32(h, s.c5Speed);
  le32(h, s.sustainStart);
  le32(h, s.sustainEnd);
  le32(h, dataAt);
  u8(h, s.vibratoSpeed);
  u8(h, s.vibratoDepth);
  u8(h, s.vibratoRate);
  u8(h, s.vibratoType);
  return h;
}
}  // namespace

std::vector<uint8_t> writeIT(const ITModuleSpec& m) {
  std::vector<uint8_t> out;
  text(out, "IMPM", 4);
  text(out, m.title, 26);
  u8(out, m.rowsPerBeat);
  u8(out, m.rowsPerMeasure);
  le16(out, static_cast<uint32_t>(m.orders.size()));
  le16(out, static_cast<uint32_t>(m.instruments.size()));
  le16(out, static_cast<uint32_t>(m.samples.size()));
  le16(out, static_cast<uint32_t>(m.patterns.size()));
  le16(out, m.createdWith);
  le16(out, m.compatibleWith);
  le16(out, m.flags);
  const uint16_t special = static_cast<uint16_t>((m.message.empty() ? 0 : 1) | (m.editHistoryEntries >= 0 ? 2 : 0) | 4 |
                                                 (m.embedMacros ? 8 : 0));
  le16(out, special);
  u8(out, m.globalVolume);
  u8(out, m.mixVolume);
  u8(out, m.speed);
  u8(out, m.tempo);
  u8(out, m.separation);
  u8(out, m.pitchWheelDepth);
  const size_t messageField = out.size();
  le16(out, 0);
  le32(out, 0);
  le32(out, m.reserved);
  for (uint8_t p : m.channelPan) u8(out, p);
  for (uint8_t v : m.channelVolume) u8(out, v);
  for (uint8_t o : m.orders) u8(out, o);
  const size_t pointers = out.size();
  const size_t count = m.instruments.size() + m.samples.size() + m.patterns.size();
  for (size_t i = 0; i < count; ++i) le32(out, 0);
  if (m.editHistoryEntries >= 0) {
    le16(out, static_cast<uint32_t>(m.editHistoryEntries));
    for (int i = 0; i < m.editHistoryEntries; ++i) text(out, "history", 8);
  }
  if (m.embedMacros) {
    for (const std::string& s : m.macros.global) text(out, s, 32);
    for (const std::string& s : m.macros.parametered) text(out, s, 32);
    for (const std::string& s : m.macros.fixed) text(out, s, 32);
  }
  if (!m.message.empty()) {
    put16(out, messageField, static_cast<uint32_t>(m.message.size() + 1));
    put32(out, messageField + 2, static_cast<uint32_t>(out.size()));
    for (char c : m.message) u8(out, c == '\n' ? '\r' : static_cast<uint8_t>(c));
    u8(out, 0);
  }
  size_t pointer = pointers;
  const bool oldLayout = m.compatibleWith < 0x200;
  for (const ITInstrumentSpec& ins : m.instruments) {
    if (ins.stored) {
      put32(out, pointer, static_cast<uint32_t>(out.size()));
      const std::vector<uint8_t> h = instrument(ins, oldLayout);
      out.insert(out.end(), h.begin(), h.end());
    }
    pointer += 4;
  }
  std::vector<size_t> headers;
  for (size_t i = 0; i < m.samples.size(); ++i, pointer += 4) {
    put32(out, pointer, static_cast<uint32_t>(out.size()));
    headers.push_back(out.size());
    out.resize(out.size() + 80, 0);
  }
  for (const ITPatternSpec& p : m.patterns) {
    if (p.stored) {
      put32(out, pointer, static_cast<uint32_t>(out.size()));
      const std::vector<uint8_t> rows = packPattern(p, m.packMemory);
      le16(out, static_cast<uint32_t>(rows.size()));
      le16(out, static_cast<uint32_t>(p.rows.size()));
      le32(out, 0);
      out.insert(out.end(), rows.begin(), rows.end());
    }
    pointer += 4;
  }
  for (size_t i = 0; i < m.samples.size(); ++i) {
    const uint32_t at = static_cast<uint32_t>(out.size());
    const std::vector<uint8_t> data = sampleData(m.samples[i]);
    out.insert(out.end(), data.begin(), data.end());
    const std::vector<uint8_t> h = sampleHeader(m.samples[i], m.samples[i].present ? at : 0);
    std::copy(h.begin(), h.end(), out.begin() + static_cast<std::ptrdiff_t>(headers[i]));
  }
  return out;
}
