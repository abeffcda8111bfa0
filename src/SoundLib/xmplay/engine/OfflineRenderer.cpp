#include "SoundLib/xmplay/engine/OfflineRenderer.h"

#include <algorithm>
#include <cstring>

#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/rules/RuleSet.h"

namespace {
// The tick function has no context of its own; the renderer that is filling a block is it.
thread_local OfflineRenderer* filling = nullptr;
}  // namespace

void OfflineRenderer::PassWatch::restart(int32_t playedThrough) {
  played.clear();
  log = std::make_shared<std::vector<uint64_t>>();  // the last one stays with the states that hold it
  logged = 0;
  for (int k = 0; k < 256; ++k) playedWhole[k] = k <= playedThrough;
  end = {};
}

bool OfflineRenderer::PassWatch::play(uint64_t key) {
  if (!played.insert(key)) return false;
  if (logged < log->size()) {
    // Played again from a state restored: the same rows, unless it goes another way.
    if ((*log)[logged] == key) {
      ++logged;
      return true;
    }
    log = std::make_shared<std::vector<uint64_t>>(log->begin(), log->begin() + static_cast<ptrdiff_t>(logged));
  }
  log->push_back(key);
  ++logged;
  return true;
}

void OfflineRenderer::PassWatch::rewind(const std::shared_ptr<std::vector<uint64_t>>& keys, size_t count) {
  played.clear();
  for (size_t i = 0; i < count; ++i) played.insert((*keys)[i]);
  log = keys;
  logged = count;
}

// SplitMix64's finaliser over the three: distinct states are as good as certain to differ.
uint64_t OfflineRenderer::PassWatch::key(int32_t order, int32_t row, uint64_t flow) {
  uint64_t k = (uint64_t{static_cast<uint32_t>(order)} << 48 | uint64_t{static_cast<uint32_t>(row)} << 32) ^ flow;
  k = (k ^ (k >> 30)) * 0xBF58476D1CE4E5B9ull;
  k = (k ^ (k >> 27)) * 0x94D049BB133111EBull;
  return k ^ (k >> 31);
}

void OfflineRenderer::PassWatch::beforeTick(XMPlayer& player, const Song& song, int64_t tickFrame) {
  // A row starts on the first tick where the song has moved on to one (not in a pattern delay's
  // repeats), and at the very start.
  if (song.tick != 0 || end.frame >= 0 || (song.nextRow < 0 && tickFrame > 0)) return;
  const int32_t order = song.nextOrderPosition >= 0 ? song.nextOrderPosition : song.orderPosition;
  const int32_t row = song.nextRow >= 0 ? song.nextRow : song.row;
  const uint64_t flow = song.rules->flowState ? song.rules->flowState(player, song) : 0;
  if (playedWhole[order & 255] || !play(key(order, row, flow))) end = {tickFrame, flow != 0, order, row};
}

OfflineRenderer::OfflineRenderer(Song& song, int32_t rate) : song_(song), original_(song.tickFunction) {
  configureOutput(player_, rate);
  // Blocks are handed on as they are rendered: the ring is one block, whose memory stays in the
  // cache from one to the next.
  player_.ringLength = player_.blockLength;
  allocateRing(player_);
  songStart(player_, song_);
  player_.song = &song_;
  song_.tickFunction = &OfflineRenderer::observedTick;
  pass_.restart(-1);
}

OfflineRenderer::~OfflineRenderer() {
  song_.tickFunction = original_;
  player_.song = nullptr;
}

void OfflineRenderer::observedTick(XMPlayer& player, Song& song) {
  OfflineRenderer& self = *filling;
  self.pass_.beforeTick(player, song, self.tickFrame_);
  self.original_(player, song);
  self.ticks_.push_back({self.tickFrame_, song.orderPosition, song.row});
  // Tempo changes and the FastTracker 2 rules' carried fractions make ticks differ in length:
  // each lasts what its tick function leaves in samplesPerTick, which the block fill counts down.
  self.tickFrame_ += song.samplesPerTick;
}

// The ticks of the chunks before the last are forgotten, so that long renders keep only a few.
void OfflineRenderer::forgetTicksBefore(int64_t frame) {
  // The mark at or before the frame still covers it.
  auto covering = std::upper_bound(ticks_.begin(), ticks_.end(), frame,
                                   [](int64_t f, const TickMark& t) { return f < t.frame; });
  if (covering != ticks_.begin()) ticks_.erase(ticks_.begin(), covering - 1);
}

void OfflineRenderer::seek(int32_t order) {
  seekOrder(player_, song_, order);
  pass_.restart(song_.nextOrderPosition - 1);
}

void OfflineRenderer::restartPass() {
  pass_.restart(song_.orderPosition - 1);
  for (int32_t row = 0; row <= song_.row; ++row) pass_.play(PassWatch::key(song_.orderPosition, row, 0));
}

void OfflineRenderer::restart() {
  songStart(player_, song_);
  pass_.restart(-1);
  // Its first row plays without being moved on to.
  pass_.play(PassWatch::key(0, 0, 0));
  // The song's first tick begins the next block.
  tickFrame_ = rendered_;
}

