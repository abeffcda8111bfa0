#include "players/LivePlayer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "SoundLib/xmplay/engine/Mixer.h"

namespace {
// The most seconds of the first pass between two states kept for seeks: a seek back plays at
// most this much unheard.
constexpr int kKeepEverySeconds = 4;
// A seek that plays more than this unheard pauses the device meanwhile, rather than let it play
// the ring round again.
constexpr int kPauseAboveSeconds = 1;
}  // namespace

LivePlayer::LivePlayer(Song& song, WaveDevice& device, int32_t rate, bool loop, uint64_t channels, PassMap pass)
    : renderer_(song, rate),
      song_(song),
      device_(device),
      rate_(rate),
      blockLength_(renderer_.blockLength()),
      loop_(loop),
      ring_(static_cast<size_t>(kRingBlocks) * blockLength_ * 2),
      mix_(static_cast<size_t>(blockLength_) * 2),
      pass_(std::move(pass)) {
  setChannels(channels);
  kept_.push_back({0, renderer_.save()});
}

LivePlayer::~LivePlayer() { device_.reset(); }

void LivePlayer::start() {
  refillRing();
  device_.startLoop(ring_.data(), static_cast<uint32_t>(ring_.size() * sizeof(int16_t)));
}

void LivePlayer::readPosition() {
  // The device counts bytes in 32 bits; the difference survives its wrapping. One that went back
  // (no device should) is not taken for nearly four gigabytes played.
  const uint32_t moved = device_.positionBytes() - lastBytes_;
  if (moved > UINT32_MAX / 2) return;
  const uint32_t frames = moved / 4;
  played_ += frames;
  lastBytes_ += frames * 4;
}

bool LivePlayer::update() {
  readPosition();
  // The end is heard a ring of silence later: what the device has taken it plays out from
  // buffers of its own, which closing it would cut.
  if (endFrame_ >= 0 && played_ >= endFrame_ + static_cast<int64_t>(kRingBlocks) * blockLength_) return false;
  const int64_t playing = played_ / blockLength_;
  // A device a ring ahead has played blocks nobody rendered; the song goes on after them.
  rendered_ = std::max(rendered_, playing + 1);
  refillRing();
  return true;
}

void LivePlayer::refillRing() {
  const int64_t playing = played_ / blockLength_;
  while (rendered_ < playing + kRingBlocks) renderBlock();
}

SongPosition LivePlayer::current() const {
  SongPosition p;
  p.order = song_.orderPosition;
  p.songLength = song_.songLength;
  p.pattern = song_.orders[song_.orderPosition];
  p.row = song_.row;
  // (Before the first row the position may stand on an order list's marker, which names none.)
  p.rows = p.pattern < song_.allocatedPatternCount ? song_.patterns[p.pattern].rows : 0;
  p.speed = song_.speed;
  p.bpm = song_.bpm;
  const XMPlayer& player = renderer_.player();
  for (int i = 0; i < player.voiceCount; ++i) {
    const MixerChannel& m = player.mixer[i];
    const bool heard = !(player.unheardMask >> m.channel & 1);
    if (heard && m.sample && (m.leftTarget || m.rightTarget || m.rampFramesLeft)) p.sounding |= uint64_t{1} << m.channel;
  }
  p.place = place_;
  return p;
}

void LivePlayer::pullFrames() {
  for (int64_t filled = 0; filled < blockLength_;) {
    if (chunkTaken_ >= chunk_.count) {
      keepState(place_ + filled);
      chunk_ = renderer_.renderChunk();
      chunkTaken_ = 0;
    }
    const int64_t n = std::min<int64_t>(blockLength_ - filled, chunk_.count - chunkTaken_);
    std::copy_n(chunk_.mix + 2 * chunkTaken_, 2 * n, mix_.data() + 2 * filled);
    filled += n;
    chunkTaken_ += n;
  }
}

void LivePlayer::keepState(int64_t next) {
  if (!onCourse_) return;
  if (next - kept_.back().place < int64_t{kKeepEverySeconds} * rate_) return;
  kept_.push_back({next, renderer_.save()});
}

