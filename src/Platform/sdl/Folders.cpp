// Folders on Linux, through the C++ library's file system operations.

#include "Platform/Folders.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool makeFolders(const std::string& path, std::string* why) {
  std::error_code ec;
  fs::create_directories(path, ec);
  std::error_code made;
  if (fs::is_directory(path, made)) return true;
  if (why) *why = ec ? ec.message() : std::make_error_code(std::errc::not_a_directory).message();
  return false;
}

std::string temporaryFolder() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return {};
  for (unsigned n = 0; n < 100000; ++n) {
    const fs::path candidate = base / ("brackenfold-" + std::to_string(n));
    if (fs::create_directory(candidate, ec)) return candidate.string();
    if (ec) return {};
  }
  return {};
}

void removeFolder(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

bool isFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::vector<std::string> fileNamesIn(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
    if (!it->is_directory(ec)) names.push_back(it->path().filename().string());
  return names;
}

bool removeFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(path, ec);
}
