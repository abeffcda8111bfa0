// The C interface's calls about channels: their states for displays and meters (the peaks the
// mixer measures each block, the notes and instruments their columns gave), mute and solo, and
// the interpolation the mixer reads samples by.
#include <algorithm>
#include <string>

#include "SoundLib/xmplay/api/LibraryInternal.h"
#include "SoundLib/xmplay/engine/Sequencer.h"
#include "SoundLib/xmplay/rules/RuleSet.h"

namespace {
// The states of the last blocks rendered, each in its place by the block's frames in the song:
// the block of the last frame handed out is among them (the next one is rendered ahead).
constexpr int kBlocks = 8;

int blockOf(const bft_module& m, int64_t frame) {
  return static_cast<int>(frame / m.renderer->blockLength() % kBlocks);
}
}  // namespace

void startChannelNotes(bft_module& m) {
  m.peaks.assign(static_cast<size_t>(kBlocks + 1) * kChannelVoices * 2, 0.0f);
  m.columns.assign(static_cast<size_t>(kBlocks) * kChannelVoices, bft_module::Column{});
}

namespace {
// The mixer measures into the spare slot at the end, from the first time a caller asks (the
// measuring costs the mix time, up to a third with many voices); each block's are copied to its own.
void startMeasuring(bft_module& m) {
  if (m.measuring) return;
  m.measuring = true;
  m.renderer->measureChannels(m.peaks.data() + static_cast<size_t>(kBlocks) * kChannelVoices * 2);
}
}  // namespace

void noteChannels(bft_module& m) {
  const Song& song = *m.song;
  // Each row the block started: what its cells give each channel's column.
  int32_t order = -1, row = -1;
  for (const OfflineRenderer::TickMark& t : m.renderer->ticks()) {
    if (t.frame < m.chunkStart || (t.order == order && t.row == row)) {
      order = t.order;
      row = t.row;
      continue;
    }
    order = t.order;
    row = t.row;
    if (order < 0 || order >= song.songLength || song.orders[order] >= song.allocatedPatternCount) continue;
    const Pattern& p = song.patterns[song.orders[order]];
    if (row < 0 || row >= p.rows || !p.notes) continue;
    const Note* cells = p.notes + static_cast<size_t>(row) * song.channelCount;
    for (int c = 0; c < song.channelCount && c < kChannelVoices; ++c) {
      if (cells[c].note) m.playing[c].note = cells[c].note;
      if (cells[c].instrument) m.playing[c].instrument = cells[c].instrument;
    }
  }
  const int block = blockOf(m, m.chunkStart);
  std::copy(m.playing, m.playing + kChannelVoices, m.columns.begin() + block * kChannelVoices);
  const auto measured = m.peaks.begin() + kBlocks * kChannelVoices * 2;
  std::copy(measured, measured + kChannelVoices * 2, m.peaks.begin() + block * kChannelVoices * 2);
}

int lastBlock(const bft_module& m) {
  const int64_t next = nextFrame(m);
  return next > 0 ? blockOf(m, next - 1) : -1;
}

void applyChannels(bft_module& m) {
  const uint64_t heard = m.soloed ? m.soloed : ~m.muted;
  m.renderer->setChannelMask(m.mask);
  m.renderer->setUnheardMask(~heard);
}

extern "C" {

int bft_get_channel_state(const bft_module* m, int channel, bft_channel_state* state) {
  if (!m || !state || channel < 0 || channel >= m->song->channelCount) return -1;
  startMeasuring(*const_cast<bft_module*>(m));  // the module's content is unchanged by it
  *state = {};
  const int block = lastBlock(*m);
  if (block < 0) return 0;
  const float* peak = m->peaks.data() + (static_cast<size_t>(block) * kChannelVoices + channel) * 2;
  state->level_left = peak[0] * m->gain / 32768.0f;
  state->level_right = peak[1] * m->gain / 32768.0f;
  const bft_module::Column& column = m->columns[static_cast<size_t>(block) * kChannelVoices + channel];
  state->note = column.note;
  state->instrument = column.instrument;
  // The voices as they stand now, at most one block past the last frame handed out.
  const XMPlayer& player = m->renderer->player();
  int loudest = -1;
  for (int i = 0; i < player.voiceCount; ++i) {
    const MixerChannel& v = player.mixer[i];
    if (!v.sample || v.channel != channel || (v.leftTarget == 0 && v.rightTarget == 0)) continue;
    ++state->voices;
    if (loudest < 0 || v.leftTarget + v.rightTarget > player.mixer[loudest].leftTarget + player.mixer[loudest].rightTarget)
      loudest = i;
  }
  if (loudest >= 0) {
    const MixerChannel& v = player.mixer[loudest];
    // Both sides at the target's full scale are one voice at full level in the middle.
    const float l = static_cast<float>(v.leftTarget) / player.targetScale;
    const float r = static_cast<float>(v.rightTarget) / player.targetScale;
    state->volume = std::min(1.0f, std::max(l, r));
    state->panning = l + r > 0 ? (r - l) / (l + r) : 0;
  }
  return 0;
}

int bft_set_mute(bft_module* m, int channel, int muted) {
  if (!m || channel < 0 || channel >= kChannelVoices) return -1;
  const uint64_t bit = uint64_t{1} << channel;
  m->muted = muted ? m->muted | bit : m->muted & ~bit;
  applyChannels(*m);
  return 0;
}

int bft_set_solo(bft_module* m, int channel, int soloed) {
  if (!m || channel < 0 || channel >= kChannelVoices) return -1;
  const uint64_t bit = uint64_t{1} << channel;
  m->soloed = soloed ? m->soloed | bit : m->soloed & ~bit;
  applyChannels(*m);
  return 0;
}

int bft_set_interpolation(bft_module* m, int mode) {
  if (!m || mode < BFT_INTERPOLATION_NEAREST || mode > BFT_INTERPOLATION_SINC8) return -1;
  // The intro's module is heard as its own rules mix it.
  if (mode != BFT_INTERPOLATION_LINEAR && std::string(m->song->rules->name) == "intro") return -1;
  m->renderer->setInterpolation(static_cast<Interpolation>(mode));
  return 0;
}

int bft_interpolation(const bft_module* m) {
  return m ? static_cast<int>(m->renderer->player().interpolation) : BFT_INTERPOLATION_LINEAR;
}

}  // extern "C"
