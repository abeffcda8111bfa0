#include "Base/LogFile.h"

#include <cstdlib>

namespace {
LogFile* currentLog = nullptr;
}

LogFile::LogFile(const char* path) {
  currentLog = this;
  if (path) {
    enabled = 1;
    // Binary: the file holds the bytes the program printed, line ends as they are, on every system.
    file = std::fopen(path, "w+b");
  }
}

LogFile::~LogFile() {
  if (file) {
    std::fflush(file);
    std::fclose(file);
  }
  currentLog = nullptr;
}

void LogFile::print(const char* format, va_list args) {
  if (!file || enabled != 1) return;
  std::vfprintf(file, format, args);
  std::fflush(file);
}

LogFile* getLog() { return currentLog; }

void logPrint(const char* format, ...) {
  LogFile* log = getLog();
  if (!log) return;
  va_list args;
  va_start(args, format);
  log->print(format, args);
  va_end(args);
}

void assertFailed(const char* expression, const char* file, int line) {
  logPrint("*** TAV ASSERTION ***\nexpression: %s\nfile: %s\nline: %d\n", expression, file, line);
  std::abort();
}
