#pragma once

#include <cstddef>
#include <cstdint>

#include "SoundLib/xmplay/formats/Format.h"

// Parses an XM module image of size bytes as the options ask. The bytes are read only during the
// call. None when they are not a module the player can play, with the reason in failure where
// one is given. With a hook, the hook fills each sample's raw bytes instead.
SongPtr parseXM(const uint8_t* data, size_t size, const ReadOptions& options, LoadFailure* failure = nullptr,
                SampleLoaderHook hook = nullptr);

namespace xm {
extern const Format kFormat;  // "XM": by its "Extended Module: " id; FastTracker 2's rules
}
