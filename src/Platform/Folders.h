#pragma once

#include <string>

// Folders for the files of a capture run.

// Makes the folder and whichever of its parents are missing; true when path is a folder then.
bool makeFolders(const std::string& path);
// A new, empty folder inside the system's folder for temporary files; empty when none could be
// made.
std::string temporaryFolder();
// Removes the folder and everything in it.
void removeFolder(const std::string& path);
