#pragma once

#include "SoundLib/xmplay/Song.h"
#include "SoundLib/xmplay/StreamCallbacks.h"

// Opens a stream on name through the installed callbacks and loads the module to be played by
// the given rules; none when the stream cannot be opened or the module cannot be played.
Song* createSong(const void* name, SampleLoaderHook hook, const RuleSet& rules = ft2::kRules);
// Loads into a song whose rule set is chosen.
bool loadSong(Song* song, Stream* stream);
// Stops playback if it plays this song, then frees everything the song owns.
bool releaseSong(Song* song);