void LivePlayer::renderBlock() {
  const size_t slot = static_cast<size_t>(rendered_ % kRingBlocks);
  const SongPosition& before = positions_[(slot + kRingBlocks - 1) % kRingBlocks];
  int16_t* out = ring_.data() + slot * blockLength_ * 2;
  const int64_t first = rendered_ * blockLength_;
  if (endFrame_ >= 0 && first >= endFrame_) {
    std::memset(out, 0, sizeof(int16_t) * 2 * blockLength_);
    positions_[slot] = before;
    positions_[slot].place = endPlace_;
    ++rendered_;
    return;
  }
  // The renderer's frame this block starts on: the frames it has rendered less those not yet
  // taken into a block.
  const int64_t from = renderer_.renderedFrames() - (chunk_.count - chunkTaken_);
  pullFrames();
  if (pendingOrder_ >= 0) {
    const int64_t orderPlace = placeOfOrder(pendingOrder_);
    for (const OfflineRenderer::TickMark& t : renderer_.ticks()) {
      if (t.frame < from || t.order != pendingOrder_) continue;
      if (orderPlace >= 0) place_ = orderPlace - (t.frame - from);
      pendingOrder_ = -1;
      break;
    }
  }
  convertScaled(out, mix_.data(), blockLength_, gain_);
  int64_t heard = blockLength_;
  positions_[slot] = current();
  const int64_t cap = int64_t{OfflineRenderer::kMaxPassSeconds} * rate_;
  const int64_t turn = renderer_.loopFrame() >= 0 ? renderer_.loopFrame() : loop_ ? INT64_MAX : cap;
  if (turn < from + blockLength_) {
    const int64_t at = std::max(turn, from) - from;
    if (!loop_ && endFrame_ < 0) {
      // The pass ends inside this block, where the renderer found the orders coming back (or at
      // its twenty minutes); the rest of the block is silence.
      std::memset(out + at * 2, 0, sizeof(int16_t) * 2 * static_cast<size_t>(blockLength_ - at));
      heard = at;
      endFrame_ = first + at;
      endPlace_ = place_ + at;
      // The song has come round by the block's end: what is heard of it is the one before.
      if (rendered_ > 0) positions_[slot] = before;
      positions_[slot].place = place_;
    } else if (loop_) {
      // Round again: the frames after the turn count from the place of the row it comes to, and
      // the next pass ends where the song comes round again.
      const OfflineRenderer::PassEnd& end = renderer_.passEnd();
      for (const OfflineRenderer::TickMark& r : pass_.rows)
        if (r.order == end.order && r.row == end.row) {
          place_ = r.frame - at;
          break;
        }
      onCourse_ = false;
      renderer_.restartPass();
    }
  }
  clipped_ += clippedSamples(mix_.data(), static_cast<int32_t>(heard), gain_);
  place_ += blockLength_;
  ++rendered_;
}

SongPosition LivePlayer::heard() const {
  const int64_t playing = played_ / blockLength_;
  // Before the device reaches a rendered block (after an underrun) the last one rendered stands.
  const int64_t block = std::min(playing, rendered_ - 1);
  return positions_[block % kRingBlocks];
}

int64_t LivePlayer::heardFrames() const {
  if (endFrame_ >= 0 && played_ >= endFrame_) return endPlace_;
  const int64_t playing = played_ / blockLength_;
  const int64_t block = std::min(playing, rendered_ - 1);
  return positions_[block % kRingBlocks].place + std::min<int64_t>(played_ - block * blockLength_, blockLength_);
}

int64_t LivePlayer::passLength() const {
  return pass_.frames > 0 ? pass_.frames : int64_t{OfflineRenderer::kMaxPassSeconds} * rate_;
}

int64_t LivePlayer::placeOfOrder(int32_t order) const {
  for (const OfflineRenderer::TickMark& r : pass_.rows)
    if (r.order == order && r.row == 0) return r.frame;
  return -1;
}

