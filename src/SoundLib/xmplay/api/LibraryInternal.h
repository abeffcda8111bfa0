#pragma once

#include "brackenfold/tracker.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/engine/Song.h"

// For the program's own tools, which link the library statically: the song a module plays,
// for what the C interface does not say (structure, instruments, samples). Not installed.
const Song& songOf(const bft_module* module);
// How one pass of it ends, at the module's rate (bft_pass_frames's length, and whether a
// pattern loop that never ends follows it).
const OfflineRenderer::PassEnd& passOf(const bft_module* module);
