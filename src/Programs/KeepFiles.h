#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// What a tool may write over. A user who mistypes an output name must not lose a module, a
// picture or anything else of theirs: an existing file is replaced only where it is of the kind
// the tool writes (a WAV over a WAV), or with --force; a tool's own input never (it may still be
// reading it). Nothing there, an empty file, and what is no regular file (/dev/null, a pipe) are
// free to write.

// The first bytes of a file, at most n; "" for one that cannot be read.
inline std::string fileHead(const std::string& path, size_t n) {
  std::string head(n, '\0');
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "";
  head.resize(std::fread(head.data(), 1, n, f));
  std::fclose(f);
  return head;
}

// Whether two names are the same file (a link, another spelling of the path).
inline bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

// "" where path may be written; otherwise the one-line reason it is not (without the tool's
// name). kind names what the tool writes ("a WAV file"); isKind tells it by the first 2048 bytes (a MOD names itself at 1080)
// of the file there (nullptr: what it writes has nothing to tell it by, and nothing there is
// replaced without --force).
inline std::string refusalToWrite(const std::string& path, const std::vector<std::string>& inputs, const char* kind,
                                  bool (*isKind)(const std::string& head), bool force) {
  for (const std::string& in : inputs)
    if (sameFile(path, in)) return path + " is the input " + in + ": name another file to write";
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status) || std::filesystem::file_size(path, ec) == 0 || ec) return "";
  if (force || (isKind && isKind(fileHead(path, 2048)))) return "";
  return path + " exists" + (isKind ? std::string(" and is not ") + kind : std::string()) +
         ": not written over without --force";
}

inline bool isWavHead(const std::string& head) {
  return head.size() >= 12 && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WAVE") == 0;
}
