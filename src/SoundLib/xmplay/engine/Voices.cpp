#include "SoundLib/xmplay/engine/Voices.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

MixerChannel* takeVoice(XMPlayer& player, MixerChannel* m) {
  if (!m->sample) return m;
  MixerChannel& partner = player.mixer[m->index < kPartnerOffset ? m->index + kPartnerOffset : m->index - kPartnerOffset];
  const int32_t partnerIndex = partner.index;
  partner = *m;
  partner.index = partnerIndex;
  m->leftTarget = m->rightTarget = 0;
  m->rampLength = 0;
  m->leftBehind = true;
  return &partner;
}

MixerChannel* takeVoiceFadingOut(XMPlayer& player, MixerChannel* m) {
  MixerChannel* next = takeVoice(player, m);
  if (next != m) m->rampLength = player.rampLength;
  return next;
}

void startVoice(MixerChannel& m, const Sample* sample) {
  // A sample without data (an empty slot) plays nothing.
  m.sample = sample && sample->data && sample->length ? sample : nullptr;
  m.queued = nullptr;
  m.position = m.positionFraction = 0;
  m.direction = kForward;
  m.rampLeftLevel = m.rampRightLevel = 0;
  m.rampFramesLeft = 0;
  m.released = false;
  std::memset(m.filter.history, 0, sizeof m.filter.history);
}

int32_t voiceLevel(const MixerChannel& v) {
  if (!v.sample) return 0;
  if (v.rampFramesLeft > 0) return std::max(std::abs(v.rampLeftLevel), std::abs(v.rampRightLevel)) >> 8;
  return std::max(std::abs(v.leftTarget), std::abs(v.rightTarget));
}

MixerChannel* backgroundVoice(XMPlayer& player) {
  MixerChannel* quietest = nullptr;
  for (int i = kChannelVoices; i < player.voiceCount; ++i) {
    MixerChannel& v = player.mixer[i];
    if (!v.sample) return &v;
    if (!quietest || voiceLevel(v) < voiceLevel(*quietest)) quietest = &v;
  }
  return quietest;
}

MixerChannel* sendToBackground(XMPlayer& player, MixerChannel& voice) {
  if (!voice.sample) return nullptr;
  MixerChannel* to = backgroundVoice(player);
  if (to) {
    const int32_t index = to->index;
    *to = voice;
    to->index = index;
    to->leftBehind = false;
  }
  voice.sample = nullptr;
  voice.rampFramesLeft = 0;
  voice.rampLeftLevel = voice.rampRightLevel = 0;
  return to;
}

void releaseSustain(MixerChannel& voice) {
  // The mixer settles the position into the loop that follows (Mixer.cpp).
  if (voice.sample && hasSustainLoop(*voice.sample)) voice.released = true;
}
