#include "SoundLib/xmplay/output/StreamLoad.h"

#include <thread>
#include <vector>

#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/output/WaveOutput.h"

namespace {
// The whole image, read through the stream's operations: its length from a seek to the end, then
// the bytes from the start. A stream that delivers fewer leaves the image that much shorter.
std::vector<uint8_t> readImage(Stream* stream) {
  streamSeek(stream, 0, 2);
  const int32_t length = streamTell(stream);
  streamSeek(stream, 0, 0);
  // A length beyond what the loader takes (a folder opened as a file may claim any) reads nothing.
  const size_t bytes = length > 0 && static_cast<size_t>(length) <= kMaxImageBytes ? static_cast<size_t>(length) : 0;
  std::vector<uint8_t> image(bytes);
  size_t got = 0;
  while (got < image.size()) {
    const int32_t n = streamRead(image.data() + got, static_cast<int32_t>(image.size() - got), stream);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  image.resize(got);
  return image;
}
}  // namespace

Song* createSong(const void* name, SampleLoaderHook hook, const RuleSet& rules) {
  Stream* stream = streamOpen(name, 0, 0);
  if (!stream) return nullptr;
  const std::vector<uint8_t> image = readImage(stream);
  streamClose(stream);
  SongPtr song = parseXM(image.data(), image.size(), rules.read, nullptr, hook);
  if (!song || !playBy(*song, rules, nullptr)) return nullptr;
  return song.release();
}

bool releaseSong(Song* song) {
  if (!song) return false;
  OutputPlayer& player = xmPlayer();
  if (player.song == song) {
    while (player.busy.load()) std::this_thread::yield();
    stop(player);
  }
  freeSong(song);
  return true;
}
