#pragma once

#include <cstdint>

#include "ImageLib/Image.h"

// The readers CImageLib chooses from by the first bytes of the data. Each returns a new image
// or none, and never reads past size bytes.
Image* ReadRaw(const uint8_t* data, uint32_t size);
Image* ReadTGA(const uint8_t* data, uint32_t size);
// fromFile: source names a file instead of holding size bytes.
Image* ReadWKO(const void* source, uint32_t size, bool fromFile);
// ReadWKO of a block in memory without its log lines: for the encoder, which decodes its own
// candidate streams to weigh them.
Image* decodeWkoQuietly(const uint8_t* data, uint32_t size);
