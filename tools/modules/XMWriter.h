#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SoundLib/xmplay/rules/Effects.h"

// Builds XM module images in memory: the tests' modules and, later, the intro's own.

struct XMNote {
  uint8_t note = 0;  // 0 none, 1..96, kFileKeyOff
  uint8_t instrument = 0;
  uint8_t volume = 0;
  uint8_t effect = 0;
  uint8_t parameter = 0;
};

struct XMSampleSpec {
  std::string name;
  std::vector<int16_t> data;  // frame values; 8-bit samples use -128..127
  bool sixteenBit = false;
  uint32_t loopStart = 0;   // frames
  uint32_t loopLength = 0;  // frames
  uint8_t loopType = 0;     // type bits 0-1: 1 forward, 2 ping-pong (3: both set)
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t panning = 128;
  int8_t relativeNote = 0;
  int64_t lengthOverride = -1;  // a header length that lies about the data, for robustness tests
  std::vector<int16_t> right;  // a second channel as other trackers store one, the same length as data
  uint8_t reserved = 0;        // the header's reserved byte (0xAD: ADPCM data)
  std::vector<uint8_t> stored;  // data bytes written as they are instead of coding `data`
};

// Up to 12 points of (tick, value); type bit 0 on, bit 1 sustain, bit 2 loop.
struct XMEnvelopeSpec {
  struct Point {
    uint16_t tick, value;
  };
  std::vector<Point> points;
  uint8_t sustain = 0, loopStart = 0, loopEnd = 0;
  uint8_t type = 0;
};

struct XMInstrumentSpec {
  std::string name;
  std::vector<XMSampleSpec> samples;
  uint8_t noteToSample[96] = {};
  XMEnvelopeSpec volumeEnvelope, panningEnvelope;
  uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  uint16_t fadeout = 0;
};

struct XMPatternSpec {
  int rows = 64;
  std::vector<XMNote> notes;  // rows x channels; shorter vectors are padded with empty notes

  XMNote& at(int row, int channel, int channels);
};

struct XMModuleSpec {
  std::string name = "brackenfold";
  std::string tracker = "brackenfold xmwriter";
  int channels = 4;
  uint16_t restartPosition = 0;
  uint16_t flags = 1;  // linear frequencies
  uint16_t speed = 6;
  uint16_t bpm = 125;
  std::vector<uint8_t> orders{0};
  std::vector<XMPatternSpec> patterns;
  std::vector<XMInstrumentSpec> instruments;

  // The layout: FastTracker 2's own unless a test asks for another writer's. Before 1.04 every
  // instrument's headers come first, then the patterns, then all sample data; 1.02 stores a
  // pattern's row count in one byte.
  uint16_t version = 0x0104;
  int headerOrders = 256;             // order table entries in the header (header size 20 + this)
  uint32_t patternHeaderLength = 0;   // 0: 9 (8 for 1.02); longer headers are padded
  uint32_t instrumentHeaderSize = 263;
  uint32_t sampleHeaderSize = 40;
};

std::vector<uint8_t> writeXM(const XMModuleSpec& module);
