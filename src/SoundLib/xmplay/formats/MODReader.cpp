// Reads the Amiga MOD format and its PC variants: a big-endian header of 15 or 31 sample headers
// and 128 orders, patterns of 64 rows of four-byte notes (period, sample number, effect), then
// the samples' signed 8-bit data, lengths counted in words. SoundTracker 2.6 and Ice Tracker
// store tracks of one channel in place of patterns, four named for each position of the song.
#include "SoundLib/xmplay/formats/MODReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "SoundLib/xmplay/formats/AmigaPeriods.h"
#include "SoundLib/xmplay/formats/ByteReader.h"
#include "SoundLib/xmplay/engine/SampleStore.h"
#include "SoundLib/xmplay/formats/MODPackers.h"
#include "SoundLib/xmplay/formats/ReaderShared.h"
#include "SoundLib/xmplay/formats/SoundTrackerHeader.h"

namespace {
constexpr int kTitleLength = 20;
constexpr int kNameLength = 22;
constexpr int kSampleHeaderSize = 30;
constexpr int kOrderEntries = 128;
constexpr int kRows = 64;
constexpr int kNoteBytes = 4;
constexpr size_t kSignatureAt = 1080;
constexpr int kMaxMODChannels = 32;  // "32CH"

// SoundTracker 2.6 and Ice Tracker: after the sample headers the song length and the number of
// tracks stored, a table of four track numbers for each of 128 positions, the signature, then
// the tracks, 64 rows of one channel each.
constexpr size_t kTrackTableAt = 952;
constexpr size_t kTrackSignatureAt = 1464;
constexpr size_t kTracksAt = 1468;
constexpr int kTrackChannels = 4;
constexpr size_t kTrackBytes = kRows * kNoteBytes;

// Where the header's parts lie: after the title and the sample headers, the song length, the
// restart byte (SoundTracker's tempo in a 15-sample module, the number of tracks in a module of
// tracks) and the orders.
struct HeaderLayout {
  size_t songLengthAt, ordersAt;
};
HeaderLayout headerLayout(int samples) {
  const size_t songLengthAt = kTitleLength + static_cast<size_t>(samples) * kSampleHeaderSize;
  return {songLengthAt, songLengthAt + 2};
}

bool digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Digital Tracker's "FA04", "FA06", "FA08": 4 to 8 channels, and four bytes of its own after the
// signature, before the patterns.
bool digitalTracker(const uint8_t* s) { return std::memcmp(s, "FA0", 3) == 0 && s[3] >= '4' && s[3] <= '8'; }

// The channels a signature names, 0 for one we do not know.
int signatureChannels(const uint8_t* s, bool& flt8) {
  auto is = [s](const char* text) { return std::memcmp(s, text, 4) == 0; };
  flt8 = is("FLT8");
  if (is("M.K.") || is("M!K!") || is("M&K!") || is("FLT4") || is("4CHN")) return 4;
  if (flt8 || is("CD81") || is("OKTA") || is("OCTA")) return 8;
  if (digit(s[0]) && std::memcmp(s + 1, "CHN", 3) == 0) return s[0] - '0';
  if (std::memcmp(s, "TDZ", 3) == 0 && digit(s[3])) return s[3] - '0';
  if (digit(s[0]) && digit(s[1]) && (std::memcmp(s + 2, "CH", 2) == 0 || std::memcmp(s + 2, "CN", 2) == 0))
    return (s[0] - '0') * 10 + s[1] - '0';
  if (digitalTracker(s)) return s[3] - '0';
  return 0;
}

uint16_t be16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

int highestOrder(const uint8_t* orders, int count) { return *std::max_element(orders, orders + std::max(count, 1)); }

// A module of tracks is taken for one where its signature is there and every entry of the table,
// also past the song's length, names a track the count allows: one of those stored, or the
// count itself, one past them, which plays as an empty track. The song length is SoundTracker's,
// up to 128 positions.
bool tracksLayout(const uint8_t* data, size_t size) {
  if (size < kTracksAt) return false;
  const uint8_t* s = data + kTrackSignatureAt;
  if (std::memcmp(s, "MTN\0", 4) != 0 && std::memcmp(s, "IT10", 4) != 0) return false;
  const HeaderLayout at = headerLayout(31);
  const int tracks = data[at.songLengthAt + 1];
  const uint8_t* table = data + kTrackTableAt;
  return data[at.songLengthAt] <= kOrderEntries &&
         std::none_of(table, table + kOrderEntries * kTrackChannels, [tracks](uint8_t t) { return t > tracks; });
}

// What the loader works with while it reads one image.
struct Load {
  ByteReader& in;
  Song& song;
  const ReadOptions& rules;
  const MODLayout& layout;
  int tracks = 0;  // stored, in a module of tracks
};

struct SampleHeader {
  uint32_t length, loopStart, loopLength;  // words
};

// Sample headers: name, length, finetune (a signed nibble), volume, loop start and length.
bool readSampleHeaders(Load& load, SampleHeader* headers) {
  Song& song = load.song;
  for (int i = 0; i < song.instrumentCount; ++i) {
    uint8_t h[kSampleHeaderSize] = {};
    load.in.read(h, kSampleHeaderSize);
    Instrument& ins = song.instruments[i];
    std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
    std::memcpy(ins.name, h, kNameLength);
    Sample* sample = appendSample(song);
    if (!sample) return false;
    std::memcpy(sample->name, h, kNameLength);
    ins.samples[0] = sample;
    ins.sampleCount = 1;
    ins.whole = true;
    ins.globalVolume = 128;
    ins.defaultPanning = 128;
    ins.filterCutoff = ins.filterResonance = -1;
    for (int n = 0; n < kKeyboardNotes; ++n) ins.keyboard[n] = {static_cast<uint8_t>(n + 1), static_cast<uint16_t>(i + 1)};
    headers[i] = {be16(h + 22), be16(h + 26), be16(h + 28)};
    sample->finetune = static_cast<int8_t>((h[24] & 15) << 4);  // as XM's, in 16ths of a semitone x 8
    sample->volume = std::min<uint8_t>(h[25], 64);
    sample->panning = 128;
    sample->bits = sample->storedBits = 8;
    sample->fileChannels = 1;
    sample->hasPanning = true;
  }
  return true;
}

// The loop in frames. A loop of one word (or none) is no loop. One that runs past the sample's
// end: old trackers counted its start in bytes, where that fits; otherwise it ends at the end.
void setLoop(Sample& sample, const SampleHeader& h) {
  sample.length = h.length * 2;
  sample.loopMode = kLoopNone;
  if (h.loopLength <= 1) return;
  uint32_t start = h.loopStart;
  if (start + h.loopLength > h.length && start / 2 + h.loopLength <= h.length) start /= 2;
  sample.loopMode = kLoopForward;
  sample.loopStart = start * 2;
  sample.loopLength = h.loopLength * 2;
}

// The order list: entries name patterns, FLT8's pairs of 4-channel halves by the first's number.
bool readOrders(Load& load, LoadFailure* failure) {
  Song& song = load.song;
  const HeaderLayout at = headerLayout(load.layout.samples);
  load.in.seek(static_cast<int64_t>(at.songLengthAt));
  const int songLength = load.in.u8();
  const int restart = load.in.u8();
  if (songLength == 0) return refuseLoad(failure, "no orders to play");
  song.songLength = static_cast<int16_t>(std::min(songLength, kOrderEntries));
  if (load.layout.tracks) {
    // Each position has a pattern of its own, made of the tracks it names.
    load.tracks = restart;
    for (int p = 0; p < song.songLength; ++p) song.orders[p] = static_cast<uint8_t>(p);
    return true;
  }
  // ProTracker writes 127 there, NoiseTracker its restart position. SoundTracker kept its tempo
  // there: 120, the usual 50 ticks a second, nearly always; another value sets the timer to
  // (240 - value) x 122 of the CIA's ticks, 1773447 of which make one at 1 BPM.
  const bool soundTracker = load.layout.samples == 15;
  song.restartPosition = static_cast<int16_t>(!soundTracker && restart < song.songLength ? restart : 0);
  if (soundTracker && restart != 120 && restart < 240 && restart > 0)
    song.defaultBPM = static_cast<int16_t>(std::clamp((1773447 + (240 - restart) * 61) / ((240 - restart) * 122), 32, 255));
  load.in.read(song.orders, kOrderEntries);
  if (load.layout.flt8)
    for (uint8_t& o : song.orders) o /= 2;
  return true;
}

int64_t patternBytes(const Song& song) { return int64_t{kRows} * song.channelCount * kNoteBytes; }

// The patterns stored: as many as the highest entry of the whole order list names (ProTracker
// counts them so), unless they would not fit in the image beside the samples where those the
// song plays would.
void countPatterns(Load& load, int64_t sampleBytes) {
  Song& song = load.song;
  if (load.layout.tracks) {
    song.filePatternCount = song.usedPatternCount = song.allocatedPatternCount = song.songLength;
    return;
  }
  const int all = highestOrder(song.orders, kOrderEntries) + 1;
  const int used = highestOrder(song.orders, song.songLength) + 1;
  const int64_t at = load.in.tell();
  const auto fits = [&](int count) { return at + count * patternBytes(song) + sampleBytes <= static_cast<int64_t>(load.in.size()); };
  song.filePatternCount = !fits(all) && fits(used) ? used : all;
  song.usedPatternCount = used;
  song.allocatedPatternCount = std::max(song.filePatternCount, used);
}

Note unpackNote(const uint8_t* b, int samples) {
  Note n{};
  const int period = (b[0] & 15) << 8 | b[1];
  const int sample = (b[0] & 0xF0) | b[2] >> 4;
  if (period) n.note = static_cast<uint8_t>(amiga::noteOfPeriod(period) + amiga::kSongNoteOfC0);
  n.instrument = static_cast<uint8_t>(sample <= samples ? sample : 0);
  n.effect = b[2] & 15;
  n.parameter = b[3];
  return n;
}

bool readPatterns(Load& load) {
  Song& song = load.song;
  const int channels = song.channelCount;
  // FLT8 stores each pattern as two of four channels, the first four channels first.
  const int parts = load.layout.flt8 ? 2 : 1;
  const int partChannels = channels / parts;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[static_cast<size_t>(patternBytes(song))]);
  if (!bytes) return false;
  for (int p = 0; p < song.filePatternCount; ++p) {
    Pattern& pattern = song.patterns[p];
    pattern.rows = kRows;
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(kRows) * channels]();
    if (!pattern.notes) return false;
    std::memset(bytes.get(), 0, static_cast<size_t>(patternBytes(song)));
    if (load.in.read(bytes.get(), static_cast<size_t>(patternBytes(song))) == static_cast<size_t>(patternBytes(song)))
      ++song.wholePatterns;
    for (int part = 0; part < parts; ++part)
      for (int row = 0; row < kRows; ++row)
        for (int c = 0; c < partChannels; ++c) {
          const uint8_t* b = bytes.get() + ((part * kRows + row) * partChannels + c) * kNoteBytes;
          pattern.notes[row * channels + part * partChannels + c] = unpackNote(b, load.layout.samples);
        }
  }
  return allocateEmptyPatterns(song);
}

