#include "Programs/Options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The intro links this too, and its program has a size to keep: texts are made with the C
// library's formatting rather than many string concatenations.

namespace {
// printf into a string.
std::string formatted(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Bounds as a user types them: 192000, 0.001, 1000000000 (never 1e+09).
std::string shown(double v) {
  return v == std::floor(v) && std::fabs(v) < 1e15 ? formatted("%.0f", v) : formatted("%g", v);
}

// The help text's column: past the longest option head, within reason.
constexpr size_t kMinColumn = 20, kMaxColumn = 28;

std::string head(const Option& o) {
  return formatted(o.shortName ? "  -%c, %s%s%s" : "  %c   %s%s%s", o.shortName ? o.shortName : ' ', o.name,
                   o.value ? " " : "", o.value ? o.value : "");
}

Option row(const char* name, char shortName, const char* value, const char* help, Option::Kind kind, void* target) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = value;
  o.help = help;
  o.kind = kind;
  o.target = target;
  return o;
}

bool readSize(const char* text, long most, int& width, int& height) {
  const char* x = std::strchr(text, 'x');
  long w = 0, h = 0;
  if (!x || !std::isdigit(static_cast<unsigned char>(x[1])) || !parseWholeNumber(std::string(text, x).c_str(), w) ||
      !parseWholeNumber(x + 1, h) || w < 1 || h < 1 || w > most || h > most)
    return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}
}  // namespace

bool parseWholeNumber(const char* text, long& out) {
  if (!text || !*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno || *end) return false;
  out = v;
  return true;
}

