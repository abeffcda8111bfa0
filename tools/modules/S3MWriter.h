#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds S3M module images in memory, for the tests, the fuzzers' seeds and the comparison with
// libopenmpt.

// One cell of a row: its channel slot (0..31), and what it gives: a note as the file stores it
// (octave in the high nibble, semitone in the low; 254 the cut ^^), an instrument, a volume
// (0..64), a command (1 = A .. 26 = Z) and its parameter. -1: the field is left out.
struct S3MCell {
  uint8_t channel = 0;
  int note = -1;
  uint8_t instrument = 0;
  int volume = -1;
  uint8_t command = 0;
  uint8_t parameter = 0;
};

struct S3MPatternSpec {
  std::vector<S3MCell> rows[64];
};

struct S3MSampleSpec {
  std::string name;
  uint8_t type = 1;  // 1 a sample, 2 to 7 AdLib instruments (written without data)
  std::vector<int16_t> data;  // frames; a stereo sample's left and right values side by side
  bool sixteenBit = true;     // else the values' high bytes are written
  bool stereo = false;
  uint8_t volume = 64;
  uint32_t c2spd = 8363;
  bool loop = false;
  uint32_t loopStart = 0, loopEnd = 0;  // frames
  uint16_t gusAddress = 1;  // Scream Tracker 3's GUS versions write where the card holds it; 1 the SB's
};

struct S3MModuleSpec {
  std::string title = "brackenfold";
  uint16_t version = 0x1320;  // Scream Tracker 3.20
  uint16_t flags = 0;
  bool unsignedSamples = true;  // the format word: 2 unsigned, 1 signed
  uint8_t globalVolume = 64, speed = 6, tempo = 125;
  uint8_t masterVolume = 0xB0;  // stereo, 48
  uint8_t ultraClick = 16;
  bool storePans = true;  // the byte 252 and 32 pans after the pointers
  uint8_t channelSettings[32] = {0, 8, 1, 9, 2, 10, 3, 11, 255, 255, 255, 255, 255, 255, 255, 255,
                                 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  uint8_t pans[32] = {};  // bit 5 set: the low nibble is the pan
  std::vector<uint8_t> orders{0};  // 254 skipped, 255 the end
  std::vector<S3MPatternSpec> patterns;
  std::vector<S3MSampleSpec> samples;
};

std::vector<uint8_t> writeS3M(const S3MModuleSpec& module);
