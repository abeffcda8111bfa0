#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds XM module images in memory: the tests' modules and, later, the intro's own.

struct XMNote {
  uint8_t note = 0;  // 0 none, 1..96, 97 key off
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
};

std::vector<uint8_t> writeXM(const XMModuleSpec& module);
