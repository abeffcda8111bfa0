// The MIDI macros as Impulse Tracker's own mixer takes them: of what a macro sends, the
// tracker's filter messages F0 F0 00 xx (the cutoff) and F0 F0 01 xx (the resonance) set the
// channel's filter; the rest is for MIDI devices and plays nothing here.
#include <cctype>
#include <cstdio>

#include "SoundLib/xmplay/rules/it/ITRules.h"

namespace it {
namespace {
// The tracker's macros where the file brings none: SF0 the cutoff from Z00 to Z7F, Z80 to Z8F
// the resonance in steps of 8.
void defaultMacro(uint8_t parameter, uint8_t active, char* text, size_t size) {
  if (parameter < 0x80)
    std::snprintf(text, size, "%s", active == 0 ? "F0F000z" : "");
  else if (parameter < 0x90)
    std::snprintf(text, size, "F0F001%02X", (parameter - 0x80) * 8);
  else
    text[0] = 0;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The macro's bytes: pairs of hex digits, z the parameter (Z00 to Z7F's); others letters (the
// channel, the note, the volume) send nothing the filter takes and end the message.
int macroBytes(const char* text, uint8_t parameter, uint8_t* bytes, int room) {
  int count = 0, half = -1;
  for (const char* at = text; *at && count < room; ++at) {
    if (*at == ' ') continue;
    if (*at == 'z' || *at == 'Z') {
      if (half >= 0) return count;
      bytes[count++] = parameter & 0x7F;
      continue;
    }
    const int d = hexDigit(*at);
    if (d < 0) return count;
    if (half < 0) {
      half = d;
    } else {
      bytes[count++] = static_cast<uint8_t>(half * 16 + d);
      half = -1;
    }
  }
  return count;
}
}  // namespace

void runMacro(XMPlayer&, const Song& song, ITChannel& c, uint8_t parameter) {
  char text[33];
  const MidiMacros& macros = song.macros;
  if (macros.embedded) {
    const char* from = parameter < 0x80 ? macros.parametered[c.macro & 15] : macros.fixed[parameter - 0x80];
    std::snprintf(text, sizeof text, "%s", from);
  } else {
    defaultMacro(parameter, c.macro, text, sizeof text);
  }
  uint8_t bytes[16];
  const int count = macroBytes(text, parameter, bytes, 16);
  for (int i = 0; i + 3 < count; ++i) {
    if (bytes[i] != 0xF0 || bytes[i + 1] != 0xF0) continue;
    const int value = bytes[i + 3] & 0x7F;
    if (bytes[i + 2] == 0) c.cutoff = value;
    if (bytes[i + 2] == 1) c.resonance = value;
    i += 3;
  }
}

}  // namespace it
