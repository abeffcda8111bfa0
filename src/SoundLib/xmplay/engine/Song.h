#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The song model: what the four formats store, each reader filling it as far as its format has
// it, and the playback state the sequencer keeps. The first fields of each record are the XM
// player's own, in their order; what the other formats need follows them.

struct XMPlayer;
struct Song;
struct RuleSet;
struct Format;
struct SampleStore;

using TickFunction = void (*)(XMPlayer& player, Song& song);

constexpr uint32_t kSampleSpareFrames = 24;

constexpr uint8_t kLoopNone = 1;
constexpr uint8_t kLoopForward = 2;
constexpr uint8_t kLoopPingPong = 4;

// 16-bit signed PCM; data holds length + kSampleSpareFrames frames (more where the reader repeated
// a short loop), the first spare being the interpolation guard, the others zero (the mixer's
// widest loops read up to 16 values past the last frame they play). A stereo sample's frames are
// pairs of values, left then right.
struct Sample {
  int16_t* data;
  uint32_t length;      // frames
  uint32_t loopStart;   // frames
  uint32_t loopLength;  // frames; the whole sample when not looped
  uint8_t volume;       // 0..64
  int8_t finetune;
  int32_t panning;  // 0..255 (XM's); IT's 0..256
  uint8_t bits;     // 16 after loading
  uint8_t loopMode;  // kLoopNone, kLoopForward, kLoopPingPong
  int8_t relativeNote;
  // How the file stores the data: delta-coded PCM or 4-bit ADPCM, one channel or two. Only a
  // rule set that reads headers as stored reads the latter two, which other trackers write.
  uint8_t encoding;  // kDeltaPCM, kADPCM, kPlainPCM
  uint8_t fileChannels;  // 1 or 2
  // The loop as the mixer runs it, in frames: a short forward loop is stored several times over
  // after its start (the loader's copies), so that the mixer wraps less often; 0: the loop as it is.
  uint32_t mixLoopLength;

  bool stereo;  // two values a frame (XM's two-channel samples are mixed to one when read)
  // A loop the sample plays while its note is held; a note off releases it to the loop above
  // (or to the end). kLoopNone: none.
  uint8_t sustainMode;
  uint32_t sustainStart, sustainLength;  // frames
  uint32_t c5Speed;       // Hz at middle C (S3M, IT); 0 where pitch comes from note and finetune (XM, MOD)
  uint8_t globalVolume;   // 0..64, 64 where the format has none
  bool hasPanning;        // the panning above applies when a note starts (IT); XM's always does
  uint8_t storedBits;     // 8 or 16 as the file holds the data
  // The sample's own auto-vibrato (IT): wave, sweep, depth, rate; all 0 where the format has none.
  // IT's fields as stored: its speed as the rate (0..64), its rate as the sweep, depth 0..64,
  // wave 0 sine, 1 ramp down, 2 square, 3 random.
  uint8_t vibratoType, vibratoSweep, vibratoDepth, vibratoRate;
  char name[29];  // as the file holds it, 0-terminated
  bool adlib;     // an AdLib instrument (S3M): not synthesised, silent
};

inline bool hasSustainLoop(const Sample& s) { return s.sustainMode == kLoopForward || s.sustainMode == kLoopPingPong; }

constexpr uint8_t kDeltaPCM = 0;
constexpr uint8_t kADPCM = 1;

// FastTracker 2 writes up to 16 samples an instrument, other trackers up to 32; more are skipped.
constexpr int kSampleSlots = 32;
// Notes a keyboard map covers: C-0 to B-9.
constexpr int kKeyboardNotes = 120;

// An envelope as IT stores it (XM's are read into the same): up to 25 points of a tick and a
// value, a loop and a sustain loop between points (XM's sustain point is a loop of one point).
struct EnvelopePoint {
  uint16_t tick;
  int8_t value;  // volume 0..64, panning and pitch -32..32
};
struct Envelope {
  uint8_t flags;  // kEnvelopeOn, kEnvelopeSustain, kEnvelopeLoop, kEnvelopeCarry, kEnvelopeFilter
  uint8_t count;
  uint8_t loopStart, loopEnd;
  uint8_t sustainStart, sustainEnd;
  EnvelopePoint points[25];
};

constexpr uint8_t kEnvelopeOn = 1;
constexpr uint8_t kEnvelopeSustain = 2;
constexpr uint8_t kEnvelopeLoop = 4;
constexpr uint8_t kEnvelopeCarry = 8;
constexpr uint8_t kEnvelopeFilter = 16;  // the pitch envelope drives the filter's cutoff instead

// What a note does to the note sounding before it (IT's new-note actions), the duplicate check and
// its action.
enum class NewNoteAction : uint8_t { kCut, kContinue, kNoteOff, kFade };
enum class DuplicateCheck : uint8_t { kOff, kNote, kSample, kInstrument };
enum class DuplicateAction : uint8_t { kCut, kNoteOff, kFade };

