#include "SoundLib/xmplay/api/PatternCell.h"

#include <cstdio>
#include <cstring>

#include "SoundLib/xmplay/formats/Format.h"

namespace {
// The volume column of XM's bytes (S3M's reader stores its volumes as XM's set-volume bytes).
void volumeOfXM(uint8_t v, bft_cell& cell) {
  if (v >= 0x10 && v <= 0x50) {
    cell.volume_command = BFT_VOLUME_SET;
    cell.volume_value = v - 0x10;
    return;
  }
  static constexpr uint8_t kCommands[16] = {
      0, 0, 0, 0, 0, 0, BFT_VOLUME_SLIDE_DOWN, BFT_VOLUME_SLIDE_UP, BFT_VOLUME_FINE_DOWN, BFT_VOLUME_FINE_UP,
      BFT_VOLUME_VIBRATO_SPEED, BFT_VOLUME_VIBRATO_DEPTH, BFT_VOLUME_PANNING, BFT_VOLUME_PANNING_SLIDE_LEFT,
      BFT_VOLUME_PANNING_SLIDE_RIGHT, BFT_VOLUME_TONE_PORTAMENTO};
  cell.volume_command = kCommands[v >> 4];
  cell.volume_value = v & 15;
  // A pan of 16 steps, on the column's 0 to 64.
  if (cell.volume_command == BFT_VOLUME_PANNING) cell.volume_value = static_cast<uint8_t>(((v & 15) * 64 + 7) / 15);
}

// IT's volume column as the reader stores it: the file's byte plus one.
void volumeOfIT(uint8_t v, bft_cell& cell) {
  struct Range {
    uint8_t first, last, command;
  };
  static constexpr Range kRanges[] = {
      {1, 65, BFT_VOLUME_SET},           {66, 75, BFT_VOLUME_FINE_UP},     {76, 85, BFT_VOLUME_FINE_DOWN},
      {86, 95, BFT_VOLUME_SLIDE_UP},     {96, 105, BFT_VOLUME_SLIDE_DOWN}, {106, 115, BFT_VOLUME_PITCH_DOWN},
      {116, 125, BFT_VOLUME_PITCH_UP},   {129, 193, BFT_VOLUME_PANNING},   {194, 203, BFT_VOLUME_TONE_PORTAMENTO},
      {204, 213, BFT_VOLUME_VIBRATO_DEPTH}};
  for (const Range& r : kRanges)
    if (v >= r.first && v <= r.last) {
      cell.volume_command = r.command;
      cell.volume_value = v - r.first;
      return;
    }
}

const char kNoteNames[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

std::string noteText(uint8_t note, CellStyle style) {
  if (note >= 1 && note <= 120) return std::string(kNoteNames[(note - 1) % 12]) + static_cast<char>('0' + (note - 1) / 12);
  const bool it = style == CellStyle::kImpulseTracker;
  switch (note) {
    case BFT_NOTE_OFF: return it || style == CellStyle::kFastTracker2 ? "===" : "^^^";
    case BFT_NOTE_CUT: return "^^^";
    case BFT_NOTE_FADE: return "~~~";
    default: return style == CellStyle::kFastTracker2 || style == CellStyle::kProTracker ? "---" : "...";
  }
}

std::string printed(const char* format, int a, int b = 0) {
  char text[16];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// FastTracker 2's volume column: a volume in hex, else the command's sign and its nibble.
std::string volumeTextFT2(const bft_cell& c) {
  static constexpr char kSigns[] = "  +-udSVPLRM";
  if (c.volume_command == BFT_VOLUME_NONE) return "--";
  if (c.volume_command == BFT_VOLUME_SET) return printed("%02X", c.volume_value);
  const int value = c.volume_command == BFT_VOLUME_PANNING ? c.volume_value * 15 / 64 : c.volume_value;
  const int sign = c.volume_command <= BFT_VOLUME_TONE_PORTAMENTO ? c.volume_command : 0;
  return std::string(1, kSigns[sign]) + printed("%X", value);
}

// Impulse Tracker's: v and p with the value, the commands' letters A to H with theirs.
std::string volumeTextIT(const bft_cell& c) {
  switch (c.volume_command) {
    case BFT_VOLUME_NONE: return "...";
    case BFT_VOLUME_SET: return printed("v%02d", c.volume_value);
    case BFT_VOLUME_PANNING: return printed("p%02d", c.volume_value);
    case BFT_VOLUME_FINE_UP: return printed("a%02d", c.volume_value);
    case BFT_VOLUME_FINE_DOWN: return printed("b%02d", c.volume_value);
    case BFT_VOLUME_SLIDE_UP: return printed("c%02d", c.volume_value);
    case BFT_VOLUME_SLIDE_DOWN: return printed("d%02d", c.volume_value);
    case BFT_VOLUME_PITCH_DOWN: return printed("e%02d", c.volume_value);
    case BFT_VOLUME_PITCH_UP: return printed("f%02d", c.volume_value);
    case BFT_VOLUME_TONE_PORTAMENTO: return printed("g%02d", c.volume_value);
    default: return printed("h%02d", c.volume_value);
  }
}
}  // namespace

CellStyle cellStyleOf(const Song& song) {
  const char* name = song.format ? song.format->name : "XM";
  if (!std::strcmp(name, "MOD")) return CellStyle::kProTracker;
  if (!std::strcmp(name, "S3M")) return CellStyle::kScreamTracker3;
  if (!std::strcmp(name, "IT")) return CellStyle::kImpulseTracker;
  return CellStyle::kFastTracker2;
}

bft_cell neutralCell(const Note& note, CellStyle style) {
  bft_cell cell{};
  cell.note = note.note;
  cell.instrument = note.instrument;
  if (style == CellStyle::kImpulseTracker) {
    volumeOfIT(note.volume, cell);
  } else if (style == CellStyle::kScreamTracker3 && note.volume >= kS3MPanFirst && note.volume <= kS3MPanLast) {
    cell.volume_command = BFT_VOLUME_PANNING;
    cell.volume_value = note.volume - kS3MPanFirst;
  } else
    volumeOfXM(note.volume, cell);
  const bool letters = style == CellStyle::kScreamTracker3 || style == CellStyle::kImpulseTracker;
  if (letters) {
    if (note.effect >= 1 && note.effect <= 26) cell.effect = static_cast<char>('A' + note.effect - 1);
  } else if (note.effect || note.parameter) {
    // XM's 0 to F, then letters on from G = 16.
    if (note.effect < 10)
      cell.effect = static_cast<char>('0' + note.effect);
    else if (note.effect < 36)
      cell.effect = static_cast<char>('A' + note.effect - 10);
  }
  if (cell.effect) cell.parameter = note.parameter;
  return cell;
}

std::string cellText(const bft_cell& c, CellStyle style) {
  std::string text = noteText(c.note, style) + ' ';
  switch (style) {
    case CellStyle::kFastTracker2:
      text += (c.instrument ? printed("%02X", c.instrument) : "--") + ' ' + volumeTextFT2(c) + ' ';
      text += c.effect ? std::string(1, c.effect) + printed("%02X", c.parameter) : "000";
      break;
    case CellStyle::kProTracker:
      text += (c.instrument ? printed("%02X", c.instrument) : "--") + ' ';
      text += c.effect ? std::string(1, c.effect) + printed("%02X", c.parameter) : "000";
      break;
    case CellStyle::kScreamTracker3:
      text += (c.instrument ? printed("%02d", c.instrument) : "..") + ' ';
      text += (c.volume_command == BFT_VOLUME_SET ? printed("%02d", c.volume_value) : "..") + ' ';
      text += c.effect ? std::string(1, c.effect) + printed("%02X", c.parameter) : "...";
      break;
    case CellStyle::kImpulseTracker:
      text += (c.instrument ? printed("%02d", c.instrument % 100) : "..") + ' ' + volumeTextIT(c) + ' ';
      text += c.effect ? std::string(1, c.effect) + printed("%02X", c.parameter) : ".00";
      break;
  }
  return text;
}
