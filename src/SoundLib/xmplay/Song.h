#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "SoundLib/xmplay/Effects.h"
#include "SoundLib/xmplay/RuleSet.h"

// 16-bit signed PCM; data holds length + 8 values, the first spare being the interpolation guard.
struct Sample {
  int16_t* data;
  uint32_t length;      // frames
  uint32_t loopStart;   // frames
  uint32_t loopLength;  // frames; the whole sample when not looped
  uint8_t volume;       // 0..64
  int8_t finetune;
  int32_t panning;  // 0..255
  uint8_t bits;     // 16 after loading
  uint8_t loopMode;  // kLoopNone, kLoopForward, kLoopPingPong
  int8_t relativeNote;
  // How the file stores the data: delta-coded PCM or 4-bit ADPCM, one channel or two (mixed to
  // one when loading). Only a rule set that reads headers as stored reads the latter two, which
  // other trackers write.
  uint8_t encoding;  // kDeltaPCM, kADPCM
  uint8_t fileChannels;  // 1 or 2
  // The loop as the mixer runs it, in frames: a short forward loop is stored several times over
  // after its start (the loader's copies), so that the mixer wraps less often; 0: the loop as it is.
  uint32_t mixLoopLength;
};

constexpr uint8_t kDeltaPCM = 0;
constexpr uint8_t kADPCM = 1;

constexpr uint8_t kLoopNone = 1;
constexpr uint8_t kLoopForward = 2;
constexpr uint8_t kLoopPingPong = 4;

// FastTracker 2 writes up to 16 samples an instrument, other trackers up to 32; more are skipped.
constexpr int kSampleSlots = 32;

struct Instrument {
  int32_t sampleCount;  // 0..kSampleSlots
  Sample* samples[kSampleSlots];  // slots at and beyond sampleCount point to the empty sample
  uint8_t noteToSample[96];
  uint16_t volumeEnvelope[40];
  uint16_t panningEnvelope[40];
  uint8_t volumePoints, panningPoints;
  uint8_t volumeSustain, volumeLoopStart, volumeLoopEnd;
  uint8_t panningSustain, panningLoopStart, panningLoopEnd;
  uint8_t volumeType, panningType;  // bit 0 on, bit 1 sustain, bit 2 loop
  uint8_t vibratoType, vibratoSweep, vibratoDepth, vibratoRate;
  // Doubled on loading; wide enough that the doubled value cannot wrap.
  uint32_t fadeout;
  bool whole;  // its headers and every sample's data were in the file (not cut short)
  char name[23];  // as the file holds it (trackers keep credits and messages here), 0-terminated
};

// One unpacked note: note (0 none, 1..96, kKeyOff), instrument (0 none, 1..128), raw volume
// column byte, effect, parameter.
struct Note {
  uint8_t note, instrument, volume, effect, parameter;
};
static_assert(sizeof(Note) == 5);

constexpr uint8_t kEnvelopeOn = 1;
constexpr uint8_t kEnvelopeSustain = 2;
constexpr uint8_t kEnvelopeLoop = 4;

// How loud a module plays, by the tracker that wrote it and what it saved of its mix settings, as
// openmpt123 plays it (the FastTracker 2 rules follow it; the intro's have levels of their own).
enum class MixLevels : uint8_t {
  kLinear,         // linear panning, a channel at full volume on one side at 3/8 of full scale
  kModPlug,        // ModPlug Tracker's original levels: linear panning at 1/4, less with more channels
  kConstantPower,  // constant-power panning at 3/8 (FastTracker 2's files, OpenMPT's, MilkyTracker's)
  kFullCentre,     // linear panning at 3/8 on one side, the centre at full level on both
};

// The tracker that saved an XM file, as openmpt123 tells them apart by the header (see the loader):
// FastTracker 2 (its 5 ms ramps), ModPlug Tracker, which wrote FastTracker 2's name (its pattern
// loops), or another.
enum class SavedBy : uint8_t { kOther, kFastTracker2, kModPlug };

// The file format a song was read from.
enum class ModuleFormat : uint8_t { kXM, kMOD };

struct Pattern {
  int32_t rows;
  Note* notes;  // rows x channels, row after row
};

// Fills a sample's buffer with its raw bytes instead of the loader reading them: called once per
// sample with data, with the buffer, its byte count, the bits, the instrument's and the sample's
// index; the loader then skips those bytes and does not delta-decode them.
using SampleLoaderHook = void (*)(void* buffer, int32_t bytes, int bits, int instrument, int sample);

struct Song {
  Pattern* patterns;
  Instrument* instruments;
  int32_t samplesLeftInTick;
  int32_t samplesPerTick;
  int16_t songLength;
  int16_t restartPosition;
  int16_t channelCount;
  int32_t usedPatternCount;
  int32_t allocatedPatternCount;
  int16_t instrumentCount;
  uint16_t flags;  // kLinearFrequencyTable
  int16_t defaultSpeed;
  int16_t defaultBPM;
  uint8_t orders[256];
  uint8_t defaultGlobalVolume;
  int32_t globalVolume;
  int32_t tick;
  int32_t speed;
  int32_t bpm;
  int32_t row;
  int32_t orderPosition;
  int32_t nextRow;
  int32_t nextOrderPosition;
  const RuleSet* rules;       // how the song is played, chosen when it is loaded
  TickFunction tickFunction;  // the rule set's, unless a renderer watches the ticks
  SampleLoaderHook sampleLoader;
  int32_t filePatternCount;  // patterns stored in the file (the rest are empty)
  uint16_t version;  // the file's format version, 0x0104 for FastTracker 2's own
  MixLevels levels;  // how loud the tracker that wrote the file plays it
  SavedBy savedBy;
  float levelScale = 1;  // times that, from the mix settings a tracker saved with the file
  // Of the patterns and instruments the file's header names, those that were in it whole: a file
  // cut short has fewer, and plays what was read of the rest.
  int32_t wholePatterns;
  int32_t wholeInstruments;
  // The module's title and the tracker that wrote it, as the file holds them, 0-terminated.
  char title[21];
  char tracker[21];
  ModuleFormat format;
  // A MOD written in a tracker before ProTracker's CIA timing: every Fxx sets the speed, at 50
  // ticks a second (the ProTracker rules read it; loadModule decides it, see ModuleLoader.cpp).
  bool vblankTiming;
  // A MOD's signature as the file holds it ("M.K.", "8CHN"), 0-terminated; empty for XM and for a
  // 15-sample module, which has none.
  char signature[5];
};

inline bool linearTable(const Song& song) { return song.flags & kLinearFrequencyTable; }

// A name field as a terminal may show it: up to its first zero byte, anything outside printable
// ASCII (control codes, the code page's pictures) as a space, the padding at the end removed.
inline std::string printableName(const char* at, size_t length) {
  std::string name;
  for (size_t i = 0; i < length && at[i]; ++i) {
    const auto c = static_cast<unsigned char>(at[i]);
    name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ';
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

// Shared by every slot and note that names no sample or instrument.
extern Sample emptySample;
extern Instrument emptyInstrument;

// Limits of what the player can play; anything beyond them is rejected when loading.
constexpr int kMaxChannels = 32;
constexpr int kMaxPatterns = 256;
constexpr int kMaxInstruments = 128;
