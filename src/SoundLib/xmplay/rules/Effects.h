#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

// The XM format's effect numbers, extended (Exy) commands and note values, as a file stores them,
// for the player's rule sets and for the tools that write modules. Effects past F are letters
// counted on from G = 16, so K is 20 and X is 33.
namespace effect {
enum : uint8_t {
  kArpeggio = 0x0,
  kPortamentoUp = 0x1,
  kPortamentoDown = 0x2,
  kTonePortamento = 0x3,
  kVibrato = 0x4,
  kTonePortamentoVolumeSlide = 0x5,
  kVibratoVolumeSlide = 0x6,
  kTremolo = 0x7,
  kSetPanning = 0x8,
  kSampleOffset = 0x9,
  kVolumeSlide = 0xA,
  kPositionJump = 0xB,
  kSetVolume = 0xC,
  kPatternBreak = 0xD,
  kExtended = 0xE,
  kSetSpeed = 0xF,
  kSetGlobalVolume = 16,    // G
  kGlobalVolumeSlide = 17,  // H
  kKeyOff = 20,             // K
  kEnvelopePosition = 21,   // L
  kPanningSlide = 25,       // P
  kMultiRetrig = 27,        // R
  kTremor = 29,             // T
  kExtraFine = 33,          // X: X1 up, X2 down
};
}  // namespace effect

// The high nibble of an extended effect's parameter.
namespace extended {
enum : uint8_t {
  kFinePortamentoUp = 0x1,
  kFinePortamentoDown = 0x2,
  kGlissando = 0x3,
  kVibratoWave = 0x4,
  kSetFinetune = 0x5,
  kPatternLoop = 0x6,
  kTremoloWave = 0x7,
  kRetrig = 0x9,
  kFineVolumeUp = 0xA,
  kFineVolumeDown = 0xB,
  kNoteCut = 0xC,
  kNoteDelay = 0xD,
  kPatternDelay = 0xE,
};
}  // namespace extended

// Notes 1..96 play; a file marks a key off with 97, which the reader stores as kKeyOff (Song.h).
constexpr uint8_t kLastNote = 96;
constexpr uint8_t kFileKeyOff = 97;

// The volume column's byte, decoded: 0x10..0x50 set the volume, the high nibbles 6 to F command
// with the low nibble as their value. What a rule set does with each command, and on which tick,
// is its own.
enum class VolumeCommand : uint8_t {
  kNone,
  kSetVolume,       // value 0..64
  kSlideDown,       // 6x
  kSlideUp,         // 7x
  kFineSlideDown,   // 8x
  kFineSlideUp,     // 9x
  kVibratoSpeed,    // Ax
  kVibrato,         // Bx: depth
  kSetPanning,      // Cx
  kPanningLeft,     // Dx
  kPanningRight,    // Ex
  kTonePortamento,  // Fx: speed
};

struct VolumeColumn {
  VolumeCommand command;
  uint8_t value;
};

constexpr VolumeColumn decodeVolumeColumn(uint8_t b) {
  if (b >= 0x10 && b <= 0x50) return {VolumeCommand::kSetVolume, static_cast<uint8_t>(b - 0x10)};
  const uint8_t value = b & 15;
  switch (b >> 4) {
    case 0x6: return {VolumeCommand::kSlideDown, value};
    case 0x7: return {VolumeCommand::kSlideUp, value};
    case 0x8: return {VolumeCommand::kFineSlideDown, value};
    case 0x9: return {VolumeCommand::kFineSlideUp, value};
    case 0xA: return {VolumeCommand::kVibratoSpeed, value};
    case 0xB: return {VolumeCommand::kVibrato, value};
    case 0xC: return {VolumeCommand::kSetPanning, value};
    case 0xD: return {VolumeCommand::kPanningLeft, value};
    case 0xE: return {VolumeCommand::kPanningRight, value};
    case 0xF: return {VolumeCommand::kTonePortamento, value};
    default: return {VolumeCommand::kNone, 0};
  }
}

// Vibrato and tremolo, as FastTracker 2 took them from ProTracker: the wave's size at a position
// of 0..63 (sine, ramp, square) times the depth, scaled down by `shift`, positive in the first
// half of the cycle and negative in the second. The ramp turns over in the second half of
// `rampHalf`'s cycle: the wave's own position for a vibrato, but the vibrato's for a tremolo, as
// in both trackers.
constexpr int32_t waveDelta(uint8_t type, uint8_t position, uint8_t depth, int shift, uint8_t rampHalf) {
  // Half a sine in 32 steps, 0..255.
  constexpr uint8_t kSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                                 255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
  const int32_t step = position & 31;
  int32_t v = 255;
  switch (type & 3) {
    case 0: v = kSine[step]; break;
    case 1: v = rampHalf < 32 ? step * 8 : 255 - step * 8; break;
    default: break;
  }
  v = v * depth >> shift;
  return position < 32 ? v : -v;
}
