#include "players/LivePlayer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "SoundLib/xmplay/engine/Mixer.h"

LivePlayer::LivePlayer(Song& song, WaveDevice& device, int32_t rate, bool loop, uint64_t channels)
    : renderer_(song, rate),
      song_(song),
      device_(device),
      rate_(rate),
      blockLength_(renderer_.blockLength()),
      loop_(loop),
      ring_(static_cast<size_t>(kRingBlocks) * blockLength_ * 2) {
  renderer_.setChannelMask(channels);
}

LivePlayer::~LivePlayer() { device_.reset(); }

void LivePlayer::start() {
  while (rendered_ < kRingBlocks) renderBlock();
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
  while (rendered_ < playing + kRingBlocks) renderBlock();
  return true;
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
    const bool heard = player.channelMask >> m.channel & 1;
    if (heard && m.sample && (m.leftTarget || m.rightTarget || m.rampFramesLeft)) p.sounding |= uint64_t{1} << m.channel;
  }
  return p;
}

void LivePlayer::renderBlock() {
  const size_t slot = static_cast<size_t>(rendered_ % kRingBlocks);
  int16_t* out = ring_.data() + slot * blockLength_ * 2;
  const int64_t first = rendered_ * blockLength_;
  if (endFrame_ >= 0 && first >= endFrame_) {
    std::memset(out, 0, sizeof(int16_t) * 2 * blockLength_);
    positions_[slot] = positions_[(slot + kRingBlocks - 1) % kRingBlocks];
    ++rendered_;
    return;
  }
  const OfflineRenderer::Chunk chunk = renderer_.renderChunk(1);
  convertScaled(out, chunk.mix, blockLength_, gain_);
  int64_t heard = blockLength_;
  positions_[slot] = current();
  if (!loop_ && endFrame_ < 0) {
    // The pass ends inside this block, where the renderer found the orders coming back (or at
    // its twenty minutes); the rest of the block is silence.
    const int64_t cap = int64_t{OfflineRenderer::kMaxPassSeconds} * rate_;
    int64_t end = renderer_.loopFrame() >= 0 ? renderer_.loopFrame() : cap;
    if (end < rendererFrames_ + blockLength_) {
      end = std::max(end, rendererFrames_) - rendererFrames_;
      std::memset(out + end * 2, 0, sizeof(int16_t) * 2 * static_cast<size_t>(blockLength_ - end));
      heard = end;
      endFrame_ = first + end;
      // The song has come round by the block's end: what is heard of it is the one before.
      if (rendered_ > 0) positions_[slot] = positions_[(slot + kRingBlocks - 1) % kRingBlocks];
    }
  }
  clipped_ += clippedSamples(chunk.mix, static_cast<int32_t>(heard), gain_);
  rendererFrames_ += blockLength_;
  ++rendered_;
}

SongPosition LivePlayer::heard() const {
  const int64_t playing = played_ / blockLength_;
  // Before the device reaches a rendered block (after an underrun) the last one rendered stands.
  const int64_t block = std::min(playing, rendered_ - 1);
  return positions_[block % kRingBlocks];
}

int64_t LivePlayer::heardFrames() const {
  return skipped_ + (endFrame_ >= 0 ? std::min(played_, endFrame_) : played_);
}

void LivePlayer::skipTo(int64_t songFrame) {
  const int64_t blocks = (songFrame + blockLength_ / 2) / blockLength_;
  for (int64_t n = 0; n < blocks; ++n) renderer_.renderChunk(1);
  rendererFrames_ += blocks * blockLength_;
  skipped_ = blocks * blockLength_;
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

void LivePlayer::changeCourse(int32_t order) {
  const int64_t playing = played_ / blockLength_;
  const int64_t kept = playing + 1 + kKeptBlocks;
  if (rendered_ > kept) rendered_ = kept;
  if (order < 0) {
    // The song ends after the blocks kept: the rest of the ring becomes silence.
    endFrame_ = std::min(endFrame_ >= 0 ? endFrame_ : INT64_MAX, rendered_ * blockLength_);
  } else {
    if (order == 0)
      renderer_.restart();
    else
      renderer_.seek(order);
    skipOrder_ = order;
    skipBlock_ = rendered_;
    // An end found in the blocks rendered again was the old course's.
    if (endFrame_ >= rendered_ * blockLength_) endFrame_ = -1;
  }
  while (rendered_ < playing + kRingBlocks) renderBlock();
}

void LivePlayer::setLoop(bool loop) {
  loop_ = loop;
  if (loop && endFrame_ >= 0 && endFrame_ > played_) endFrame_ = -1;
}
