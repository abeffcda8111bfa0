#include "SoundLib/xmplay/formats/Formats.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "SoundLib/xmplay/rules/RuleSets.h"

// Each format's record, defined beside its reader.
namespace xm {
extern const Format kFormat;
}
namespace mod {
extern const Format kFormat;
}
namespace s3m {
extern const Format kFormat;
}
namespace it {
extern const Format kFormat;
}

namespace {
// Every format, in the order their headers are tried: those with an id of their own first, MOD
// (whose 15-sample modules have none) last.
const Format* const kFormats[] = {&xm::kFormat, &s3m::kFormat, &it::kFormat, &mod::kFormat};

void refuse(LoadFailure* failure, const std::string& text) {
  if (failure) std::snprintf(failure->text, sizeof failure->text, "%s", text.c_str());
}
}  // namespace

const Format* formatOf(const uint8_t* data, size_t size) {
  if (!data) return nullptr;
  for (const Format* f : kFormats)
    if (f->recognise(data, size)) return f;
  return nullptr;
}

const Format* formatNamed(const char* name) {
  if (!name) return nullptr;
  for (const Format* f : kFormats)
    if (!std::strcmp(f->name, name)) return f;
  return nullptr;
}

const Format* formatAt(int index) {
  static const Format* const kOffered[] = {&xm::kFormat, &mod::kFormat, &s3m::kFormat, &it::kFormat};
  return index >= 0 && index < formatCount() ? kOffered[index] : nullptr;
}

int formatCount() { return static_cast<int>(std::size(kFormats)); }

std::string formatNames() {
  std::string names;
  const size_t count = std::size(kFormats);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kFormats[i]->name;
  }
  return names;
}

namespace {
// Whether the rules play the format; false with the reason where they do not.
bool playable(const Format& format, const RuleSet& rules, LoadFailure* failure) {
  if (playsFormat(rules, format.name)) return true;
  // "XM MOD" as "XM and MOD".
  std::string formats;
  for (const char* at = rules.formats; *at; ++at) formats += *at == ' ' ? std::string(" and ") : std::string(1, *at);
  refuse(failure, std::string("the ") + rules.title + " rules play " + formats + " modules only");
  return false;
}
}  // namespace

bool playBy(Song& song, const RuleSet& rules, LoadFailure* failure) {
  if (!playable(*song.format, rules, failure)) return false;
  song.rules = &rules;
  song.tickFunction = rules.tick;
  if (rules.prepare) rules.prepare(song);
  return true;
}

SongPtr loadModule(const uint8_t* data, size_t size, const RuleSet* rules, LoadFailure* failure) {
  if (failure) failure->text[0] = 0;
  if (size > kMaxImageBytes) {
    refuse(failure, "larger than 1 GB");
    return nullptr;
  }
  const Format* format = formatOf(data, size);
  if (!format) {
    // Each format says what it looked for: "neither XM (no "Extended Module: " at its start) nor
    // MOD (...)".
    std::string text = "neither ";
    for (size_t i = 0; i < std::size(kFormats); ++i) {
      if (i > 0) text += i + 1 == std::size(kFormats) ? " nor " : ", ";
      text += kFormats[i]->name;
      if (kFormats[i]->notRecognised) text += std::string(" (") + kFormats[i]->notRecognised + ")";
    }
    refuse(failure, text);
    return nullptr;
  }
  const RuleSet* set = rules ? rules : ruleSetNamed(format->defaultRules);
  if (!playable(*format, *set, failure)) return nullptr;
  SongPtr song = format->read(data, size, set->read, failure);
  if (!song || !playBy(*song, *set, failure)) return nullptr;
  return song;
}

std::string formatName(const Song& song) { return song.format->describe(song); }
