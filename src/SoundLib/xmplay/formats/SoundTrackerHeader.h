#pragma once

#include <cstddef>
#include <cstdint>

// Whether an image is a 15-sample SoundTracker module. Such a module has no signature, so it is
// told by its header alone: everything there must be what the SoundTracker family wrote, and the
// patterns its orders name must fit in the image, since any 600 bytes would otherwise pass.
bool looksLikeSoundTracker(const uint8_t* data, size_t size);
