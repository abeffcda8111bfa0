#include "ReleaseText.h"

#include <cstdint>
#include <cstdio>

namespace release_text {
namespace {
// Code page 437's bytes 0x80 to 0xFF, as Unicode code points.
constexpr uint16_t kUpperHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text after `key` up to the next of `stops` (or the end), trimmed; empty when key is absent.
std::string fieldAfter(const std::string& line, const std::string& key, const std::vector<std::string>& stops) {
  const size_t at = line.find(key);
  if (at == std::string::npos) return {};
  const size_t from = at + key.size();
  size_t to = line.size();
  for (const std::string& stop : stops) {
    const size_t s = line.find(stop, from);
    if (s != std::string::npos && s < to) to = s;
  }
  return trimmed(line.substr(from, to - from));
}

// One code point from UTF-8 at text[i], advancing i; false on a malformed sequence.
bool nextCodePoint(const std::string& text, size_t& i, uint32_t& point) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) return false;
  point = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    point = (point << 6) | (byte(i + k) & 0x3F);
  }
  i += static_cast<size_t>(extra) + 1;
  return true;
}
std::string codePointName(uint32_t point) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(point));
  return name;
}
}  // namespace

bool creditsFromScroller(const std::vector<std::string>& lines, Credits& credits, std::string& error) {
  Credits found;
  for (const std::string& line : lines) {
    const size_t present = line.find(" is proud to present:");
    if (present != std::string::npos && found.group.empty()) {
      found.group = trimmed(line.substr(0, present));
      found.release = fieldAfter(line, "present:", {});
    }
    const std::vector<std::string> keys = {"code:", "gfx:", "music:"};
    if (found.code.empty()) found.code = fieldAfter(line, "code:", keys);
    if (found.graphics.empty()) found.graphics = fieldAfter(line, "gfx:", keys);
    if (found.music.empty()) found.music = fieldAfter(line, "music:", keys);
    if (found.greetings.empty()) found.greetings = fieldAfter(line, "We greet:", {});
  }
  const std::pair<const char*, const std::string*> wanted[] = {
      {"the group (\"... is proud to present:\")", &found.group}, {"the release's name", &found.release},
      {"\"code:\"", &found.code},   {"\"gfx:\"", &found.graphics},
      {"\"music:\"", &found.music}, {"\"We greet:\"", &found.greetings}};
  for (const auto& [what, value] : wanted) {
    if (value->empty()) {
      error = std::string("the scroller text names no ") + what;
      return false;
    }
  }
  credits = found;
  return true;
}

bool splitTemplate(const std::string& text, Template& out, std::string& error) {
  std::string* section = nullptr;
  Template parts;
  bool sawNfo = false, sawDiz = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (line == "[nfo]" || line == "[diz]") {
      bool& seen = line == "[nfo]" ? sawNfo : sawDiz;
      if (seen) {
        error = "the template has two " + line + " sections";
        return false;
      }
      seen = true;
      section = line == "[nfo]" ? &parts.nfo : &parts.diz;
      continue;
    }
    if (section) *section += line + "\n";
  }
  // Blank lines that only part one section from the next belong to neither text.
  for (std::string* part : {&parts.nfo, &parts.diz})
    while (part->size() >= 2 && part->compare(part->size() - 2, 2, "\n\n") == 0) part->pop_back();
  if (!sawNfo || !sawDiz) {
    error = std::string("the template has no ") + (sawNfo ? "[diz]" : "[nfo]") + " section";
    return false;
  }
  out = parts;
  return true;
}

bool expandFields(const std::string& text, const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string& out, std::string& error) {
  std::string result;
  size_t at = 0;
  while (true) {
    const size_t open = text.find('@', at);
    if (open == std::string::npos) break;
    const size_t close = text.find('@', open + 1);
    if (close == std::string::npos) {
      error = "an @ without its closing @";
      return false;
    }
    const std::string name = text.substr(open + 1, close - open - 1);
    const std::string* value = nullptr;
    for (const auto& field : fields)
      if (field.first == name) value = &field.second;
    if (!value) {
      error = "no value for @" + name + "@";
      return false;
    }
    result += text.substr(at, open - at) + *value;
    at = close + 1;
  }
  out = result + text.substr(at);
  return true;
}

bool toCodePage437(const std::string& utf8, size_t maxColumns, size_t maxLines, std::string& out, std::string& error) {
  std::string result, line;
  size_t columns = 0, lines = 0;
  auto endLine = [&]() {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    result += line + "\r\n";
    line.clear();
    columns = 0;
    ++lines;
  };
  for (size_t i = 0; i < utf8.size();) {
    uint32_t point = 0;
    if (!nextCodePoint(utf8, i, point)) {
      error = "line " + std::to_string(lines + 1) + ": not UTF-8";
      return false;
    }
    if (point == '\n') {
      endLine();
      continue;
    }
    char byte = 0;
    if (point >= 0x20 && point < 0x7F) {
      byte = static_cast<char>(point);
    } else {
      // A no-break space (0xFF) would pass for a space: it is refused like any stray character.
      for (int k = 0; k < 128; ++k)
        if (kUpperHalf[k] == point && point != 0xA0) byte = static_cast<char>(0x80 + k);
      if (!byte) {
        error = "line " + std::to_string(lines + 1) + ": " + codePointName(point) + " has no place in code page 437";
        return false;
      }
    }
    line += byte;
    if (++columns > maxColumns) {
      error = "line " + std::to_string(lines + 1) + " is wider than " + std::to_string(maxColumns) + " columns";
      return false;
    }
  }
  if (!line.empty()) endLine();
  if (maxLines && lines > maxLines) {
    error = std::to_string(lines) + " lines, more than " + std::to_string(maxLines);
    return false;
  }
  out = result;
  return true;
}

}  // namespace release_text
