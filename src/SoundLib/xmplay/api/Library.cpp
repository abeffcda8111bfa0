// The library's C interface (include/brackenfold/tracker.h) over the loader and the offline
// renderer: loading, rendering, seeking and the passes. The other groups of calls are in the files
// beside this one (LibraryInternal.h holds the module they share).
#include "brackenfold/tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "SoundLib/xmplay/engine/Mixer.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/api/LibraryInternal.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

// LibraryChannels.cpp: what the channels did in the block just rendered.
void noteChannels(bft_module& m);
// The same file: the peaks' and columns' memory, the mixer told to measure.
void startChannelNotes(bft_module& m);
// LibraryInfo.cpp: a message as printable lines.
std::string printableMessage(const std::string& text);

namespace {
// The most seconds of the first pass between two states kept for seeks.
constexpr int kKeepEverySeconds = 4;

// Puts the reason where the caller asked for it; none.
bft_module* refuse(char* error, size_t size, const std::string& text) {
  if (error && size) std::snprintf(error, size, "%s", text.c_str());
  return nullptr;
}

// The last frame of one pass the renderer has found, or of the twenty minutes.
int64_t endOfPass(const bft_module& m) {
  const int64_t cap = m.passStart + int64_t{OfflineRenderer::kMaxPassSeconds} * m.renderer->player().rate;
  const int64_t found = m.renderer->loopFrame();
  return found >= 0 ? std::min(found, cap) : cap;
}

// Where a pass has ended with more to play, the next is counted from its end: the song goes on as
// it comes back round, and that pass ends where it comes round again.
void turnPasses(bft_module& m) {
  while (m.repeats > 0 && m.renderer->loopFrame() >= 0) {
    m.passStart = m.renderer->loopFrame();
    m.renderer->restartPass();
    --m.repeats;
    m.onFirstPass = false;
  }
}

// Keeps the renderer's state at the block now starting where the first pass has come to an order
// it had not kept, or has gone on long without one (a long pattern, a song of one order).
void keepOrderStart(bft_module& m, const OfflineRenderer::Chunk& chunk) {
  if (!m.onFirstPass) return;
  const int64_t frame = m.renderer->renderedFrames();
  const int64_t passEnd = m.renderer->loopFrame();
  if (passEnd >= 0 && frame > passEnd) return;
  if (!m.kept.empty() && m.kept.back().frame >= frame) return;
  bool newOrder = false;
  for (const OfflineRenderer::TickMark& t : m.renderer->ticks())
    if (t.frame >= frame - chunk.count && t.order != m.keptOrder) newOrder = true;
  const int64_t longest = int64_t{kKeepEverySeconds} * m.renderer->player().rate;
  if (!newOrder && (m.kept.empty() || frame - m.kept.back().frame < longest)) return;
  m.keptOrder = m.renderer->ticks().empty() ? m.keptOrder : m.renderer->ticks().back().order;
  m.kept.push_back({frame, m.renderer->save()});
}

// Renders the next block as the one being handed out, and notes what the channels did in it.
void renderBlock(bft_module& m) {
  m.chunkStart = m.renderer->renderedFrames();
  m.chunk = m.renderer->renderChunk();
  m.taken = 0;
  noteChannels(m);
  keepOrderStart(m, m.chunk);
}

// Frames of the current block still to hand out, the pass's end considered.
int64_t available(const bft_module& m) {
  int64_t end = m.chunkStart + m.chunk.count;
  if (m.repeats == 0) end = std::min(end, endOfPass(m));
  return std::max<int64_t>(0, end - (m.chunkStart + m.taken));
}

// Makes sure frames are there to hand out, rendering the next block when the last is used up;
// false at the end of the pass.
bool refill(bft_module& m) {
  if (m.ended) return false;
  turnPasses(m);
  if (available(m) > 0) return true;
  if (m.repeats == 0 && m.chunkStart + m.chunk.count >= endOfPass(m) && m.chunk.count > 0) {
    m.ended = true;
    return false;
  }
  renderBlock(m);
  m.seekOrder = -1;
  turnPasses(m);
  if (available(m) > 0) return true;
  m.ended = true;
  return false;
}

// Hands out up to count frames through put(destination frame, mix to take them from, n), which
// returns how many samples the gain makes clip.
template <class Put>
size_t take(bft_module* m, size_t count, Put put) {
  if (!m) return 0;
  size_t done = 0;
  while (done < count && refill(*m)) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(available(*m), static_cast<int64_t>(count - done)));
    const float* mix = m->chunk.mix + 2 * m->taken;
    m->clipped += put(done, mix, n);
    m->taken += n;
    m->given += n;
    done += static_cast<size_t>(n);
  }
  // The next block is rendered at once, so that the position of the next frame is known.
  if (done == count) refill(*m);
  return done;
}
}  // namespace

