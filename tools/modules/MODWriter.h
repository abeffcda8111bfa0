#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds MOD module images in memory, for the tests and the fuzzers' seeds.

struct MODNote {
  uint16_t period = 0;  // as the file stores a note: 428 is C-2 (ProTracker's naming); 0 none
  uint8_t sample = 0;   // 1..31, 0 none
  uint8_t effect = 0;
  uint8_t parameter = 0;
};

struct MODSampleSpec {
  std::string name;
  std::vector<int8_t> data;  // an even number of bytes: lengths are stored in words
  uint8_t volume = 64;
  int8_t finetune = 0;  // -8..7
  uint16_t loopStart = 0;   // words
  uint16_t loopLength = 1;  // words; 1: no loop
  int32_t lengthOverride = -1;  // a header length in words that lies about the data
};

struct MODPatternSpec {
  std::vector<MODNote> notes;  // 64 rows x channels; shorter vectors are padded with empty notes
  MODNote& at(int row, int channel, int channels);
};

struct MODModuleSpec {
  std::string title = "brackenfold";
  // At offset 1080: "M.K.", "8CHN", "FLT8" (patterns stored as two of 4 channels), Digital
  // Tracker's "FA06" (four bytes of its own after it), ...; empty for a 15-sample SoundTracker
  // module, which has none. "MTN" or "IT10": SoundTracker 2.6's or Ice Tracker's module of
  // tracks, 4 channels, the signature at offset 1464; each pattern is written as four tracks
  // (pattern k's channel c as track 4k + c) and each position names those of its pattern.
  std::string signature = "M.K.";
  int channels = 4;
  uint8_t restart = 127;  // SoundTracker's tempo byte in a 15-sample module (120 the usual)
  std::vector<uint8_t> orders{0};  // pattern numbers (FLT8: of 8-channel patterns)
  std::vector<uint8_t> unplayedOrders;  // entries after the song's length
  std::vector<MODPatternSpec> patterns;
  std::vector<MODSampleSpec> samples;  // up to 31 (15 without a signature)
};

std::vector<uint8_t> writeMOD(const MODModuleSpec& module);
