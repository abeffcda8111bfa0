#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds IT module images in memory, for the tests and the comparison with libopenmpt: sample mode
// or instruments (in the layout before 2.00 where the compatible-with version is below 0x200),
// 8- and 16-bit samples, signed or not, stereo, loops and sustain loops, plain or compressed as
// Impulse Tracker 2.14 or 2.15 does, packed patterns, the message and the MIDI macros.

// One cell of a row: its channel (0..63), and what it gives as the file stores it: a note (0..119,
// 255 off, 254 cut, others a fade), an instrument, the volume column's byte (0..212), a command
// (1 = A .. 26 = Z) and its parameter. -1: the field is left out; the command is written where it
// or its parameter is not 0.
struct ITCell {
  uint8_t channel = 0;
  int note = -1;
  int instrument = -1;
  int volume = -1;
  uint8_t command = 0;
  uint8_t parameter = 0;
};

struct ITPatternSpec {
  std::vector<std::vector<ITCell>> rows = std::vector<std::vector<ITCell>>(64);
  bool stored = true;  // false: offset 0, 64 empty rows
};

struct ITEnvelopePoint {
  uint16_t tick;
  int8_t value;
};

struct ITEnvelopeSpec {
  uint8_t flags = 0;  // as stored: 1 on, 2 loop, 4 sustain loop, 8 carry, 0x80 filter (pitch)
  uint8_t loopStart = 0, loopEnd = 0, sustainStart = 0, sustainEnd = 0;
  std::vector<ITEnvelopePoint> points;  // the layout before 2.00: ticks below 255, volumes only
};

struct ITInstrumentSpec {
  ITInstrumentSpec();
  std::string name;
  uint8_t newNoteAction = 0, duplicateCheck = 0, duplicateAction = 0;
  uint16_t fadeout = 0;
  int8_t pitchPanSeparation = 0;
  uint8_t pitchPanCentre = 60;  // C-5
  uint8_t globalVolume = 128;
  uint8_t defaultPan = 0x80 | 32;  // bit 7: not used
  uint8_t randomVolume = 0, randomPan = 0;
  uint8_t filterCutoff = 0, filterResonance = 0;  // bit 7: used
  uint8_t keyNote[120];    // each key itself
  uint8_t keySample[120];  // 0 none
  ITEnvelopeSpec volume, panning, pitch;
  bool stored = true;  // false: offset 0
  // Every key to its own note on one sample.
  void mapAll(uint8_t sample);
};

enum class ITCompression : uint8_t { kNone, kIT214, kIT215 };

struct ITSampleSpec {
  std::string name;
  std::vector<int16_t> data;  // frames; a stereo sample's left and right values side by side
  bool sixteenBit = true;     // else the values' high bytes are written
  bool stereo = false;
  bool signedValues = true;
  bool bigEndian = false;    // 16-bit plain values high byte first
  bool deltaValues = false;  // plain values as differences from the one before
  ITCompression compression = ITCompression::kNone;
  bool present = true;  // the header's flag that data follows
  int64_t statedLength = -1;  // the length the header gives; -1 the data's
  uint8_t globalVolume = 64, volume = 64;
  uint8_t defaultPan = 32;  // bit 7: used
  bool loop = false, pingPong = false;
  uint32_t loopStart = 0, loopEnd = 0;
  bool sustain = false, sustainPingPong = false;
  uint32_t sustainStart = 0, sustainEnd = 0;
  uint32_t c5Speed = 8363;
  uint8_t vibratoSpeed = 0, vibratoDepth = 0, vibratoRate = 0, vibratoType = 0;
};

// The embedded MIDI configuration's texts (each up to 32 characters).
struct ITMacrosSpec {
  std::string global[9];
  std::string parametered[16];
  std::string fixed[128];
};

struct ITModuleSpec {
  ITModuleSpec();
  std::string title = "brackenfold";
  uint8_t rowsPerBeat = 4, rowsPerMeasure = 16;
  uint16_t createdWith = 0x0214, compatibleWith = 0x0214;
  uint16_t flags = 1 | 8;  // stereo, linear slides; 4 for instruments
  uint8_t globalVolume = 128, mixVolume = 48, speed = 6, tempo = 125, separation = 128, pitchWheelDepth = 0;
  uint32_t reserved = 0;
  uint8_t channelPan[64];     // 32 each
  uint8_t channelVolume[64];  // 64 each
  std::vector<uint8_t> orders{0};  // written as given: 254 skipped, 255 the end
  std::vector<ITPatternSpec> patterns;
  std::vector<ITInstrumentSpec> instruments;
  std::vector<ITSampleSpec> samples;
  std::string message;  // line breaks written as carriage returns
  int editHistoryEntries = -1;  // -1: none (the special word says so); otherwise that many
  bool embedMacros = false;
  ITMacrosSpec macros;
  bool packMemory = true;  // a channel's repeated mask and values as "the last again"
};

std::vector<uint8_t> writeIT(const ITModuleSpec& module);

// One channel's values compressed as Impulse Tracker does: blocks of 0x8000 values (8-bit, the
// values' high bytes) or 0x4000 (16-bit), each its byte count and the stream.
std::vector<uint8_t> compressIT(const std::vector<int16_t>& values, bool sixteenBit, bool it215);
