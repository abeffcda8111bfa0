// Reads Scream Tracker 3's S3M format and what other trackers write in it: the "SCRM" header with
// the tracker's version word, the order list with its markers, 32 channel settings and the
// default pans, sample headers (8- and 16-bit, signed or unsigned, stereo, loops, C frequency;
// AdLib instruments are read for their names only: they are not synthesised), packed 64-row
// patterns. Every part is found by its paragraph pointer; what lies outside the file reads as
// nothing, and the song plays what was read.
#include "SoundLib/xmplay/formats/S3MReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SoundLib/xmplay/engine/SampleStore.h"
#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/formats/ReaderShared.h"

namespace {
constexpr size_t kIdAt = 44;
constexpr size_t kHeaderSize = 96;
constexpr int kChannelSlots = 32;
constexpr int kRows = 64;
constexpr int kSampleHeaderSize = 80;
constexpr int kMaxOrders = 256;
constexpr int kMaxS3MInstruments = 255;

// Channel settings: 0-7 the left channels, 8-15 the right ones, 16-31 AdLib's; bit 7 disables
// one; 255 leaves it unused.
constexpr uint8_t kUnused = 255;
constexpr uint8_t kDisabled = 0x80;
bool isAdlibChannel(uint8_t setting) { return (setting & 0x7F) >= 16 && (setting & 0x7F) < 32; }

// The default pans follow the pointers where this byte says so; a pan is there where bit 5 is set.
constexpr uint8_t kPansStored = 252;

// The tracker that wrote the file, from the header's version word (0xTVVV: T the tracker, VVV its
// version) and what each leaves in the header: ModPlug Tracker wrote Scream Tracker 3.20's word,
// but not the ultra-click byte the tracker itself always set.
Tracker trackerOf(uint16_t word, uint8_t ultraClick, uint16_t special) {
  Tracker t{SavedBy::kOther, ""};
  const int major = word >> 12, version = word & 0xFFF;
  auto put = [&t](const char* format, int a, int b) { std::snprintf(t.name, sizeof t.name, format, a, b); };
  switch (major) {
    case 1:
      if (word == 0x1320 && ultraClick == 0 && special == 0) {
        t.by = SavedBy::kModPlug;
        std::snprintf(t.name, sizeof t.name, "ModPlug Tracker");
      } else {
        t.by = SavedBy::kScreamTracker3;
        put("Scream Tracker %x.%02x", version >> 8, version & 0xFF);
      }
      break;
    case 2:
      t.by = SavedBy::kImagoOrpheus;
      put("Imago Orpheus %x.%02x", version >> 8, version & 0xFF);
      break;
    case 3:
      t.by = SavedBy::kImpulseTracker;
      put("Impulse Tracker %x.%02x", version >> 8, version & 0xFF);
      break;
    case 4:
      t.by = SavedBy::kSchismTracker;
      std::snprintf(t.name, sizeof t.name, "Schism Tracker");
      break;
    case 5:
      t.by = SavedBy::kModPlug;
      put("OpenMPT %x.%02x", version >> 8, version & 0xFF);
      break;
    default:
      std::snprintf(t.name, sizeof t.name, "unknown tracker %04X", word);
      break;
  }
  return t;
}

// What the reader works with while it reads one image.
struct Load {
  ByteReader& in;
  Song& song;
  const ReadOptions& options;
  bool unsignedSamples;
  // The channels whose cells are kept: neither unused nor disabled by the header.
  bool played[kChannelSlots] = {};
};

// A sample header (type 1) or an AdLib instrument's (2 to 7): what the song keeps of it, and where
// its data lies.
void readSampleHeader(Load& load, Instrument& ins, Sample& sample, uint16_t pointer, int64_t& dataAt) {
  uint8_t h[kSampleHeaderSize] = {};
  const int64_t at = int64_t{pointer} * 16;
  load.in.seek(at);
  const bool whole = load.in.read(h, sizeof h) == sizeof h && pointer != 0;
  ins.whole = whole || pointer == 0;
  std::memcpy(ins.name, h + 48, 26);
  std::memcpy(sample.name, h + 48, 28);
  // Scream Tracker 3's Gravis Ultrasound versions keep each sample's place in the card's memory
  // here; its Sound Blaster versions leave 1 or 0.
  if (whole && h[0] == 1 && le16(h + 40) > 1 && load.song.savedBy == SavedBy::kScreamTracker3) load.song.gus = true;
  dataAt = -1;
  if (!whole || h[0] != 1) {
    sample.adlib = h[0] >= 2 && h[0] <= 7;
    return;
  }
  dataAt = int64_t{uint32_t{h[13]} << 16 | le16(h + 14)} * 16;
  sample.length = le32(h + 16);
  sample.loopStart = le32(h + 20);
  const uint32_t loopEnd = le32(h + 24);
  sample.volume = std::min<uint8_t>(h[28], 64);
  const uint8_t flags = h[31];
  sample.loopMode = (flags & 1) && loopEnd > sample.loopStart ? kLoopForward : kLoopNone;
  sample.loopLength = sample.loopMode == kLoopForward ? loopEnd - sample.loopStart : 0;
  sample.stereo = flags & 2;
  sample.bits = sample.storedBits = (flags & 4) ? 16 : 8;
  sample.fileChannels = sample.stereo ? 2 : 1;
  sample.c5Speed = le32(h + 32);
  // The one packed form, DP30ADPCM, no tracker writes any more: such a sample plays as silence.
  if (h[30] != 0) {
    sample.length = 0;
    dataAt = -1;
  }
}

// The sample's data where its header says, as far as the file holds it: 8- or 16-bit values,
// signed or with the middle at 128 (32768) as the header's format word says; a stereo sample's
// left frames, then its right ones, put side by side.
bool readSampleData(Load& load, Instrument& ins, Sample& sample, int64_t dataAt) {
  const int channels = sample.stereo ? 2 : 1;
  const int bytesPerValue = sample.bits == 16 ? 2 : 1;  // an AdLib or empty slot has no bits and no data
  const int64_t available = dataAt >= 0 ? std::max<int64_t>(0, static_cast<int64_t>(load.in.size()) - dataAt) : 0;
  const uint32_t stated = sample.length;
  sample.length = static_cast<uint32_t>(std::min<int64_t>(sample.length, available / (bytesPerValue * channels)));
  if (sample.length < stated) ins.whole = false;
  if (sample.length == 0) {
    sample.loopStart = sample.loopLength = 0;
    sample.loopMode = kLoopNone;
    sample.stereo = false;
    return true;
  }
  settleLoop(sample);
  const uint32_t frames = planMixLoop(sample, load.options.shortestMixedLoop);
  int16_t* data = newSampleBuffer(load.song, frames, channels);
  if (!data) return false;
  load.in.seek(dataAt);
  const uint8_t* raw = load.in.here();
  const int flip = load.unsignedSamples ? 0x8000 : 0;
  for (int c = 0; c < channels; ++c) {
    const uint8_t* from = raw + static_cast<size_t>(c) * sample.length * bytesPerValue;
    for (uint32_t i = 0; i < sample.length; ++i) {
      const int v = bytesPerValue == 1 ? from[i] << 8 : from[2 * i] | from[2 * i + 1] << 8;
      data[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>((v ^ flip) & 0xFFFF);
    }
  }
  sample.bits = 16;
  finishSampleData(sample, data);
  sample.data = data;
  return true;
}

// One packed pattern: its length, then for each of 64 rows the cells (a byte naming the channel
// and what follows: note and instrument, volume, command and parameter), ended by a zero byte.
// A channel named twice in a row takes each part from the last cell that has it, as the row is
// unpacked into the channels' slots. Channels past the song's, and those the header leaves
// unused or disables, are read and dropped: they neither sound nor steer the song, as openmpt123
// plays them. The rows are read to the 64th whatever the stated length says, as openmpt123 reads
// them (a song may hide its start behind a pattern whose length lies); only the file's end stops
// them, and a cell the end cuts reads zeros for what is missing.
void readPattern(Load& load, Pattern& pattern, uint16_t pointer) {
  Song& song = load.song;
  if (pointer == 0) {
    ++song.wholePatterns;  // none stored: empty
    return;
  }
  if (int64_t{pointer} * 16 + 2 > static_cast<int64_t>(load.in.size())) return;
  load.in.seek(int64_t{pointer} * 16);
  const int64_t stated = load.in.u16();
  if (load.in.tell() + std::max<int64_t>(0, stated - 2) <= static_cast<int64_t>(load.in.size())) ++song.wholePatterns;
  const uint8_t* p = load.in.here();
  const uint8_t* const end = p + load.in.left();
  for (int row = 0; row < kRows && p < end; ++row) {
    Note* const cells = pattern.notes + static_cast<ptrdiff_t>(row) * song.channelCount;
    while (p < end) {
      const uint8_t what = *p++;
      if (what == 0) break;
      const ptrdiff_t size = (what & 32 ? 2 : 0) + (what & 64 ? 1 : 0) + (what & 128 ? 2 : 0);
      uint8_t cut[5] = {};
      const uint8_t* f = p;
      if (end - p < size) {
        std::memcpy(cut, p, static_cast<size_t>(end - p));
        f = cut;
        p = end;
      } else {
        p += size;
      }
      const int channel = what & 31;
      if (channel >= song.channelCount || !load.played[channel]) continue;
      Note& n = cells[channel];
      if (what & 32) {
        const uint8_t note = *f++;
        n.instrument = *f++;
        // Octave and semitone: semitones 12 to 15 run on into the next octave, and a note past
        // B-9 plays as B-9 (as openmpt123 reads them); 240 to 253 are no note, nor is 255.
        n.note = note == 254  ? kNoteCut
                 : note < 240 ? static_cast<uint8_t>(std::min((note >> 4) * 12 + (note & 15), kKeyboardNotes - 1) + 1)
                              : 0;
      }
      if (what & 64) {
        // 0 to 64 a volume; 128 to 192 a pan (ModPlug Tracker's, read in every S3M as openmpt123
        // reads it); the rest the loudest volume.
        const uint8_t volume = *f++;
        n.volume = volume >= kS3MPanFirst && volume <= kS3MPanLast ? volume
                                                                   : static_cast<uint8_t>(0x10 + std::min<int>(volume, 64));
      }
      if (what & 128) {
        // A command stored as its letter's character code reads as that command.
        n.effect = f[0] >= 'A' && f[0] <= 'Z' ? static_cast<uint8_t>(f[0] - 'A' + 1) : f[0];
        n.parameter = f[1];
      }
    }
  }
}

bool readHeader(Load& load, const uint8_t* h, std::vector<uint16_t>& samplePointers,
                std::vector<uint16_t>& patternPointers, LoadFailure* failure) {
  Song& song = load.song;
  const uint16_t orders = le16(h + 32), instruments = le16(h + 34), patterns = le16(h + 36);
  if (instruments > kMaxS3MInstruments)
    return refuseLoad(failure, "%d samples (at most %d)", instruments, kMaxS3MInstruments);
  if (patterns > kMaxPatterns) return refuseLoad(failure, "%d patterns (at most %d)", patterns, kMaxPatterns);
  std::memcpy(song.title, h, 28);
  song.headerFlags = le16(h + 38);
  song.version = le16(h + 40);
  load.unsignedSamples = le16(h + 42) != 1;
  const Tracker tracker = trackerOf(song.version, h[52], le16(h + 62));
  song.savedBy = tracker.by;
  std::memcpy(song.tracker, tracker.name, sizeof song.tracker);
  song.defaultGlobalVolume = std::min<uint8_t>(h[48], 64);
  song.defaultSpeed = static_cast<int16_t>(h[49] == 0 || h[49] == 255 ? 6 : h[49]);
  song.defaultBPM = static_cast<int16_t>(h[50] < 33 ? 125 : std::min<int32_t>(h[50], load.options.maxBPM));
  song.mixVolume = h[51] & 0x7F;
  song.stereo = h[51] & 0x80;

  // The channels up to the last one in use; AdLib's are read as silent ones.
  int last = -1;
  for (int c = 0; c < kChannelSlots; ++c)
    if (h[64 + c] != kUnused) last = c;
  if (last < 0) return refuseLoad(failure, "no channels in use");
  song.channelCount = static_cast<int16_t>(last + 1);
  for (int c = 0; c <= last; ++c) {
    const uint8_t setting = h[64 + c];
    ChannelSettings& ch = song.channels[c];
    load.played[c] = setting != kUnused && !(setting & kDisabled);
    ch.muted = !load.played[c] || isAdlibChannel(setting);
    if (setting != kUnused && !(setting & kDisabled) && isAdlibChannel(setting)) ++song.adlibChannels;
    // Left channels at 3 of Scream Tracker's 16 steps, right ones at 12; without stereo, all in
    // the middle.
    ch.rightSide = (setting & 0x7F) >= 8 && (setting & 0x7F) < 16;
    const int pan = ch.rightSide ? 12 : 3;
    ch.panning = static_cast<int16_t>(song.stereo ? pan * 256 / 15 : 128);
    ch.volume = 64;
  }

  load.in.seek(kHeaderSize);
  std::vector<uint8_t> list(orders);
  load.in.read(list.data(), list.size());
  // 255 ends the song, 254 is a marker the song steps over (Bxx counts both as positions, and
  // may jump past an end to orders only a jump reaches); an order naming a pattern the file does
  // not hold ends the song too, as openmpt123 plays it. The ends at the list's end are left off.
  int length = std::min<int>(orders, kMaxOrders);
  while (length > 0 && (list[length - 1] == kOrderEnd || (list[length - 1] != kOrderSkip && list[length - 1] >= patterns)))
    --length;
  bool any = false;
  for (int i = 0; i < length; ++i) {
    const bool names = list[i] != kOrderSkip && list[i] != kOrderEnd;
    song.orders[i] = names && list[i] >= patterns ? kOrderEnd : list[i];
    if (names && list[i] < patterns) any = true;
  }
  if (length == 0 || !any) return refuseLoad(failure, "no orders to play");
  song.songLength = static_cast<int16_t>(length);
  samplePointers.resize(instruments);
  patternPointers.resize(patterns);
  for (uint16_t& p : samplePointers) p = load.in.u16();
  for (uint16_t& p : patternPointers) p = load.in.u16();
  if (h[53] == kPansStored) {
    uint8_t pans[kChannelSlots] = {};
    load.in.read(pans, sizeof pans);
    // A pan stored for a channel counts in mono songs too.
    for (int c = 0; c <= last; ++c)
      if (pans[c] & 0x20) song.channels[c].panning = panOfSixteen(pans[c] & 15);
  }
  return true;
}

bool loadBody(Load& load, const std::vector<uint16_t>& samplePointers, const std::vector<uint16_t>& patternPointers) {
  Song& song = load.song;
  int used = 0;
  for (int i = 0; i < song.songLength; ++i)
    if (song.orders[i] != kOrderSkip && song.orders[i] != kOrderEnd) used = std::max<int>(used, song.orders[i] + 1);
  song.filePatternCount = static_cast<int32_t>(patternPointers.size());
  song.usedPatternCount = used;
  song.allocatedPatternCount = std::max(song.filePatternCount, used);
  song.instrumentCount = static_cast<int16_t>(samplePointers.size());
  song.patterns = new (std::nothrow) Pattern[std::max(song.allocatedPatternCount, 1)]();
  song.instruments = new (std::nothrow) Instrument[std::max<int>(song.instrumentCount, 1)]();
  if (!song.patterns || !song.instruments) return false;
  for (int p = 0; p < song.allocatedPatternCount; ++p) {
    song.patterns[p].rows = kRows;
    song.patterns[p].notes = new (std::nothrow) Note[static_cast<size_t>(kRows) * song.channelCount]();
    if (!song.patterns[p].notes) return false;
    if (p < song.filePatternCount) readPattern(load, song.patterns[p], patternPointers[p]);
  }
  std::vector<int64_t> dataAt(samplePointers.size(), -1);
  size_t expected = 0;
  for (int i = 0; i < song.instrumentCount; ++i) {
    Instrument& ins = song.instruments[i];
    std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
    Sample* sample = appendSample(song);
    if (!sample) return false;
    ins.samples[0] = sample;
    ins.sampleCount = 1;
    ins.globalVolume = 128;
    ins.defaultPanning = 128;
    ins.filterCutoff = ins.filterResonance = -1;
    for (int n = 0; n < kKeyboardNotes; ++n) ins.keyboard[n] = {static_cast<uint8_t>(n + 1), static_cast<uint16_t>(i + 1)};
    sample->panning = 128;
    readSampleHeader(load, ins, *sample, samplePointers[static_cast<size_t>(i)], dataAt[static_cast<size_t>(i)]);
    expected += (static_cast<size_t>(sample->length) + kSampleSpareFrames) * sample->fileChannels * 2;
  }
  expectSampleBytes(song, std::min(expected, 2 * load.in.size() + 65536));
  for (int i = 0; i < song.instrumentCount; ++i) {
    Instrument& ins = song.instruments[i];
    if (!readSampleData(load, ins, *ins.samples[0], dataAt[static_cast<size_t>(i)])) return false;
    song.wholeInstruments += ins.whole;
  }
  return true;
}
}  // namespace

SongPtr parseS3M(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure) {
  SongPtr song = startReading(s3m::kFormat, data, size, failure);
  if (!song) return nullptr;
  ByteReader in(data, size);
  Load load{in, *song, options, true};
  uint8_t h[kHeaderSize] = {};
  in.read(h, sizeof h);
  std::vector<uint16_t> samplePointers, patternPointers;
  if (!readHeader(load, h, samplePointers, patternPointers, failure)) return nullptr;
  if (!loadBody(load, samplePointers, patternPointers)) {
    refuseLoad(failure, "out of memory");
    return nullptr;
  }
  return song;
}

namespace s3m {
namespace {
bool recognise(const uint8_t* data, size_t size) {
  return data && size >= kHeaderSize && std::memcmp(data + kIdAt, "SCRM", 4) == 0;
}

std::string describe(const Song& song) {
  const std::string silent = silentNote(song);
  return silent.empty() ? "S3M" : "S3M, " + silent;
}
}  // namespace

const Format kFormat = {"S3M", recognise, parseS3M, describe, "st3", "no \"SCRM\" at offset 44"};
}  // namespace s3m
