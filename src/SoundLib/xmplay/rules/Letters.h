#pragma once

#include <cstdint>

// The commands of Scream Tracker 3's S3M, which Impulse Tracker kept for IT, as the readers store
// them: their letters counted from A = 1, and the S command's sub-commands (its parameter's high
// nibble). What each set does with them, and on which tick, is its own.
namespace letter {
enum : uint8_t {
  kSetSpeed = 1,            // A
  kPositionJump = 2,        // B
  kPatternBreak = 3,        // C
  kVolumeSlide = 4,         // D
  kPortamentoDown = 5,      // E
  kPortamentoUp = 6,        // F
  kTonePortamento = 7,      // G
  kVibrato = 8,             // H
  kTremor = 9,              // I
  kArpeggio = 10,           // J
  kVibratoVolumeSlide = 11,  // K
  kTonePortamentoVolumeSlide = 12,  // L
  kChannelVolume = 13,      // M
  kChannelVolumeSlide = 14,  // N
  kSampleOffset = 15,       // O
  kPanningSlide = 16,       // P
  kRetrig = 17,             // Q
  kTremolo = 18,            // R
  kSpecial = 19,            // S
  kTempo = 20,              // T
  kFineVibrato = 21,        // U
  kGlobalVolume = 22,       // V
  kGlobalVolumeSlide = 23,  // W
  kSetPanning = 24,         // X
  kPanbrello = 25,          // Y
  kMidiMacro = 26,          // Z
};
}  // namespace letter

namespace special {
enum : uint8_t {
  kFilter = 0x0,
  kGlissando = 0x1,
  kFinetune = 0x2,
  kVibratoWave = 0x3,
  kTremoloWave = 0x4,
  kPanbrelloWave = 0x5,
  kFinePatternDelay = 0x6,
  kInstrumentControl = 0x7,
  kSetPanning = 0x8,
  kSoundControl = 0x9,
  kHighOffset = 0xA,
  kPatternLoop = 0xB,
  kNoteCut = 0xC,
  kNoteDelay = 0xD,
  kPatternDelay = 0xE,
  kMacro = 0xF,
};
}  // namespace special

// A command's letter for people ('A' for 1); '.' for none.
constexpr char letterOf(uint8_t command) { return command >= 1 && command <= 26 ? static_cast<char>('A' + command - 1) : '.'; }
