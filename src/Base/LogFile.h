#pragma once

#include <cstdarg>
#include <cstdio>

// The process-wide log: an optional text file, emptied when opened and flushed after every
// message so that it is complete up to the last line even when the process aborts.
class LogFile {
 public:
  explicit LogFile(const char* path);
  virtual ~LogFile();

  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void print(const char* format, va_list args);

 private:
  std::FILE* file = nullptr;
  unsigned char enabled = 0;
};

// The log constructed last, or null once any log has been destroyed.
LogFile* getLog();

void logPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

[[noreturn]] void assertFailed(const char* expression, const char* file, int line);

// Non-fatal failure with its source location: "WARN: file/line: text".
#define TAV_WARN(text) logPrint("WARN: %s/%d: %s\n", __FILE__, __LINE__, (text))

#define TAV_ASSERT(expression) \
  ((expression) ? static_cast<void>(0) : assertFailed(#expression, __FILE__, __LINE__))