const Song& songOf(const bft_module* module) { return *module->song; }

const OfflineRenderer::PassEnd& passOf(const bft_module* m) {
  if (!m->passKnown) {
    // Running the song's ticks moves its position, which the renderer plays from: kept aside.
    Song& song = *m->song;
    const Song playing = song;
    m->pass = OfflineRenderer::onePass(song, m->renderer->player().rate, &m->passRows);
    m->passKnown = true;
    song = playing;
  }
  return m->pass;
}

extern "C" {

const char* bft_version(void) { return BRACKENFOLD_VERSION; }

bft_module* bft_load(const void* data, size_t size, int rate, const char* rules, char* error, size_t errorSize) {
  refuse(error, errorSize, "");
  if (!data && size) return refuse(error, errorSize, "no data");
  if (rate < 8000 || rate > 192000) {
    char text[64];
    std::snprintf(text, sizeof text, "rate %d Hz (8000 to 192000)", rate);
    return refuse(error, errorSize, text);
  }
  const RuleSet* set = rules ? ruleSetNamed(rules) : nullptr;
  if (rules && !set)
    return refuse(error, errorSize, "no rules named \"" + std::string(rules).substr(0, 32) + "\" (" + ruleSetNames() + ")");
  LoadFailure failure{};
  SongPtr song = loadModule(static_cast<const uint8_t*>(data), size, set, &failure);
  if (!song) return refuse(error, errorSize, failure.text);
  auto* m = new (std::nothrow) bft_module;
  if (!m) return refuse(error, errorSize, "out of memory");
  m->song = std::move(song);
  Song& s = *m->song;
  m->title = printableName(s.title, sizeof s.title);
  m->tracker = printableName(s.tracker, sizeof s.tracker);
  m->format = formatName(s);
  m->message = printableMessage(s.message);
  for (int i = 0; i < s.instrumentCount; ++i)
    m->instrumentNames.push_back(printableName(s.instruments[i].name, sizeof s.instruments[i].name));
  for (int i = 0; i < s.sampleCount; ++i) m->sampleNames.push_back(printableName(s.samples[i]->name, sizeof s.samples[i]->name));
  m->renderer = new (std::nothrow) OfflineRenderer(s, rate);
  if (!m->renderer) {
    delete m;
    return refuse(error, errorSize, "out of memory");
  }
  m->renderer->leaveRounding();  // done as frames are taken
  startChannelNotes(*m);
  m->kept.push_back({0, m->renderer->save()});
  return m;
}

void bft_free(bft_module* module) { delete module; }

size_t bft_render(bft_module* module, int16_t* frames, size_t count) {
  if (!frames) return 0;
  // The player's own rounding (at unit gain), straight into the caller's frames.
  return take(module, count, [&](size_t at, const float* mix, int32_t n) {
    return convertScaled(frames + 2 * at, mix, n, module->gain);
  });
}

size_t bft_render_float(bft_module* module, float* frames, size_t count) {
  if (!frames) return 0;
  return take(module, count, [&](size_t at, const float* mix, int32_t n) {
    for (size_t i = 0; i < 2 * static_cast<size_t>(n); ++i) frames[2 * at + i] = mix[i] * module->gain / 32768.0f;
    return clippedSamples(mix, n, module->gain);
  });
}

const char* bft_title(const bft_module* m) { return m ? m->title.c_str() : ""; }
const char* bft_tracker(const bft_module* m) { return m ? m->tracker.c_str() : ""; }
const char* bft_format(const bft_module* m) { return m ? m->format.c_str() : ""; }
const char* bft_rules(const bft_module* m) { return m ? m->song->rules->name : ""; }
int bft_channels(const bft_module* m) { return m ? m->song->channelCount : 0; }
int bft_orders(const bft_module* m) { return m ? m->song->songLength : 0; }
int bft_rate(const bft_module* m) { return m ? m->renderer->player().rate : 0; }
int64_t bft_pass_frames(const bft_module* m) { return m ? passOf(m).frames(m->renderer->player().rate) : 0; }
int64_t bft_frames_rendered(const bft_module* m) { return m ? m->given : 0; }

void bft_position(const bft_module* m, int* order, int* row) {
  int32_t o = 0, r = 0;
  if (m && m->seekOrder >= 0) {
    o = m->seekOrder;
  } else if (m) {
    // The mark of the last tick that began at or before the next frame.
    const int64_t next = m->chunkStart + m->taken;
    for (const OfflineRenderer::TickMark& t : m->renderer->ticks()) {
      if (t.frame > next) break;
      o = t.order;
      r = t.row;
    }
  }
  if (order) *order = o;
  if (row) *row = r;
}

int bft_seek_order(bft_module* m, int order) {
  if (!m || order < 0 || order >= m->song->songLength) return -1;
  m->renderer->seek(order);
  m->onFirstPass = false;
  // What is left of the block was rendered before the seek: the song goes on from the next one.
  m->chunk = {};
  m->chunkStart = m->renderer->renderedFrames();
  m->taken = 0;
  m->passStart = m->chunkStart;
  m->seekOrder = order;
  m->ended = false;
  return 0;
}

void bft_set_loop(bft_module* m, int loop) {
  if (!m || (m->repeats < 0) == (loop != 0)) return;
  m->repeats = loop ? -1 : 0;
  m->ended = false;
  // Past the end of the first pass, the pass that ends the song is counted from where it is.
  const int64_t next = m->chunkStart + m->taken;
  if (!loop && next >= endOfPass(*m)) {
    m->renderer->restartPass();
    m->passStart = next;
    m->onFirstPass = false;
  }
}

int bft_set_repeat(bft_module* m, int count) {
  if (!m || count < -1) return -1;
  if (count < 0) {
    bft_set_loop(m, 1);
    return 0;
  }
  // Going round for ever, the renderer counted no passes: the one playing is counted from here.
  if (m->repeats < 0) bft_set_loop(m, 0);
  m->repeats = count;
  m->ended = false;
  return 0;
}

int bft_seek_frame(bft_module* m, int64_t frame) {
  if (!m || frame < 0 || frame > bft_pass_frames(m)) return -1;
  // The latest state kept at or before the frame, unless the renderer is on the first pass's
  // course between it and the frame already.
  auto after = std::upper_bound(m->kept.begin(), m->kept.end(), frame,
                                [](int64_t f, const bft_module::KeptState& k) { return f < k.frame; });
  const bft_module::KeptState& from = *(after - 1);
  if (m->onFirstPass && m->chunk.count > 0 && frame >= m->chunkStart && frame < m->chunkStart + m->chunk.count) {
    m->taken = frame - m->chunkStart;
    m->passStart = 0;
    m->seekOrder = -1;
    m->ended = false;
    return 0;
  }
  const int64_t rendered = m->renderer->renderedFrames();
  if (!(m->onFirstPass && rendered <= frame && rendered >= from.frame)) {
    m->renderer->restore(*from.state);
    m->onFirstPass = true;
    m->keptOrder = -1;
    for (const OfflineRenderer::TickMark& t : m->renderer->ticks()) m->keptOrder = t.order;
  }
  // Played silently up to the block that holds the frame, which is then handed out from it.
  do renderBlock(*m);
  while (m->chunkStart + m->chunk.count <= frame);
  m->taken = frame - m->chunkStart;
  m->passStart = 0;
  m->seekOrder = -1;
  m->ended = false;
  return 0;
}

int bft_seek_time(bft_module* m, double seconds) {
  if (!m || !(seconds >= 0) || !(seconds * m->renderer->player().rate < 9.2e18)) return -1;
  return bft_seek_frame(m, std::llround(seconds * m->renderer->player().rate));
}

int64_t bft_frame_of(const bft_module* m, int order, int row) {
  if (!m) return -1;
  passOf(m);
  for (const OfflineRenderer::TickMark& t : m->passRows)
    if (t.order == order && t.row == row) return t.frame;
  return -1;
}

double bft_time_of(const bft_module* m, int order, int row) {
  const int64_t frame = bft_frame_of(m, order, row);
  return frame < 0 ? -1 : static_cast<double>(frame) / m->renderer->player().rate;
}

int bft_seek_row(bft_module* m, int order, int row) {
  const int64_t frame = bft_frame_of(m, order, row);
  return frame < 0 ? -1 : bft_seek_frame(m, frame);
}

double bft_duration(const bft_module* m) {
  return m ? static_cast<double>(bft_pass_frames(m)) / m->renderer->player().rate : 0;
}

void bft_set_channel_mask(bft_module* m, uint64_t mask) {
  if (!m) return;
  m->mask = mask;
  applyChannels(*m);
}

int bft_set_gain(bft_module* m, double decibels) {
  if (!m || !(decibels >= -48 && decibels <= 48)) return -1;
  m->gain = static_cast<float>(std::pow(10.0, decibels / 20));
  return 0;
}

uint64_t bft_clipped(const bft_module* m) { return m ? m->clipped : 0; }

int bft_set_separation(bft_module* m, int percent) {
  if (!m || percent < 0 || percent > 100) return -1;
  m->renderer->setSeparation(percent);
  return 0;
}

}  // extern "C"
