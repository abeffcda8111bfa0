#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

class ByteReader;

// IT's sample headers and their data: plain PCM (8- or 16-bit, signed or unsigned, little- or
// big-endian, optionally delta-coded), one channel or two (the left's values, then the right's),
// and Impulse Tracker 2.14's compression with 2.15's variant.

constexpr int kITSampleHeaderSize = 80;

// Where a sample's data lies and how it is stored, from its header.
struct ITSampleData {
  int64_t at = -1;  // -1: none
  bool compressed = false;
  bool it215 = false;  // 2.15's compression: integrated twice
  bool isSigned = true;
  bool bigEndian = false;
  bool delta = false;  // plain values stored as differences
};

// Reads an "IMPS" header (kITSampleHeaderSize bytes) into the sample: name, volumes, pan, loops,
// C5 speed, vibrato; where its data lies into data.
void readITSampleHeader(Sample& sample, const uint8_t* h, ITSampleData& data);

// Reads the sample's frames into the song's store as 16-bit signed values (8-bit ones scaled up),
// a stereo sample's left and right side by side: false only when memory runs out. A sample the
// file holds only part of keeps that part, and whole turns false; a compressed sample that does
// not decode stays silent, with a warning in the song naming it (index counting from 1).
bool readITSampleData(Song& song, ByteReader& in, Sample& sample, const ITSampleData& data, uint32_t shortestMixedLoop,
                      int index, bool& whole);

// The compression: blocks of 0x8000 values (8-bit) or 0x4000 (16-bit), each a 16-bit count of its
// bytes and a stream of values, low bits first, in a width that changes as the stream says. The
// values are differences, summed once (2.14) or twice (2.15), the sums starting from 0 at each
// block.

// What a stream is when it cannot be decoded.
constexpr int64_t kITBlocksPastTheEnd = -1;  // a block lies beyond the data
constexpr int64_t kITBlocksUndecodable = -2;  // a stream runs out, names no width, or is too short for its values

// The bytes `frames` values of one channel take, by the blocks' counts alone (each block must
// hold at least a bit a value), or one of the two above.
int64_t compressedITBytes(const uint8_t* data, size_t size, uint32_t frames, bool sixteenBit);

// Decodes `frames` values of one channel from data (size bytes) into out, one every `stride`
// values, 8-bit values scaled to 16 bits. Returns the bytes read or one of the two above, having
// written what it decoded before the fault.
int64_t decompressIT(const uint8_t* data, size_t size, uint32_t frames, bool sixteenBit, bool it215, int16_t* out,
                     int stride);