bool LivePlayer::renderUnheardTo(int64_t place) {
  if (place >= passLength()) return false;
  // From the latest state kept at or before the place, unless the renderer is on the first
  // pass's course between it and the place already.
  auto after = std::upper_bound(kept_.begin(), kept_.end(), place,
                                [](int64_t p, const KeptState& k) { return p < k.place; });
  const KeptState& from = *(after - 1);
  if (!(onCourse_ && place_ <= place && place_ >= from.place)) {
    renderer_.restore(*from.state);
    place_ = from.place;
    chunk_ = {};
    chunkTaken_ = 0;
    onCourse_ = true;
    pendingOrder_ = -1;
  }
  const bool pause = !paused_ && place - place_ > int64_t{kPauseAboveSeconds} * rate_;
  if (pause) device_.pause();
  while (place_ < place) {
    if (chunkTaken_ >= chunk_.count) {
      keepState(place_);
      chunk_ = renderer_.renderChunk();
      chunkTaken_ = 0;
    }
    const int64_t n = std::min(place - place_, chunk_.count - chunkTaken_);
    chunkTaken_ += n;
    place_ += n;
  }
  if (pause) device_.resume();
  return true;
}

bool LivePlayer::skipTo(int64_t place) { return renderUnheardTo(place); }

void LivePlayer::startAtOrder(int32_t order) {
  const int64_t place = placeOfOrder(order);
  if (place >= 0 && renderUnheardTo(place)) return;
  renderer_.seek(order);
  onCourse_ = false;
}

void LivePlayer::pause() {
  if (paused_) return;
  device_.pause();
  paused_ = true;
}

void LivePlayer::resume() {
  if (!paused_) return;
  device_.resume();
  paused_ = false;
}

void LivePlayer::skip(int orders) {
  readPosition();
  const int64_t playing = played_ / blockLength_;
  const int32_t from = skipBlock_ > playing ? skipOrder_ : heard().order;
  int32_t order = std::max(0, from + orders);
  if (order >= song_.songLength) {
    if (!loop_) {
      changeCourse(-1);
      return;
    }
    order = 0;
  }
  changeCourse(order);
}

void LivePlayer::seek(int64_t frames) {
  readPosition();
  const int64_t playing = played_ / blockLength_;
  const int64_t from = seekBlock_ > playing ? seekPlace_ : heardFrames();
  int64_t place = std::max<int64_t>(0, from + frames);
  if (place >= passLength()) {
    if (!loop_) {
      changeCourse(-1);
      return;
    }
    place = 0;
  }
  changePlace(place);
}

int64_t LivePlayer::dropUnheard() {
  const int64_t playing = played_ / blockLength_;
  const int64_t kept = playing + 1 + kKeptBlocks;
  if (rendered_ <= kept) return place_;
  rendered_ = kept;
  return positions_[rendered_ % kRingBlocks].place;
}

void LivePlayer::changeCourse(int32_t order) {
  const int64_t dropped = dropUnheard();
  if (order < 0) {
    // The song ends after the blocks kept: the rest of the ring becomes silence.
    if (endFrame_ < 0 || endFrame_ > rendered_ * blockLength_) {
      endFrame_ = rendered_ * blockLength_;
      endPlace_ = dropped;
    }
  } else {
    // What is left of the renderer's chunk was the old course's.
    chunkTaken_ = chunk_.count;
    if (order == 0) {
      renderer_.restart();
      place_ = 0;
      onCourse_ = true;
      pendingOrder_ = -1;
    } else {
      renderer_.seek(order);
      place_ = dropped;
      onCourse_ = false;
      pendingOrder_ = order;
    }
    skipOrder_ = order;
    skipBlock_ = rendered_;
    // An end found in the blocks rendered again was the old course's.
    if (endFrame_ >= rendered_ * blockLength_) endFrame_ = -1;
  }
  refillRing();
}

void LivePlayer::changePlace(int64_t place) {
  dropUnheard();
  renderUnheardTo(place);
  seekPlace_ = place;
  seekBlock_ = rendered_;
  if (endFrame_ >= rendered_ * blockLength_) endFrame_ = -1;
  refillRing();
}

void LivePlayer::setLoop(bool loop) {
  loop_ = loop;
  if (loop && endFrame_ >= 0 && endFrame_ > played_) endFrame_ = -1;
}