bool parseRealNumber(const char* text, double& out) {
  if (!text || !*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (errno || *end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

Option Option::flag(const char* name, char shortName, bool& target, const char* help) {
  return row(name, shortName, nullptr, help, Kind::kFlag, &target);
}

Option Option::integer(const char* name, char shortName, const char* value, const char* unit, long low, long high,
                       long& target, const char* help) {
  Option o = row(name, shortName, value, help, Kind::kInteger, &target);
  o.low = static_cast<double>(low);
  o.high = static_cast<double>(high);
  o.unit = unit;
  return o;
}

Option Option::number(const char* name, char shortName, const char* value, const char* unit, double low, double high,
                      bool lowOpen, double& target, const char* help) {
  Option o = row(name, shortName, value, help, Kind::kNumber, &target);
  o.low = low;
  o.high = high;
  o.lowOpen = lowOpen;
  o.unit = unit;
  return o;
}

Option Option::size(const char* name, char shortName, long most, int& width, int& height, const char* help) {
  Option o = row(name, shortName, "WxH", help, Kind::kSize, &width);
  o.target2 = &height;
  o.high = static_cast<double>(most);
  return o;
}

Option Option::text(const char* name, char shortName, const char* value, const char* what, std::string& target,
                    const char* help) {
  Option o = row(name, shortName, value, help, Kind::kText, &target);
  o.allowedText = what;
  return o;
}

Option Option::custom(const char* name, char shortName, const char* value, std::string allowed,
                      bool (*read)(const char* value, void* target), void* target, const char* help) {
  Option o = row(name, shortName, value, help, Kind::kCustom, target);
  o.allowedText = std::move(allowed);
  o.read = read;
  return o;
}

std::string Option::allowed() const {
  const std::string from = shown(low), to = shown(high);
  switch (kind) {
    case Kind::kInteger:
      return formatted("a whole number%s%s from %s to %s", unit ? " of " : "", unit ? unit : "", from.c_str(),
                       to.c_str());
    case Kind::kNumber:
      return formatted(lowOpen ? "%s above %s, at most %s" : "%s from %s to %s", unit ? unit : "a number",
                       from.c_str(), to.c_str());
    case Kind::kSize: return "WxH, each a whole number from 1 to " + to;
    default: return allowedText;
  }
}

bool Option::take(const char* text) const {
  switch (kind) {
    case Kind::kFlag: *static_cast<bool*>(target) = true; return true;
    case Kind::kInteger: {
      long v = 0;
      if (!parseWholeNumber(text, v) || static_cast<double>(v) < low || static_cast<double>(v) > high) return false;
      *static_cast<long*>(target) = v;
      return true;
    }
    case Kind::kNumber: {
      double v = 0;
      if (!parseRealNumber(text, v) || v > high || (lowOpen ? v <= low : v < low)) return false;
      *static_cast<double*>(target) = v;
      return true;
    }
    case Kind::kSize:
      return readSize(text, static_cast<long>(high), *static_cast<int*>(target), *static_cast<int*>(target2));
    case Kind::kText:
      if (!*text) return false;
      *static_cast<std::string*>(target) = text;
      return true;
    case Kind::kCustom: return read(text, target);
  }
  return false;
}

Options::Options(const char* program, std::vector<Option> table) : program_(program), table_(std::move(table)) {
  table_.push_back(Option::flag("--help", 'h', help_, "print the usage, the options and the exit status"));
  table_.push_back(Option::flag("--version", 'V', version_, "print the version"));
}

const Option* Options::find(const char* name, size_t length) const {
  for (const Option& o : table_)
    if (std::strlen(o.name) == length && !std::strncmp(o.name, name, length)) return &o;
  return nullptr;
}

const Option* Options::findShort(char letter) const {
  for (const Option& o : table_)
    if (o.shortName && o.shortName == letter) return &o;
  return nullptr;
}

bool Options::given(const char* name) const {
  return std::any_of(given_.begin(), given_.end(), [name](const char* g) { return !std::strcmp(g, name); });
}

std::string Options::message(const std::string& text) const { return program_ + ": " + text; }

bool Options::fail(const std::string& text) {
  error_ = message(text);
  return false;
}

bool Options::apart(const char* name, const char* other, const char* why) {
  if (!given(name) || !given(other)) return true;
  return fail(formatted("%s: not with %s (%s)", name, other, why));
}

bool Options::take(const Option& option, const std::string& as, const char* value) {
  if (!option.take(value))
    return fail(formatted("%s: bad value %s (%s)", as.c_str(), value && *value ? value : "\"\"",
                          option.allowed().c_str()));
  given_.push_back(option.name);
  return true;
}

bool Options::missing(const Option& option, const std::string& as) {
  return fail(formatted("%s: missing value (%s)", as.c_str(), option.allowed().c_str()));
}

Options::Result Options::parse(int argc, const char* const* argv) {
  operands_.clear();
  given_.clear();
  error_.clear();
  help_ = version_ = false;
  bool ok = true, ended = false;
  int i = 1;
  for (; i < argc && ok && !help_ && !version_; ++i) {
    const char* arg = argv[i];
    if (ended || arg[0] != '-' || arg[1] == '\0') {
      operands_.push_back(arg);
    } else if (!std::strcmp(arg, "--")) {
      ended = true;
    } else if (arg[1] == '-') {
      // Values point into argv, which outlives the parse: an option may keep the pointer.
      const char* equals = std::strchr(arg, '=');
      const std::string name(arg, equals ? equals : arg + std::strlen(arg));
      const Option* o = find(name.c_str(), name.size());
      if (!o)
        ok = fail("unknown option " + name + " (see --help)");
      else if (!o->value)
        ok = equals ? fail(name + ": takes no value") : take(*o, name, nullptr);
      else if (equals)
        ok = take(*o, name, equals + 1);
      else
        ok = i + 1 < argc ? take(*o, name, argv[++i]) : missing(*o, name);
    } else {
      // One or more short options: flags run together, and the first that takes a value takes
      // the rest of the word, or the next word.
      for (const char* at = arg + 1; *at && ok; ++at) {
        const std::string as = {'-', *at};
        const Option* o = findShort(*at);
        if (!o) {
          ok = fail("unknown option " + as + " (see --help)");
        } else if (!o->value) {
          ok = take(*o, as, nullptr);
        } else {
          ok = at[1] ? take(*o, as, at + 1) : i + 1 < argc ? take(*o, as, argv[++i]) : missing(*o, as);
          break;
        }
      }
    }
  }
  // --help and --version win over a mistake anywhere: whoever asks for help may be lost.
  for (; i < argc && !ended && !help_ && !version_; ++i) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--")) break;
    help_ = !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h");
    version_ = !std::strcmp(arg, "--version") || !std::strcmp(arg, "-V");
  }
  if (help_) return Result::kHelp;
  if (version_) return Result::kVersion;
  return ok ? Result::kRun : Result::kError;
}

std::string Options::helpText() const {
  size_t column = kMinColumn;
  for (const Option& o : table_) column = std::max(column, std::min(kMaxColumn, head(o).size() + 2));
  std::string text;
  for (const Option& o : table_) {
    text += head(o);
    const size_t used = text.size() - (text.rfind('\n') + 1);
    text += used + 2 <= column ? std::string(column - used, ' ') : "\n" + std::string(column, ' ');
    for (const char* c = o.help; *c; ++c) {
      text += *c;
      if (*c == '\n') text.append(column, ' ');
    }
    text += '\n';
  }
  return text;
}

int Options::answer(Result result, const char* synopsis, const char* version) const {
  return answer(result, std::string(synopsis) + "options:\n",
                "exit status: 0 done, 2 a bad option or value, or a file that cannot be read or written\n", version);
}

int Options::answer(Result result, const std::string& before, const char* after, const char* version) const {
  switch (result) {
    case Result::kHelp:
      std::printf("%s%s%s", before.c_str(), helpText().c_str(), after);
      return 0;
    case Result::kVersion:
      std::printf("%s %s\n", program_.c_str(), version);
      return 0;
    case Result::kError:
      std::fprintf(stderr, "%s\n", error_.c_str());
      return 2;
    case Result::kRun:
      break;
  }
  return -1;
}
