#pragma once

#include "Platform/WaveDevice.h"
#include "SoundLib/xmplay/Player.h"

// Opens the device at rate; false while the stream callback set is incomplete or when the
// device refuses. Sets the block, ring and ramp lengths and clears the mixer channels.
bool outputOpen(XMPlayer& player, int32_t rate, WaveDevice& device = platformWaveDevice());
int outputClose(XMPlayer& player);
// Renders the first ring, starts the device looping it and the mixing thread refilling it.
bool play(XMPlayer& player, Song* song);
// Ends the mixing thread (waiting for a block in progress) and releases the mix buffer.
bool stop(XMPlayer& player);

// The mixing thread's body: a pass every 5 ms until the stop flag is set.
void mixingThread(XMPlayer& player);
// One poll of the mixing thread: refill every block the device has left. Devices on platforms
// without threads call it from their own callback instead of running the thread.
void mixingPass(XMPlayer& player);
