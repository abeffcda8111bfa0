#pragma once

#include <cstdint>

#include "SoundLib/xmplay/engine/Song.h"

// An XM sample's data as the file stores it: delta-coded 8- or 16-bit values, 4-bit ADPCM, or
// (other trackers') two channels one after the other, each coded on its own.

// Bytes the sample's data takes in the file, by its header (length in frames, bits, encoding,
// channels).
int64_t xmStoredBytes(const Sample& sample);

// The sample's length frames of 16-bit PCM from the bytes the file holds (xmStoredBytes of them at
// raw, which has room for length x channels x 2 + 16 bytes): widened, summed from deltas where
// `deltas`, two channels averaged to one.
void decodeXMSample(const Sample& sample, const uint8_t* raw, int16_t* out, bool deltas);
