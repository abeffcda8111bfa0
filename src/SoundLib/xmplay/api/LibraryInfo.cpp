// The C interface's calls about what a module holds and what the library reads: probing, the
// lists of formats and rule sets, names and the message, patterns, the order list and cells.
#include <cstring>
#include <string>

#include "SoundLib/xmplay/api/LibraryInternal.h"
#include "SoundLib/xmplay/api/PatternCell.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/RuleSets.h"

std::string printableMessage(const std::string& text) {
  // Trackers end the message's lines with a carriage return (IT) or a line feed.
  std::string lines;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u == '\r' || u == '\n')
      lines += '\n';
    else
      lines += u >= 0x20 && u < 0x7F ? c : ' ';
  }
  while (!lines.empty() && (lines.back() == ' ' || lines.back() == '\n')) lines.pop_back();
  if (!lines.empty()) lines += '\n';
  return lines;
}

namespace {
const char* nameAt(const std::vector<std::string>& names, int index) {
  return index >= 0 && static_cast<size_t>(index) < names.size() ? names[static_cast<size_t>(index)].c_str() : "";
}

// The note at a place of the song; none outside it.
const Note* cellAt(const bft_module* m, int pattern, int row, int channel) {
  if (!m || pattern < 0 || pattern >= m->song->allocatedPatternCount || channel < 0 || channel >= m->song->channelCount)
    return nullptr;
  const Pattern& p = m->song->patterns[pattern];
  if (row < 0 || row >= p.rows || !p.notes) return nullptr;
  return p.notes + static_cast<size_t>(row) * m->song->channelCount + channel;
}
}  // namespace

extern "C" {

const char* bft_probe(const void* data, size_t size) {
  const Format* format = data ? formatOf(static_cast<const uint8_t*>(data), size) : nullptr;
  return format ? format->name : nullptr;
}

int bft_format_count(void) { return formatCount(); }
const char* bft_format_name(int index) {
  const Format* format = formatAt(index);
  return format ? format->name : nullptr;
}
int bft_rules_count(void) { return ruleSetCount(); }
const char* bft_rules_name(int index) {
  const RuleSet* rules = ruleSetAt(index);
  return rules ? rules->name : nullptr;
}

int bft_instruments(const bft_module* m) { return m ? static_cast<int>(m->instrumentNames.size()) : 0; }
const char* bft_instrument_name(const bft_module* m, int index) { return m ? nameAt(m->instrumentNames, index) : ""; }
int bft_samples(const bft_module* m) { return m ? static_cast<int>(m->sampleNames.size()) : 0; }
const char* bft_sample_name(const bft_module* m, int index) { return m ? nameAt(m->sampleNames, index) : ""; }
const char* bft_message(const bft_module* m) { return m ? m->message.c_str() : ""; }

int bft_patterns(const bft_module* m) { return m ? m->song->allocatedPatternCount : 0; }
int bft_pattern_rows(const bft_module* m, int pattern) {
  if (!m || pattern < 0 || pattern >= m->song->allocatedPatternCount) return 0;
  return m->song->patterns[pattern].rows;
}

int bft_order_pattern(const bft_module* m, int order) {
  if (!m || order < 0 || order >= m->song->songLength) return -3;
  const uint8_t pattern = m->song->orders[order];
  if (pattern == kOrderSkip && m->song->format && std::strcmp(m->song->format->name, "XM") && std::strcmp(m->song->format->name, "MOD"))
    return -1;
  if (pattern == kOrderEnd && m->song->format && std::strcmp(m->song->format->name, "XM") && std::strcmp(m->song->format->name, "MOD"))
    return -2;
  return pattern;
}

int bft_pattern_cell(const bft_module* m, int pattern, int row, int channel, bft_cell* cell) {
  const Note* note = cellAt(m, pattern, row, channel);
  if (!note || !cell) return -1;
  *cell = neutralCell(*note, cellStyleOf(*m->song));
  return 0;
}

int bft_pattern_cell_text(const bft_module* m, int pattern, int row, int channel, char* text, size_t size) {
  const Note* note = cellAt(m, pattern, row, channel);
  if (!note) return -1;
  const CellStyle style = cellStyleOf(*m->song);
  const std::string shown = cellText(neutralCell(*note, style), style);
  if (text && size) {
    const size_t n = std::min(size - 1, shown.size());
    std::memcpy(text, shown.data(), n);
    text[n] = 0;
  }
  return static_cast<int>(shown.size());
}

}  // extern "C"
