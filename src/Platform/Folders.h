#pragma once

#include <string>
#include <vector>

// Folders for the files of a capture run.

// Makes the folder and whichever of its parents are missing; true when path is a folder then.
// Otherwise the system's reason goes to *why ("Not a directory" where a file is in the way).
bool makeFolders(const std::string& path, std::string* why = nullptr);
// A new, empty folder inside the system's folder for temporary files; empty when none could be
// made.
std::string temporaryFolder();
// Removes the folder and everything in it.
void removeFolder(const std::string& path);
bool isFolder(const std::string& path);
// The names of the files in a folder, its folders left out; none when it cannot be read.
std::vector<std::string> fileNamesIn(const std::string& path);
// Removes one file; false when it could not be removed.
bool removeFile(const std::string& path);
