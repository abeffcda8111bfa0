#include "modules/XMWriter.h"

#include <algorithm>
#include <cstring>

namespace {
class Bytes {
 public:
  void u8(uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) {
    u8(v);
    u8(v >> 8);
  }
  void u32(uint32_t v) {
    u16(v);
    u16(v >> 16);
  }
  void text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void patch16(size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  std::vector<uint8_t> out;
};

// The shorter of the packed form and the plain five bytes (plain needs a note).
void packNote(Bytes& b, const XMNote& n) {
  const uint8_t fields[5] = {n.note, n.instrument, n.volume, n.effect, n.parameter};
  uint8_t mask = 0x80;
  int present = 0;
  for (int i = 0; i < 5; ++i)
    if (fields[i]) {
      mask |= static_cast<uint8_t>(1 << i);
      ++present;
    }
  if (present == 5 && n.note < 0x80) {
    for (uint8_t f : fields) b.u8(f);
    return;
  }
  b.u8(mask);
  for (int i = 0; i < 5; ++i)
    if (fields[i]) b.u8(fields[i]);
}
}  // namespace

XMNote& XMPatternSpec::at(int row, int channel, int channels) {
  const size_t index = static_cast<size_t>(row) * channels + channel;
  if (notes.size() <= index) notes.resize(static_cast<size_t>(rows) * channels);
  return notes[index];
}

namespace {
void writePatterns(Bytes& b, const XMModuleSpec& m) {
  const bool oneByteRows = m.version == 0x0102;
  const uint32_t headerLength = m.patternHeaderLength ? m.patternHeaderLength : oneByteRows ? 8 : 9;
  for (const XMPatternSpec& p : m.patterns) {
    const size_t headerAt = b.out.size();
    b.u32(headerLength);
    b.u8(0);
    if (oneByteRows)
      b.u8(static_cast<uint32_t>(p.rows - 1));
    else
      b.u16(static_cast<uint32_t>(p.rows));
    const size_t sizeAt = b.out.size();
    b.u16(0);
    while (b.out.size() - headerAt < headerLength) b.u8(0);
    const size_t start = b.out.size();
    const size_t count = static_cast<size_t>(p.rows) * m.channels;
    bool empty = true;
    for (size_t i = 0; i < count && i < p.notes.size(); ++i) {
      const XMNote& n = p.notes[i];
      if (n.note || n.instrument || n.volume || n.effect || n.parameter) empty = false;
    }
    if (empty) continue;  // an empty pattern is stored with no data
    for (size_t i = 0; i < count; ++i) packNote(b, i < p.notes.size() ? p.notes[i] : XMNote{});
    b.patch16(sizeAt, static_cast<uint32_t>(b.out.size() - start));
  }
}

void writeInstrumentHeaders(Bytes& b, const XMModuleSpec& m, const XMInstrumentSpec& ins) {
  const size_t headerAt = b.out.size();
  b.u32(0);
  b.text(ins.name, 22);
  b.u8(0);
  b.u16(static_cast<uint32_t>(ins.samples.size()));
  if (ins.samples.empty()) {
    b.u32(m.sampleHeaderSize);
    b.patch32(headerAt, static_cast<uint32_t>(b.out.size() - headerAt));
    return;
  }
  b.u32(m.sampleHeaderSize);
  for (uint8_t s : ins.noteToSample) b.u8(s);
  for (const XMEnvelopeSpec* e : {&ins.volumeEnvelope, &ins.panningEnvelope})
    for (size_t i = 0; i < 12; ++i) {
      b.u16(i < e->points.size() ? e->points[i].tick : 0);
      b.u16(i < e->points.size() ? e->points[i].value : 0);
    }
  b.u8(static_cast<uint32_t>(ins.volumeEnvelope.points.size()));
  b.u8(static_cast<uint32_t>(ins.panningEnvelope.points.size()));
  for (const XMEnvelopeSpec* e : {&ins.volumeEnvelope, &ins.panningEnvelope}) {
    b.u8(e->sustain);
    b.u8(e->loopStart);
    b.u8(e->loopEnd);
  }
  b.u8(ins.volumeEnvelope.type);
  b.u8(ins.panningEnvelope.type);
  b.u8(ins.vibratoType);
  b.u8(ins.vibratoSweep);
  b.u8(ins.vibratoDepth);
  b.u8(ins.vibratoRate);
  b.u16(ins.fadeout);
  b.u16(0);  // reserved
  // A header shorter than the fields drops the last of them, as some writers do.
  while (b.out.size() - headerAt < m.instrumentHeaderSize) b.u8(0);
  b.out.resize(headerAt + m.instrumentHeaderSize);
  b.patch32(headerAt, m.instrumentHeaderSize);

  for (const XMSampleSpec& s : ins.samples) {
    const size_t at = b.out.size();
    const uint32_t unit = (s.sixteenBit ? 2 : 1) * (s.right.empty() ? 1 : 2);
    const uint32_t length = s.lengthOverride >= 0 ? static_cast<uint32_t>(s.lengthOverride)
                            : !s.stored.empty() && s.reserved == 0xAD ? static_cast<uint32_t>(s.data.size())
                                                                       : static_cast<uint32_t>(s.data.size()) * unit;
    b.u32(length);
    b.u32(s.loopStart * unit);
    b.u32(s.loopLength * unit);
    b.u8(s.volume);
    b.u8(static_cast<uint8_t>(s.finetune));
    b.u8((s.loopType & 3) | (s.sixteenBit ? 16 : 0) | (s.right.empty() ? 0 : 32));
    b.u8(s.panning);
    b.u8(static_cast<uint8_t>(s.relativeNote));
    b.u8(s.reserved);
    b.text(s.name, 22);
    while (b.out.size() - at < m.sampleHeaderSize) b.u8(0);
  }
}

void writeDeltas(Bytes& b, const std::vector<int16_t>& values, bool sixteenBit) {
  int32_t previous = 0;
  for (int16_t v : values) {
    const int32_t delta = v - previous;
    previous = v;
    if (sixteenBit)
      b.u16(static_cast<uint16_t>(delta));
    else
      b.u8(static_cast<uint8_t>(delta));
  }
}

void writeSampleData(Bytes& b, const XMInstrumentSpec& ins) {
  for (const XMSampleSpec& s : ins.samples) {
    if (!s.stored.empty()) {
      b.out.insert(b.out.end(), s.stored.begin(), s.stored.end());
      continue;
    }
    writeDeltas(b, s.data, s.sixteenBit);
    if (!s.right.empty()) writeDeltas(b, s.right, s.sixteenBit);
  }
}
}  // namespace

std::vector<uint8_t> writeXM(const XMModuleSpec& m) {
  Bytes b;
  b.text("Extended Module: ", 17);
  b.text(m.name, 20);
  b.u8(0x1A);
  b.text(m.tracker, 20);
  b.u16(m.version);
  b.u32(static_cast<uint32_t>(20 + m.headerOrders));
  b.u16(static_cast<uint32_t>(m.orders.size()));
  b.u16(m.restartPosition);
  b.u16(static_cast<uint32_t>(m.channels));
  b.u16(static_cast<uint32_t>(m.patterns.size()));
  b.u16(static_cast<uint32_t>(m.instruments.size()));
  b.u16(m.flags);
  b.u16(m.speed);
  b.u16(m.bpm);
  for (size_t i = 0; i < static_cast<size_t>(m.headerOrders); ++i) b.u8(i < m.orders.size() ? m.orders[i] : 0);

  if (m.version >= 0x0104) {
    writePatterns(b, m);
    for (const XMInstrumentSpec& ins : m.instruments) {
      writeInstrumentHeaders(b, m, ins);
      writeSampleData(b, ins);
    }
  } else {
    for (const XMInstrumentSpec& ins : m.instruments) writeInstrumentHeaders(b, m, ins);
    writePatterns(b, m);
    for (const XMInstrumentSpec& ins : m.instruments) writeSampleData(b, ins);
  }
  return b.out;
}
