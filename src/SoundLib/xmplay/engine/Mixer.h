#pragma once

#include "SoundLib/xmplay/engine/Player.h"

// Adds the 64 channels (those of the song channels heard, see channelMask) into count stereo
// frames of the float mix buffer at destination.
void mix(XMPlayer& player, float* destination, int32_t count);
// Rounds and clips count stereo frames into 16-bit samples; returns how many samples it clipped
// (those that round beyond 16 bits).
uint64_t convert(int16_t* destination, const float* source, int32_t count);
// The samples of count stereo frames that convert clips: those that round beyond 16 bits.
uint64_t countClipped(const float* source, int32_t count);
// convert for the mix times a gain (the mix itself stays as it is): the players' volume.
uint64_t convertScaled(int16_t* destination, const float* source, int32_t count, float gain);
// The samples of count stereo frames of the mix times gain that the conversion clips.
uint64_t clippedSamples(const float* source, int32_t count, float gain);
// Renders the block at the block index, calling the song's tick function on its exact frames.
void fillBlock(XMPlayer& player);
