#pragma once

#include <string>
#include <vector>

// The command line of every tool and of the intro, declared once as a table: each row is an
// option's long name, short letter, value and what it allows, and its help text. The same table
// parses the arguments, answers a bad value with what is allowed, and writes the option lines
// of --help (which the man pages are checked against and the bash completion reads).
//
// Accepted as users of GNU tools expect: `--rate 48000` and `--rate=48000`, `-r 48000` and
// `-r48000`, flags grouped (`-lq`), options anywhere among the operands, `--` ending them (and a
// lone `-` is an operand: standard input or output). --help (-h) and --version (-V) are part of
// every table, and win wherever they stand.
struct Option {
  enum class Kind { kFlag, kInteger, kNumber, kSize, kText, kCustom };

  const char* name = "";        // "--rate"
  char shortName = 0;           // 'r' for -r; 0: none
  const char* value = nullptr;  // the value's name in the help text ("R"); none for a flag
  const char* help = "";        // the help text; '\n' starts another line of it
  Kind kind = Kind::kFlag;
  // Where the value goes: bool, long, double, int (the width; the height at target2),
  // std::string, or the custom reader's own.
  void* target = nullptr;
  void* target2 = nullptr;
  double low = 0, high = 0;     // kInteger and kNumber; kSize: high is the most either may be
  bool lowOpen = false;         // kNumber: above low, not from it
  const char* unit = nullptr;   // "Hz", "seconds": the words of the range
  std::string allowedText;      // kText and kCustom: what is allowed
  bool (*read)(const char* value, void* target) = nullptr;  // kCustom

  // A flag: sets target.
  static Option flag(const char* name, char shortName, bool& target, const char* help);
  // A whole number from low to high.
  static Option integer(const char* name, char shortName, const char* value, const char* unit, long low, long high,
                        long& target, const char* help);
  // A number from low to high (above low where lowOpen, for a range that may not touch it).
  static Option number(const char* name, char shortName, const char* value, const char* unit, double low, double high,
                       bool lowOpen, double& target, const char* help);
  // A width and height given as WxH ("640x480"), each a whole number from 1 to most.
  static Option size(const char* name, char shortName, long most, int& width, int& height, const char* help);
  // Any text but the empty one (a file or folder name).
  static Option text(const char* name, char shortName, const char* value, const char* what, std::string& target,
                     const char* help);
  // A value read by the tool's own reader into target (false: not allowed, answered with
  // `allowed`).
  static Option custom(const char* name, char shortName, const char* value, std::string allowed,
                       bool (*read)(const char* value, void* target), void* target, const char* help);

  // What a bad value is answered with: "a whole number of Hz from 8000 to 192000".
  std::string allowed() const;
  // Reads and keeps the value (a flag is handed nullptr); false for a value that is not allowed.
  bool take(const char* value) const;
};

class Options {
 public:
  enum class Result { kRun, kHelp, kVersion, kError };

  // program: the name in messages. The --help and --version rows are added after the table's.
  Options(const char* program, std::vector<Option> table);
  // The rows of --help and --version point into this object.
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;

  // Reads argv[1] on. kError leaves the one-line message (starting "program: ") in error().
  Result parse(int argc, const char* const* argv);

  // The arguments that were not options, in order.
  const std::vector<std::string>& operands() const { return operands_; }
  bool given(const char* name) const;
  const std::string& error() const { return error_; }

  // "program: text", for the messages a tool makes after the parse.
  std::string message(const std::string& text) const;
  // One option given with another it cannot go with (or that makes it do nothing): false when
  // both were given, with "program: --seconds: not with --info (why)" in error().
  bool apart(const char* name, const char* other, const char* why);

  // The option lines of --help: "  -r, --rate R        text", continued lines indented to the
  // text's column.
  std::string helpText() const;

  // What a small tool does with the parse's result: for --help prints the synopsis and the
  // option lines, for --version "program version", for a mistake the message, and returns the
  // exit code (0, 0, 2); -1 where the tool is to run.
  int answer(Result result, const char* synopsis, const char* version) const;
  // The same for any tool: --help prints before, the option lines and after.
  int answer(Result result, const std::string& before, const char* after, const char* version) const;

  const std::vector<Option>& table() const { return table_; }

 private:
  const Option* find(const char* name, size_t length) const;
  const Option* findShort(char letter) const;
  bool fail(const std::string& text);
  // Hands a value to its option; false with the message when it is not allowed.
  bool take(const Option& option, const std::string& shown, const char* value);
  bool missing(const Option& option, const std::string& shown);

  std::string program_;
  std::vector<Option> table_;
  std::vector<std::string> operands_;
  std::vector<const char*> given_;  // the names of the options given, as the table has them
  std::string error_;
  bool help_ = false, version_ = false;
};

// Numbers as the options read them: the whole text, finite. False for anything else.
bool parseWholeNumber(const char* text, long& out);
bool parseRealNumber(const char* text, double& out);