// One key of the keyboard map: the note it plays and the song's sample (1-based, 0 none).
struct KeyboardEntry {
  uint8_t note;  // 1..120
  uint16_t sample;  // 1..the song's samples; 0 none; kMissingSample one the file does not hold
};
constexpr uint16_t kMissingSample = 0xFFFF;

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
  // Doubled on loading; wide enough that the doubled value cannot wrap. IT's on the same scale,
  // taken from 65536 each tick while the note fades: its stored value times 64 (times 128 in the
  // layout before 2.00).
  uint32_t fadeout;
  bool whole;  // its headers and every sample's data were in the file (not cut short)
  char name[27];  // as the file holds it (trackers keep credits and messages here), 0-terminated

  KeyboardEntry keyboard[kKeyboardNotes];
  Envelope volume, panning, pitch;
  uint8_t globalVolume;    // 0..128 (IT); 128 where the format has none
  bool hasPanning;         // defaultPanning applies when a note starts
  int32_t defaultPanning;  // 0..256
  NewNoteAction newNoteAction;
  DuplicateCheck duplicateCheck;
  DuplicateAction duplicateAction;
  int8_t pitchPanSeparation;  // -32..32
  uint8_t pitchPanCentre;     // the note 1..120 panned as the instrument says
  uint8_t randomVolume;       // swing in percent, 0..100
  uint8_t randomPanning;      // swing, 0..64
  int16_t filterCutoff;       // 0..127, -1 none
  int16_t filterResonance;    // 0..127, -1 none
};

// One unpacked note: note (0 none, 1..120, kKeyOff, kNoteCut, kNoteFade), instrument (0 none,
// 1..255), volume column, effect, parameter. The volume column is the file's raw byte for XM and
// MOD, S3M's volumes as XM's set-volume bytes and its pans as kS3MPanFirst + 0..64; for IT it is the stored byte plus one (1..213 for IT's
// 0..212: 1..65 volume, 66..75 fine up, 76..85 fine down, 86..95 slide up, 96..105 slide down,
// 106..115 pitch down, 116..125 pitch up, 129..193 pan 0..64, 194..203 tone portamento, 204..213
// vibrato), 0 where the cell has none or a byte above 212.
struct Note {
  uint8_t note, instrument, volume, effect, parameter;
};
static_assert(sizeof(Note) == 5);

// Notes beyond the 120 keys: a key off (XM's 97, IT's note off), a cut and a fade (IT's).
constexpr uint8_t kKeyOff = 255;
constexpr uint8_t kNoteCut = 254;
constexpr uint8_t kNoteFade = 253;

// An S3M volume column's pan, 0 left to 64 right, as the file's byte (128 to 192).
constexpr uint8_t kS3MPanFirst = 128, kS3MPanLast = 192;

// Order list entries beyond pattern numbers (S3M, IT): a marker the song steps over, and the end.
constexpr uint8_t kOrderSkip = 254;
constexpr uint8_t kOrderEnd = 255;

// Bit 0 of the song's flags: the linear frequency table (else the Amiga table).
constexpr uint16_t kLinearFrequencyTable = 1;

// How loud a module plays, by the tracker that wrote it and what it saved of its mix settings, as
// openmpt123 plays it (the FastTracker 2 rules follow it; the intro's have levels of their own).
enum class MixLevels : uint8_t {
  kLinear,         // linear panning, a channel at full volume on one side at 3/8 of full scale
  kModPlug,        // ModPlug Tracker's original levels: linear panning at 1/4, less with more channels
  kConstantPower,  // constant-power panning at 3/8 (FastTracker 2's files, OpenMPT's, MilkyTracker's)
  kFullCentre,     // linear panning at 3/8 on one side, the centre at full level on both
};

// The tracker that saved a file, as openmpt123 tells them apart by the header: FastTracker 2 (its
// 5 ms ramps), ModPlug Tracker, which wrote FastTracker 2's name (its pattern loops), or another.
enum class SavedBy : uint8_t {
  kOther,
  kFastTracker2,
  kModPlug,  // ModPlug Tracker, and OpenMPT for S3M and IT
  kScreamTracker3,
  kImpulseTracker,
  kSchismTracker,
  kImagoOrpheus,
};

struct Pattern {
  int32_t rows;
  Note* notes;  // rows x channels, row after row
};

// The MIDI macros of an IT module (its embedded configuration), each a 0-terminated text of up
// to 32 characters as the file holds it: the 9 global ones (start, stop, tick, note on, note off,
// volume, pan, bank, program), SF0 to SFF's and Z80 to ZFF's. All empty where the file embeds none
// (the rules then have their tracker's defaults).
struct MidiMacros {
  bool embedded;
  char global[9][33];
  char parametered[16][33];
  char fixed[128][33];
};

// A channel's settings as the module's header gives them (S3M, IT): its volume, its panning, and
// whether it plays at all.
// A pan of 16 steps (S3M's, 0 left to 15 right) on the 0..256 scale, to the nearest.
constexpr int16_t panOfSixteen(int step) { return static_cast<int16_t>((step * 256 + 7) / 15); }

