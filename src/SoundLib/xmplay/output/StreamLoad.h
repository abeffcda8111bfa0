#pragma once

#include "SoundLib/xmplay/output/StreamCallbacks.h"
#include "SoundLib/xmplay/formats/XMReader.h"
#include "SoundLib/xmplay/rules/RuleSet.h"

// The module loader as the program's facade reaches it: through the installed stream callback
// set, by a name that set understands (a file's path, or the address of an image in memory of
// the memory stream length).

// Opens a stream on name, reads the image through the set's operations and loads it to be
// played by the given rules; none when the stream cannot be opened or the module cannot be played.
Song* createSong(const void* name, SampleLoaderHook hook, const RuleSet& rules);
// Stops the program's player if it plays this song (waiting for a block in progress), then frees
// everything the song owns; false for none.
bool releaseSong(Song* song);
