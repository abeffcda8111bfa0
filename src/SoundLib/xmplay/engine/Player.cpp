#include "SoundLib/xmplay/engine/Player.h"

#include <cstring>

XMPlayer::XMPlayer() { std::memset(mixer, 0, sizeof mixer); }

void resetVoice(MixerChannel& voice, int32_t index) {
  std::memset(&voice, 0, sizeof voice);
  voice.index = index;
  voice.channel = index % kPartnerOffset;
  voice.direction = kForward;
}

void XMPlayer::resetRuleState(size_t bytes) {
  const size_t units = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
  if (units * sizeof(std::max_align_t) > ruleStorageBytes_) {
    ruleStorage_.reset(new std::max_align_t[units]);
    ruleStorageBytes_ = units * sizeof(std::max_align_t);
  }
  if (ruleStorageBytes_) std::memset(ruleStorage_.get(), 0, ruleStorageBytes_);
}

void configureOutput(XMPlayer& player, int32_t rate) {
  player.rate = rate;
  player.blockLength = (rate * 20 / 1000 + 3) & ~3;
  player.ringLength = (1000 / 20) * player.blockLength * 2;
  player.rampLength = rate * 128 / 44100;
  player.rampReciprocal = 1.0f / static_cast<float>(player.rampLength);
  std::memset(player.mixer, 0, sizeof player.mixer);
  for (int i = 0; i < kMixerChannels; ++i) resetVoice(player.mixer[i], i);
}

void allocateRing(XMPlayer& player) {
  const size_t frames = static_cast<size_t>(player.ringLength);
  player.output.reset(new int16_t[frames * 2]());
  player.mixStorage.reset(new uint8_t[frames * 8 + 256]());
  const auto address = reinterpret_cast<uintptr_t>(player.mixStorage.get());
  player.mixBuffer = reinterpret_cast<float*>((address + 15) & ~uintptr_t{15});
}
