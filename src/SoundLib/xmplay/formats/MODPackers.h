#pragma once

#include <cstddef>
#include <cstdint>

// The Amiga's module packers rewrote a ProTracker module into a smaller layout of their own for a
// demo or a game, and a cruncher packed a whole file; neither is a MOD any more, but their marks
// say what they are, so a refusal can name them. The packer's name ("AC1D Packer") where the
// image carries one's mark, none otherwise.
const char* modPackerOf(const uint8_t* data, size_t size);
