#pragma once

#include "brackenfold/xmplay.h"
#include "SoundLib/xmplay/Song.h"

// For the program's own tools, which link the library statically: the song a module plays,
// for what the C interface does not say (structure, instruments, samples). Not installed.
const Song& songOf(const bfxm_module* module);
