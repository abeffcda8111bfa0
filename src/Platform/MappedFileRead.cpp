// The read every backend of MappedFile falls back on: the rest of an open file into memory.
#include <cerrno>
#include <cstdio>

#include "Platform/MappedFile.h"

bool MappedFile::readAll(void* file) {
  FILE* f = static_cast<FILE*>(file);
  std::setvbuf(f, nullptr, _IONBF, 0);
  size_t chunk = 65536;
  while (true) {
    const size_t at = bytes_.size();
    bytes_.resize(at + chunk);
    const size_t n = std::fread(bytes_.data() + at, 1, chunk, f);
    bytes_.resize(at + n);
    if (n < chunk) break;
  }
  const bool ok = !std::ferror(f);
  const int error = errno;  // a folder opens, and its read fails with EISDIR
  std::fclose(f);
  errno = error;
  data_ = bytes_.data();
  size_ = bytes_.size();
  return ok;
}
