// The 15-sample header: a 20-byte title, 15 sample headers of 30 bytes (a 22-byte name, the
// length in words, a finetune byte, the volume, the loop's start and length), the song length,
// the tempo byte and 128 orders: 600 bytes, then the patterns of 64 rows x 4 channels x 4 bytes.
#include "SoundLib/xmplay/formats/SoundTrackerHeader.h"

#include <algorithm>

namespace {
constexpr int kTitleLength = 20;
constexpr int kNameLength = 22;
constexpr int kSamples = 15;
constexpr int kSampleHeaderSize = 30;
constexpr size_t kSongLengthAt = kTitleLength + kSamples * kSampleHeaderSize;
constexpr size_t kOrdersAt = kSongLengthAt + 2;
constexpr int kOrderEntries = 128;
constexpr size_t kPatternsAt = kOrdersAt + kOrderEntries;
constexpr size_t kPatternBytes = 64 * 4 * 4;

// The names are text, as people typed them on an Amiga: printable ASCII, padded with zeros. The
// odd stray byte is forgiven (an editor's leftover, a typing slip), a run of them is not: a title
// of more than 5, or more than 48 in the title and the names together, about two names' worth,
// is some other file's bytes.
constexpr int kStrayInTitle = 5;
constexpr int kStrayInAll = 48;

bool stray(uint8_t c) { return (c > 0 && c < 32) || c >= 128; }
int strayBytes(const uint8_t* at, int length) { return static_cast<int>(std::count_if(at, at + length, stray)); }

uint16_t be16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

// SoundTracker's samples: no finetune (the byte came with later trackers), a volume of 0 to 64,
// at most 64 KB (32768 words). The loop is not looked at: trackers wrote loops past the end.
bool sampleHeaderFits(const uint8_t* h) { return h[24] == 0 && h[25] <= 64 && be16(h + 22) <= 32768; }

// The tempo byte: 120 nearly always; others set the timer to (240 - value) x 122 of the CIA's
// ticks. One above 220 would tick faster than 700 BPM, which no SoundTracker song asks for.
constexpr int kHighestTempoByte = 220;

// A module cut short plays what is there, but its samples run past the end by no more than one
// sample's most, 64 KB: a header that promises more than that is no sample header. A length of
// one word counts as none, as an empty slot's.
constexpr size_t kMostSampleBytesMissing = 65536;
size_t statedBytes(const uint8_t* h) { return be16(h + 22) > 1 ? size_t{be16(h + 22)} * 2 : 0; }
}  // namespace

bool looksLikeSoundTracker(const uint8_t* data, size_t size) {
  if (!data || size < kPatternsAt + kPatternBytes) return false;
  int strayCount = strayBytes(data, kTitleLength);
  if (strayCount > kStrayInTitle) return false;
  bool sound = false;
  size_t sampleBytes = 0;
  for (int i = 0; i < kSamples; ++i) {
    const uint8_t* h = data + kTitleLength + i * kSampleHeaderSize;
    if (!sampleHeaderFits(h)) return false;
    strayCount += strayBytes(h, kNameLength);
    sound = sound || be16(h + 22) > 0;
    sampleBytes += statedBytes(h);
  }
  // A module without one sample of sound is no song.
  if (strayCount > kStrayInAll || !sound) return false;
  // A song of no orders could not be played anyway; as a field that must be 1 to 128 it tells
  // a header from other bytes (where a 31-sample module keeps a name, often empty).
  const int songLength = data[kSongLengthAt];
  if (songLength < 1 || songLength > kOrderEntries || data[kSongLengthAt + 1] > kHighestTempoByte) return false;
  // The orders name one of SoundTracker's 64 patterns, also those past the song's length.
  const uint8_t* orders = data + kOrdersAt;
  if (std::any_of(orders, orders + kOrderEntries, [](uint8_t o) { return o >= 64; })) return false;
  const size_t patterns = size_t{*std::max_element(orders, orders + songLength)} + 1;
  const size_t samplesAt = kPatternsAt + patterns * kPatternBytes;
  return samplesAt <= size && sampleBytes <= size - samplesAt + kMostSampleBytesMissing;
}
