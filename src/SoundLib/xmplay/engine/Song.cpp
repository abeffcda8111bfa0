#include "SoundLib/xmplay/engine/Song.h"

#include "SoundLib/xmplay/engine/SampleStore.h"

#include <new>

Sample emptySample{};
Instrument emptyInstrument{};

Song* newSong() {
  Song* song = new (std::nothrow) Song{};
  if (!song) return nullptr;
  for (ChannelSettings& c : song->channels) c = {64, 128, false, false, false};
  song->mixVolume = 128;
  song->stereo = true;
  song->panSeparation = 128;
  return song;
}

std::string silentNote(const Song& song) {
  std::string note;
  if (song.adlibChannels > 0)
    note = std::to_string(song.adlibChannels) + " AdLib channel" + (song.adlibChannels > 1 ? "s" : "") +
           " silent (not synthesised)";
  for (const std::string& warning : song.warnings) note += (note.empty() ? "" : "; ") + warning;
  return note;
}

void freeSong(Song* song) {
  if (!song) return;
  if (song->samples) {
    for (int i = 0; i < song->sampleCount; ++i) {
      if (song->samples[i] && song->samples[i] != &emptySample) delete song->samples[i];
    }
    delete[] song->samples;
  }
  freeSampleStore(*song);
  delete[] song->instruments;
  if (song->patterns) {
    for (int p = 0; p < song->allocatedPatternCount; ++p) delete[] song->patterns[p].notes;
    delete[] song->patterns;
  }
  delete song;
}
