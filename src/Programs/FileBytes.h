#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Whole files in and out, for the command-line tools. On failure errno holds the system's
// reason, which cannotRead and cannotWrite put into the tools' messages.
inline bool readFileBytes(const char* path, std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  // Straight into the vector, without stdio's buffer in between: the whole file at once where its
  // size can be had (not for a pipe, nor for a folder, whose end lies anywhere), then whatever
  // follows.
  std::setvbuf(f, nullptr, _IONBF, 0);
  size_t chunk = 65536;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    if (size > 0 && size <= (1L << 30)) chunk = static_cast<size_t>(size) + 1;
    std::rewind(f);
  }
  while (true) {
    const size_t at = bytes.size();
    bytes.resize(at + chunk);
    const size_t n = std::fread(bytes.data() + at, 1, chunk, f);
    bytes.resize(at + n);
    if (n < chunk) break;
    chunk = 65536;
  }
  const bool ok = !std::ferror(f);
  const int error = errno;  // a folder opens, and its read fails with EISDIR
  std::fclose(f);
  errno = error;
  return ok;
}

inline bool writeFileBytes(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int error = errno;
  const bool closed = std::fclose(f) == 0;
  if (!ok) errno = error;
  return closed && ok;
}

// "cannot read PATH: REASON", the reason being errno's.
inline std::string cannotRead(const std::string& path) { return "cannot read " + path + ": " + std::strerror(errno); }
inline std::string cannotWrite(const std::string& path) { return "cannot write " + path + ": " + std::strerror(errno); }
