#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "SoundLib/xmplay/Song.h"

// Frees everything a song owns, and the song; nothing for none. It stops no playback: the
// program's player stops a song it plays first (releaseSong, StreamLoad.h).
void freeSong(Song* song);

struct SongFree {
  void operator()(Song* song) const { freeSong(song); }
};
using SongPtr = std::unique_ptr<Song, SongFree>;

// The largest image the loaders take: far beyond any module, small enough that a lying length
// cannot ask for absurd memory.
constexpr size_t kMaxImageBytes = size_t{1} << 30;

// Why an image did not load, in a few words for a one-line message.
struct LoadFailure {
  char text[96];
};

// Parses an XM module image of size bytes, to be played by the given rules. The bytes are read
// only during the call. None when they are not a module the rules can play, with the reason
// in failure where one is given. With a hook, the hook fills each sample's raw bytes instead.
SongPtr parseXM(const uint8_t* data, size_t size, const RuleSet& rules, LoadFailure* failure = nullptr,
                SampleLoaderHook hook = nullptr);