OfflineRenderer::Chunk OfflineRenderer::renderChunk() {
  forgetTicksBefore(rendered_);
  filling = this;
  fillBlock(player_);
  filling = nullptr;
  rendered_ += player_.blockLength;
  return {player_.roundsOutput ? player_.output.get() : nullptr, player_.mixBuffer, player_.blockLength};
}

std::vector<int16_t> OfflineRenderer::render(int64_t frames) {
  std::vector<int16_t> out;
  out.reserve(static_cast<size_t>(frames) * 2 + player_.ringLength * 2);
  while (static_cast<int64_t>(out.size() / 2) < frames) {
    const Chunk chunk = renderChunk();
    out.insert(out.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  out.resize(static_cast<size_t>(frames) * 2);
  return out;
}

std::vector<int16_t> OfflineRenderer::renderOnePass() {
  const int64_t cap = static_cast<int64_t>(kMaxPassSeconds) * player_.rate;
  std::vector<int16_t> out;
  while (true) {
    const int64_t done = static_cast<int64_t>(out.size() / 2);
    if (pass_.end.frame >= 0 && done >= pass_.end.frame) {
      out.resize(static_cast<size_t>(pass_.end.frame) * 2);
      break;
    }
    if (done >= cap) {
      out.resize(static_cast<size_t>(cap) * 2);
      break;
    }
    // A block at a time: the pass may end in any of them, and the song must not run further.
    const Chunk chunk = renderChunk();
    out.insert(out.end(), chunk.frames, chunk.frames + chunk.count * 2);
  }
  return out;
}

struct OfflineRenderer::State {
  Song song;
  // The voices mixed: the rule set fixes their count at the song's start, and those past it are
  // never touched.
  std::vector<MixerChannel> mixer;
  int32_t voiceCount, rampLength, blockIndex;
  float rampReciprocal, targetScale;
  std::vector<std::max_align_t> rules;
  // The pass so far: its rows as the log's first `logged` keys.
  std::shared_ptr<std::vector<uint64_t>> passLog;
  size_t logged;
  bool playedWhole[256];
  PassEnd passEnd;
  int64_t tickFrame, rendered;
  std::vector<TickMark> ticks;
};

void OfflineRenderer::StateFree::operator()(State* state) const { delete state; }

OfflineRenderer::StatePtr OfflineRenderer::save() const {
  auto state = StatePtr(new State{song_, {}, player_.voiceCount, player_.rampLength, player_.blockIndex,
                                  player_.rampReciprocal, player_.targetScale, {}, pass_.log, pass_.logged, {},
                                  pass_.end, tickFrame_, rendered_, ticks_});
  std::copy(std::begin(pass_.playedWhole), std::end(pass_.playedWhole), state->playedWhole);
  state->mixer.assign(player_.mixer, player_.mixer + player_.voiceCount);
  XMPlayer& player = const_cast<XMPlayer&>(player_);
  const auto* rules = static_cast<const std::max_align_t*>(player.ruleState());
  state->rules.assign(rules, rules + player.ruleStateBytes() / sizeof(std::max_align_t));
  return state;
}

void OfflineRenderer::restore(const State& state) {
  song_ = state.song;
  std::copy(state.mixer.begin(), state.mixer.end(), player_.mixer);
  player_.voiceCount = state.voiceCount;
  player_.rampLength = state.rampLength;
  player_.rampReciprocal = state.rampReciprocal;
  player_.targetScale = state.targetScale;
  player_.blockIndex = state.blockIndex;
  // The state was made by the same rule set: its size is the one the player holds.
  if (!state.rules.empty()) std::memcpy(player_.ruleState(), state.rules.data(), state.rules.size() * sizeof(std::max_align_t));
  pass_.rewind(state.passLog, state.logged);
  std::copy(std::begin(state.playedWhole), std::end(state.playedWhole), pass_.playedWhole);
  pass_.end = state.passEnd;
  tickFrame_ = state.tickFrame;
  rendered_ = state.rendered;
  ticks_ = state.ticks;
}

OfflineRenderer::PassEnd OfflineRenderer::onePass(Song& song, int32_t rate, std::vector<TickMark>* rows) {
  XMPlayer player;
  configureOutput(player, rate);
  player.courseOnly = true;
  songStart(player, song);
  player.song = &song;
  PassWatch pass;
  pass.restart(-1);
  const int64_t cap = int64_t{kMaxPassSeconds} * rate;
  int64_t frames = 0;
  while (frames < cap) {
    pass.beforeTick(player, song, frames);
    if (pass.end.frame >= 0) break;
    if (rows && song.tick == 0 && (song.nextRow >= 0 || frames == 0))
      rows->push_back({frames, song.nextOrderPosition >= 0 ? song.nextOrderPosition : song.orderPosition,
                       song.nextRow >= 0 ? song.nextRow : song.row});
    song.rules->tick(player, song);
    frames += song.samplesPerTick;
  }
  player.song = nullptr;
  songStart(player, song);
  return pass.end;
}

int64_t OfflineRenderer::passFrames(Song& song, int32_t rate) { return onePass(song, rate).frames(rate); }