struct ChannelSettings {
  uint8_t volume;   // 0..64
  int16_t panning;  // 0..256
  bool surround;
  bool muted;  // disabled in the file: its notes are not heard
  bool rightSide;  // one of Scream Tracker 3's right channels (its settings 8 to 15)
};

// Fills a sample's buffer with its raw bytes instead of the loader reading them: called once per
// sample with data, with the buffer, its byte count, the bits, the instrument's and the sample's
// index; the loader then skips those bytes and does not delta-decode them.
using SampleLoaderHook = void (*)(void* buffer, int32_t bytes, int bits, int instrument, int sample);

// Limits of what the player can play; anything beyond them is rejected when loading.
constexpr int kMaxChannels = 64;
constexpr int kMaxPatterns = 256;
constexpr int kMaxInstruments = 255;

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
  uint8_t orders[256];  // pattern numbers; S3M and IT mark positions kOrderSkip too
  uint8_t defaultGlobalVolume;
  int32_t globalVolume;
  int32_t tick;
  int32_t speed;
  int32_t bpm;
  int32_t row;
  int32_t orderPosition;
  int32_t nextRow;
  int32_t nextOrderPosition;
  TickFunction tickFunction;  // the rule set's, unless a renderer watches the ticks
  SampleLoaderHook sampleLoader;

  const RuleSet* rules;       // how the song is played, chosen when it is loaded
  int32_t filePatternCount;  // patterns stored in the file (the rest are empty)
  uint16_t version;  // the file's format version, 0x0104 for FastTracker 2's own
  MixLevels levels;  // how loud the tracker that wrote the file plays it
  SavedBy savedBy;
  float levelScale = 1;  // times that, from the mix settings a tracker saved with the file
  // The channels ModPlug Tracker's levels count, where the tracker saved its own count (OpenMPT's
  // song properties); 0 where it did not: the song's channels.
  int32_t levelChannels = 0;
  // Of the patterns and instruments the file's header names, those that were in it whole: a file
  // cut short has fewer, and plays what was read of the rest.
  int32_t wholePatterns;
  int32_t wholeInstruments;
  // The module's title and the tracker that wrote it, as the file holds them, 0-terminated.
  char title[33];
  char tracker[33];
  const Format* format;  // the format it was read from
  // A MOD written in a tracker before ProTracker's CIA timing: every Fxx sets the speed, at 50
  // ticks a second (the ProTracker rules decide it when the song is loaded).
  bool vblankTiming;
  // A MOD's signature as the file holds it ("M.K.", "8CHN"), 0-terminated; empty for XM and for a
  // 15-sample module, which has none.
  char signature[5];

  // Every sample of the song, in the file's order (XM: instrument after instrument); the song owns
  // them, the instruments' slots and keyboards point into this list.
  Sample** samples;
  int32_t sampleCount;
  ChannelSettings channels[kMaxChannels];
  uint8_t mixVolume;  // 0..128, the header's mix or master volume; 128 where the format has none
  bool stereo;        // the header asks for stereo (S3M, IT); XM and MOD always are
  std::string message;  // the song's text (IT's message); empty where the format has none
  SampleStore* sampleStore;  // the memory of every sample's frames (SampleStore.h)
  uint16_t headerFlags;      // the format's header flags as the file holds them (S3M's, IT's)
  int16_t adlibChannels;     // channels the header gives to AdLib instruments, which stay silent
  bool gus;                  // saved by Scream Tracker 3's Gravis Ultrasound version (S3M)
  // IT's header beyond the flags: its special word (bit 0 a message, 1 the edit history, 2 the
  // highlight, 3 the MIDI configuration embedded), the version it is compatible with (version
  // above is the one that wrote it), the pattern highlight, the pan separation and the pitch
  // wheel depth.
  uint16_t headerSpecial;
  uint16_t compatibleVersion;
  uint8_t rowsPerBeat, rowsPerMeasure;
  uint8_t panSeparation;  // 0..128; 128 where the format has none
  uint8_t pitchWheelDepth;
  MidiMacros macros;
  // What the reader could not read and plays as silence, a line each: "sample 3 ("kick") does
  // not decompress: silent".
  std::vector<std::string> warnings;
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

// A new song, its channels at their neutral settings (full volume, centre); none when memory runs
// out.
Song* newSong();
// Frees everything a song owns, and the song; nothing for none. It stops no playback: the
// program's player stops a song it plays first (releaseSong, StreamLoad.h).
// What of the song is not heard because the player does not synthesise or could not read it: "2
// AdLib channels silent (not synthesised)", the reader's warnings after it, "; " between them; ""
// when everything it holds sounds.
std::string silentNote(const Song& song);

void freeSong(Song* song);

struct SongFree {
  void operator()(Song* song) const { freeSong(song); }
};
using SongPtr = std::unique_ptr<Song, SongFree>;
