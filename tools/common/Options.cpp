#include "common/Options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Bounds as a user types them: 192000, 0.001, 1000000000 (never 1e+09).
std::string shown(double v) {
  char text[64];
  if (v == std::floor(v) && std::fabs(v) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", v);
  else
    std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// The help text's column: past the longest option head, within reason.
constexpr size_t kMinColumn = 20, kMaxColumn = 28;

std::string head(const Option& o) {
  std::string h = o.shortName ? std::string("  -") + o.shortName + ", " : std::string("      ");
  h += o.name;
  if (o.value) h += std::string(" ") + o.value;
  return h;
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
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.take = [&target](const char*) { return target = true; };
  o.help = help;
  return o;
}

Option Option::integer(const char* name, char shortName, const char* value, const char* unit, long low, long high,
                       long& target, const char* help) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = value;
  o.allowed = std::string("a whole number") + (unit ? std::string(" of ") + unit : "") + " from " +
              shown(static_cast<double>(low)) + " to " + shown(static_cast<double>(high));
  o.take = [&target, low, high](const char* text) {
    long v = 0;
    if (!parseWholeNumber(text, v) || v < low || v > high) return false;
    target = v;
    return true;
  };
  o.help = help;
  return o;
}

Option Option::number(const char* name, char shortName, const char* value, const char* unit, double low, double high,
                      bool lowOpen, double& target, const char* help) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = value;
  const std::string what = unit ? unit : "a number";
  o.allowed = lowOpen ? what + " above " + shown(low) + ", at most " + shown(high)
                      : what + " from " + shown(low) + " to " + shown(high);
  o.take = [&target, low, high, lowOpen](const char* text) {
    double v = 0;
    if (!parseRealNumber(text, v) || v > high || (lowOpen ? v <= low : v < low)) return false;
    target = v;
    return true;
  };
  o.help = help;
  return o;
}

Option Option::size(const char* name, char shortName, long most, int& width, int& height, const char* help) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = "WxH";
  o.allowed = "WxH, each a whole number from 1 to " + shown(static_cast<double>(most));
  o.take = [&width, &height, most](const char* text) {
    const char* x = std::strchr(text, 'x');
    long w = 0, h = 0;
    if (!x || !parseWholeNumber(std::string(text, x).c_str(), w) || !parseWholeNumber(x + 1, h)) return false;
    if (w < 1 || h < 1 || w > most || h > most || !std::isdigit(static_cast<unsigned char>(x[1]))) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
  };
  o.help = help;
  return o;
}

Option Option::text(const char* name, char shortName, const char* value, const char* what, std::string& target,
                    const char* help) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = value;
  o.allowed = what;
  o.take = [&target](const char* text) {
    if (!*text) return false;
    target = text;
    return true;
  };
  o.help = help;
  return o;
}

Option Option::custom(const char* name, char shortName, const char* value, std::string allowed,
                      std::function<bool(const char*)> take, const char* help) {
  Option o;
  o.name = name;
  o.shortName = shortName;
  o.value = value;
  o.allowed = std::move(allowed);
  o.take = std::move(take);
  o.help = help;
  return o;
}

Options::Options(const char* program, std::vector<Option> table) : program_(program), table_(std::move(table)) {
  table_.push_back(Option::flag("--help", 'h', help_, "print the usage, the options and the exit status"));
  table_.push_back(Option::flag("--version", 'V', version_, "print the version"));
}

const Option* Options::find(const std::string& name) const {
  for (const Option& o : table_)
    if (name == o.name) return &o;
  return nullptr;
}

const Option* Options::findShort(char letter) const {
  for (const Option& o : table_)
    if (o.shortName && o.shortName == letter) return &o;
  return nullptr;
}

bool Options::given(const char* name) const { return std::find(given_.begin(), given_.end(), name) != given_.end(); }

std::string Options::message(const std::string& text) const { return program_ + ": " + text; }

bool Options::fail(const std::string& text) {
  error_ = message(text);
  return false;
}

bool Options::apart(const char* name, const char* other, const char* why) {
  if (!given(name) || !given(other)) return true;
  return fail(std::string(name) + ": not with " + other + " (" + why + ")");
}

bool Options::take(const Option& option, const std::string& as, const char* value) {
  if (!option.take(value)) {
    const std::string v = value && *value ? value : "\"\"";
    return fail(as + ": bad value " + v + " (" + option.allowed + ")");
  }
  given_.push_back(option.name);
  return true;
}

Options::Result Options::parse(int argc, const char* const* argv) {
  operands_.clear();
  given_.clear();
  error_.clear();
  help_ = version_ = false;
  bool ok = true, ended = false;
  int i = 1;
  for (; i < argc && ok && !help_ && !version_; ++i) {
    const std::string arg = argv[i];
    if (ended || arg == "-" || arg.empty() || arg[0] != '-') {
      operands_.push_back(arg);
    } else if (arg == "--") {
      ended = true;
    } else if (arg.compare(0, 2, "--") == 0) {
      const size_t equals = arg.find('=');
      const std::string name = arg.substr(0, equals);
      const Option* o = find(name);
      if (!o) {
        ok = fail("unknown option " + name + " (see --help)");
      } else if (!o->value) {
        ok = equals == std::string::npos ? take(*o, name, nullptr) : fail(name + ": takes no value");
      } else if (equals != std::string::npos) {
        // Values point into argv, which outlives the parse: an option may keep the pointer.
        ok = take(*o, name, argv[i] + equals + 1);
      } else if (i + 1 < argc) {
        ok = take(*o, name, argv[++i]);
      } else {
        ok = fail(name + ": missing value (" + o->allowed + ")");
      }
    } else {
      // One or more short options: flags run together, and the first that takes a value takes
      // the rest of the word, or the next word.
      for (size_t k = 1; k < arg.size() && ok; ++k) {
        const std::string as = std::string("-") + arg[k];
        const Option* o = findShort(arg[k]);
        if (!o) {
          ok = fail("unknown option " + as + " (see --help)");
        } else if (!o->value) {
          ok = take(*o, as, nullptr);
        } else {
          if (k + 1 < arg.size())
            ok = take(*o, as, argv[i] + k + 1);
          else if (i + 1 < argc)
            ok = take(*o, as, argv[++i]);
          else
            ok = fail(as + ": missing value (" + o->allowed + ")");
          break;
        }
      }
    }
  }
  // --help and --version win over a mistake anywhere: whoever asks for help may be lost.
  for (; i < argc && !ended && !help_ && !version_; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    help_ = arg == "--help" || arg == "-h";
    version_ = arg == "--version" || arg == "-V";
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
    std::string line = head(o);
    line += line.size() + 2 <= column ? std::string(column - line.size(), ' ') : "\n" + std::string(column, ' ');
    for (const char* c = o.help; *c; ++c) line += *c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, *c);
    text += line + "\n";
  }
  return text;
}

int Options::answer(Result result, const char* synopsis, const char* version) const {
  switch (result) {
    case Result::kHelp:
      std::printf("%soptions:\n%sexit status: 0 done, 2 a bad option or value, or a file that cannot be read or "
                  "written\n",
                  synopsis, helpText().c_str());
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