// A module of tracks: each position's pattern from the four tracks the table names for it, one
// past those stored empty; the samples follow the tracks.
bool readTrackedPatterns(Load& load) {
  Song& song = load.song;
  uint8_t table[kOrderEntries * kTrackChannels] = {};
  load.in.seek(static_cast<int64_t>(kTrackTableAt));
  load.in.read(table, sizeof table);
  for (int p = 0; p < song.filePatternCount; ++p) {
    Pattern& pattern = song.patterns[p];
    pattern.rows = kRows;
    pattern.notes = new (std::nothrow) Note[static_cast<size_t>(kRows) * kTrackChannels]();
    if (!pattern.notes) return false;
    bool whole = true;
    for (int c = 0; c < kTrackChannels; ++c) {
      const int track = table[p * kTrackChannels + c];
      if (track >= load.tracks) continue;
      uint8_t bytes[kTrackBytes] = {};
      load.in.seek(static_cast<int64_t>(kTracksAt + track * kTrackBytes));
      whole = load.in.read(bytes, kTrackBytes) == kTrackBytes && whole;
      for (int row = 0; row < kRows; ++row)
        pattern.notes[row * kTrackChannels + c] = unpackNote(bytes + row * kNoteBytes, load.layout.samples);
    }
    song.wholePatterns += whole;
  }
  load.in.seek(static_cast<int64_t>(kTracksAt + load.tracks * kTrackBytes));
  return allocateEmptyPatterns(song);
}

