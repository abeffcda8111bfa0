#include "SoundLib/xmplay/formats/SavedMixSettings.h"

#include <cstring>

#include "SoundLib/xmplay/formats/ByteReader.h"

namespace {
bool tagIs(const uint8_t* at, const char* tag) { return std::memcmp(at, tag, 4) == 0; }

// The chunks that come before the properties, each with its length.
bool lengthPrefixed(const uint8_t* tag) {
  static const char* const kTags[] = {"text", "MIDI", "PNAM", "CNAM", "CHFX"};
  for (const char* t : kTags)
    if (tagIs(tag, t)) return true;
  return tag[0] == 'F' && tag[1] == 'X' && tag[2] >= '0' && tag[2] <= '9' && tag[3] >= '0' && tag[3] <= '9';
}

int32_t valueOf(const uint8_t* at, uint16_t size) {
  uint32_t v = 0;
  for (uint16_t i = 0; i < size && i < 4; ++i) v |= uint32_t{at[i]} << (8 * i);
  return static_cast<int32_t>(v);
}
}  // namespace

SavedMixSettings readSavedMixSettings(const uint8_t* tail, size_t size, int instruments) {
  SavedMixSettings s;
  size_t at = 0;
  while (at + 8 <= size && lengthPrefixed(tail + at)) {
    const uint64_t length = le32(tail + at + 4);
    if (at + 8 + length > size) return s;
    at += 8 + static_cast<size_t>(length);
  }
  if (at + 4 <= size && tagIs(tail + at, "XTPM")) {
    at += 4;
    while (at + 6 <= size && !tagIs(tail + at, "STPM")) at += 6 + size_t{le16(tail + at + 4)} * static_cast<size_t>(instruments);
  }
  if (at + 4 > size || !tagIs(tail + at, "STPM")) return s;
  at += 4;
  while (at + 6 <= size) {
    const uint8_t* code = tail + at;
    const uint16_t length = le16(tail + at + 4);
    if (at + 6 + length > size) break;
    const uint8_t* value = tail + at + 6;
    if (tagIs(code, ".MMP")) s.mixMode = valueOf(value, length);
    if (tagIs(code, ".APS")) s.preamp = valueOf(value, length);
    if (tagIs(code, ".VGD")) s.globalVolume = valueOf(value, length);
    if (tagIs(code, "...C")) s.channels = valueOf(value, length);
    at += 6 + length;
  }
  return s;
}

MixLevels levelsOfMixMode(const SavedMixSettings& saved, MixLevels otherwise) {
  static const MixLevels kByMode[] = {MixLevels::kModPlug,    MixLevels::kModPlug, MixLevels::kModPlug,
                                      MixLevels::kFullCentre, MixLevels::kLinear,  MixLevels::kConstantPower};
  return saved.mixMode >= 0 && saved.mixMode <= 5 ? kByMode[saved.mixMode] : otherwise;
}
