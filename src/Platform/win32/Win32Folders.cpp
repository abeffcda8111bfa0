// Folders on Win32: CreateDirectoryA for the folder and each missing parent, GetTempPathA for
// the temporary files' folder, FindFirstFileA over a folder's entries to remove them before
// RemoveDirectoryA. Paths are the program's ANSI code page strings, as the command line gives
// them; '/' and '\' both separate folders.

#include <windows.h>

#include <cstdio>

#include "Platform/Folders.h"

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool makeFolders(const std::string& path, std::string* why) {
  if (path.empty()) {
    if (why) *why = "no folder named";
    return false;
  }
  // Every prefix that ends before a separator, from the first folder name on ("C:" and a
  // leading separator name no folder to make).
  for (size_t i = 1; i < path.size(); ++i) {
    if ((path[i] == '/' || path[i] == '\\') && path[i - 1] != ':' && path[i - 1] != '/' && path[i - 1] != '\\')
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
  const DWORD error = CreateDirectoryA(path.c_str(), nullptr) ? 0 : GetLastError();
  if (isFolder(path)) return true;
  if (why) {
    // The system's own words for the last step's failure, without their line end.
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   error ? error : ERROR_DIRECTORY, 0, text, sizeof text, nullptr);
    *why = std::string(text, n);
    while (!why->empty() && (why->back() == '\n' || why->back() == '\r' || why->back() == '.')) why->pop_back();
  }
  return false;
}

std::string temporaryFolder() {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) return {};
  for (unsigned n = 0; n < 100000; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "brackenfold-%u", n);
    const std::string candidate = std::string(base) + name;
    if (CreateDirectoryA(candidate.c_str(), nullptr)) return candidate;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

void removeFolder(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string inside = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeFolder(inside);
      else
        DeleteFileA(inside.c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> fileNamesIn(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