// One sample's signed 8-bit data, as far as the image holds it.
bool readSampleData(Load& load, Instrument& ins) {
  Sample& sample = *ins.samples[0];
  const uint32_t stated = sample.length;
  sample.length = static_cast<uint32_t>(std::min<int64_t>(sample.length, load.in.left()));
  if (sample.length < stated) ins.whole = false;
  if (sample.length == 0) {
    sample.loopStart = sample.loopLength = 0;
    sample.loopMode = kLoopNone;
    return true;
  }
  settleLoop(sample);
  int16_t* data = newSampleBuffer(load.song, planMixLoop(sample, load.rules.shortestMixedLoop));
  if (!data) return false;
  // Widened where the image holds it.
  const uint8_t* raw = load.in.here();
  for (uint32_t i = 0; i < sample.length; ++i) data[i] = static_cast<int16_t>(static_cast<int8_t>(raw[i]) * 256);
  load.in.skip(sample.length);
  sample.bits = 16;
  finishSampleData(sample, data);
  sample.data = data;
  return true;
}

bool loadBody(Load& load, LoadFailure* failure) {
  Song& song = load.song;
  song.instruments = new (std::nothrow) Instrument[song.instrumentCount]();
  if (!song.instruments) return false;
  SampleHeader headers[31] = {};
  load.in.seek(kTitleLength);
  if (!readSampleHeaders(load, headers)) return false;
  int64_t sampleBytes = 0;
  for (int i = 0; i < song.instrumentCount; ++i) {
    setLoop(*song.instruments[i].samples[0], headers[i]);
    sampleBytes += song.instruments[i].samples[0]->length;
  }
  if (!readOrders(load, failure)) return false;
  load.in.seek(static_cast<int64_t>(load.layout.patternsAt));
  countPatterns(load, sampleBytes);
  song.patterns = new (std::nothrow) Pattern[song.allocatedPatternCount]();
  if (!song.patterns || !(load.layout.tracks ? readTrackedPatterns(load) : readPatterns(load))) return false;
  // 8-bit frames, as far as the file holds them, each with its spare frames after it.
  expectSampleBytes(song, 2 * static_cast<size_t>(std::min<int64_t>(sampleBytes, load.in.left())) +
                              static_cast<size_t>(song.instrumentCount) * kSampleSpareFrames * 2);
  for (int i = 0; i < song.instrumentCount; ++i) {
    if (!readSampleData(load, song.instruments[i])) return false;
    song.wholeInstruments += song.instruments[i].whole;
  }
  return true;
}
}  // namespace

