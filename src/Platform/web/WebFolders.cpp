// Folders on a browser page: a page has no file system to write captures into (the page never
// passes --capture or --video), so no folder can be made and there is none to remove.

#include "Platform/Folders.h"

bool makeFolders(const std::string&, std::string* why) {
  if (why) *why = "a page has no folders";
  return false;
}

std::string temporaryFolder() { return {}; }

void removeFolder(const std::string&) {}

bool isFolder(const std::string&) { return false; }

std::vector<std::string> fileNamesIn(const std::string&) { return {}; }

bool removeFile(const std::string&) { return false; }
