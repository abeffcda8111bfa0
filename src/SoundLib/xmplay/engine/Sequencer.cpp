#include "SoundLib/xmplay/engine/Sequencer.h"

#include <algorithm>
#include <cstring>

#include "SoundLib/xmplay/rules/RuleSet.h"


void songStart(XMPlayer& player, Song& song) {
  song.globalVolume = song.defaultGlobalVolume;
  song.nextRow = song.nextOrderPosition = -1;
  song.speed = song.defaultSpeed;
  song.row = 0;
  song.orderPosition = 0;
  song.samplesLeftInTick = 0;
  song.tick = 0;
  // Voices of the previous song (still sounding on partner channels, or on channels this song
  // does not use) would go on reading its samples, which may have been released since.
  for (MixerChannel& m : player.mixer) resetVoice(m, m.index);

  const RuleSet& rules = *song.rules;
  player.voiceCount = std::clamp(rules.voices, kChannelVoices, kMixerChannels);
  player.targetScale = rules.targetScale;
  player.rampLength = std::max(1, player.rate * rules.rampFrames / 44100);
  player.rampReciprocal = 1.0f / static_cast<float>(player.rampLength);
  player.resetRuleState(rules.stateSize);
  rules.songStart(player, song);
}

void seekOrder(XMPlayer& player, Song& song, int32_t order) {
  song.nextOrderPosition = std::clamp<int32_t>(order, 0, song.songLength - 1);
  song.nextRow = 0;
  song.tick = 0;
  song.rules->seekOrder(player, song);
}

const Note* rowNotes(const Song& song) {
  const Pattern& pattern = song.patterns[song.orders[song.orderPosition]];
  return pattern.notes + static_cast<size_t>(song.row) * song.channelCount;
}

int32_t patternRows(const Song& song, int32_t order) { return song.patterns[song.orders[order]].rows; }

int32_t wrapOrder(const Song& song, int32_t order) {
  if (order < song.songLength) return order;
  return song.restartPosition < song.songLength ? song.restartPosition : 0;
}

int32_t slideTowards(int32_t period, int32_t target, int32_t speed) {
  if (period < target) return std::min(period + speed, target);
  if (period > target) return std::max(period - speed, target);
  return period;
}

int32_t playableOrder(const Song& song, int32_t order) {
  for (int tries = 0; tries <= song.songLength + 1; ++tries) {
    if (order >= song.songLength || order < 0 || song.orders[order] == kOrderEnd) order = 0;
    if (song.orders[order] != kOrderSkip && song.orders[order] != kOrderEnd && song.orders[order] < song.allocatedPatternCount)
      return order;
    ++order;
  }
  // Ends placed so that every way on from here returns to them before a pattern: the first
  // order naming one, wherever it is (the reader refuses a list without one).
  for (int32_t i = 0; i < song.songLength; ++i)
    if (song.orders[i] != kOrderSkip && song.orders[i] != kOrderEnd && song.orders[i] < song.allocatedPatternCount) return i;
  return -1;
}

RowPlan nextRowAfter(const Song& song, int32_t jumpOrder, int32_t breakRow, int32_t loopRow) {
  // A loop going back to a row past the pattern's end (the row after a loop finished on its last
  // row, or a start left from a longer pattern) goes on in the next pattern.
  if (loopRow >= 0 && loopRow < patternRows(song, song.orderPosition)) return {-1, loopRow};
  if (loopRow >= 0) return {std::max(0, playableOrder(song, song.orderPosition + 1)), 0};
  if (jumpOrder >= 0 || breakRow >= 0) {
    const int32_t order = std::max(0, playableOrder(song, jumpOrder >= 0 ? jumpOrder : song.orderPosition + 1));
    return {order, breakRow >= 0 && breakRow < patternRows(song, order) ? breakRow : 0};
  }
  if (song.row + 1 < patternRows(song, song.orderPosition)) return {-1, song.row + 1};
  return {std::max(0, playableOrder(song, song.orderPosition + 1)), 0};
}

void setTrackerTickLength(const XMPlayer& player, Song& song) {
  song.samplesPerTick = std::max(1, player.rate * 5 / (2 * song.bpm));
}

void startAtPlayableOrder(Song& song) {
  const int32_t first = playableOrder(song, 0);
  if (first > 0) followPlan(song, {first, 0});
}

void seekToPlayableOrder(Song& song) { song.nextOrderPosition = std::max(0, playableOrder(song, song.nextOrderPosition)); }