MODLayout recogniseMOD(const uint8_t* data, size_t size) {
  MODLayout layout;
  if (!data) return layout;
  if (size >= kSignatureAt + 4) {
    const int channels = signatureChannels(data + kSignatureAt, layout.flt8);
    if (channels > 0 && channels <= kMaxMODChannels) {
      layout.channels = channels;
      std::memcpy(layout.signature, data + kSignatureAt, 4);
      if (digitalTracker(data + kSignatureAt)) layout.patternsAt += 4;
      return layout;
    }
    layout.flt8 = false;
  }
  if (tracksLayout(data, size)) {
    layout.channels = kTrackChannels;
    layout.tracks = true;
    layout.patternsAt = kTracksAt;
    std::memcpy(layout.signature, data + kTrackSignatureAt, 4);
  } else if (looksLikeSoundTracker(data, size)) {
    layout.channels = 4;
    layout.samples = 15;
    layout.patternsAt = headerLayout(15).ordersAt + kOrderEntries;
  } else {
    layout.packer = modPackerOf(data, size);
  }
  return layout;
}

SongPtr parseMOD(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure) {
  if (failure) failure->text[0] = 0;
  if (size > kMaxImageBytes) {
    refuseLoad(failure, "larger than 1 GB");
    return nullptr;
  }
  const MODLayout layout = recogniseMOD(data, size);
  if (layout.packer) {
    refuseLoad(failure, "packed with %s: not played", layout.packer);
    return nullptr;
  }
  if (layout.channels == 0) {
    refuseLoad(failure, "not a MOD module (no signature at offset 1080, no 15-sample header)");
    return nullptr;
  }
  SongPtr song(newSong());
  if (!song) {
    refuseLoad(failure, "out of memory");
    return nullptr;
  }
  Song& s = *song;
  s.format = &mod::kFormat;
  std::memcpy(s.signature, layout.signature, sizeof s.signature);
  std::memcpy(s.title, data, kTitleLength);
  s.channelCount = static_cast<int16_t>(layout.channels);
  s.instrumentCount = static_cast<int16_t>(layout.samples);
  s.defaultSpeed = 6;
  s.defaultBPM = 125;
  s.defaultGlobalVolume = 64;
  s.levels = MixLevels::kLinear;  // the Amiga table: flags 0
  ByteReader in(data, size);
  Load load{in, s, options, layout};
  if (!loadBody(load, failure)) {
    if (failure && !failure->text[0]) refuseLoad(failure, "out of memory");
    return nullptr;
  }
  return song;
}

namespace mod {
namespace {
// A packed module too, to be refused by its packer's name.
bool recognise(const uint8_t* data, size_t size) {
  const MODLayout layout = recogniseMOD(data, size);
  return layout.channels > 0 || layout.packer;
}

std::string describe(const Song& song) {
  if (!song.signature[0]) return "MOD 15 samples";
  return "MOD " + printableName(song.signature, sizeof song.signature);
}
}  // namespace

const Format kFormat = {"MOD", recognise, parseMOD, describe, "pt", nullptr};
}  // namespace mod
