// The platform's folders for capture runs: nested folders made at once, a file in the way, new
// temporary folders, and removal with everything inside.

#include "Platform/Folders.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
bool writeFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fputs("brackenfold", f) >= 0;
  return std::fclose(f) == 0 && written;
}

bool fileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}
}  // namespace

TEST(Folders, NestedFoldersAreMadeAndRemovedWithTheirFiles) {
  const std::string base = temporaryFolder();
  ASSERT_FALSE(base.empty());
  const std::string nested = base + "/a/b/c";
  EXPECT_TRUE(makeFolders(nested));
  EXPECT_TRUE(makeFolders(nested)) << "a folder that is there already";
  ASSERT_TRUE(writeFile(nested + "/frame_00000.png"));
  ASSERT_TRUE(writeFile(base + "/a/soundtrack.wav"));
  removeFolder(base);
  EXPECT_FALSE(fileExists(nested + "/frame_00000.png"));
  EXPECT_FALSE(fileExists(base + "/a/soundtrack.wav"));
  EXPECT_FALSE(writeFile(base + "/new.txt")) << "the folder itself is gone";
}

TEST(Folders, AFileInTheWayIsNoFolder) {
  const std::string base = temporaryFolder();
  ASSERT_FALSE(base.empty());
  ASSERT_TRUE(writeFile(base + "/taken"));
  EXPECT_FALSE(makeFolders(base + "/taken"));
  EXPECT_FALSE(makeFolders(base + "/taken/frames"));
  EXPECT_FALSE(makeFolders(""));
  removeFolder(base);
}

TEST(Folders, EachTemporaryFolderIsNewAndEmpty) {
  const std::string first = temporaryFolder();
  const std::string second = temporaryFolder();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_TRUE(writeFile(second + "/soundtrack.wav"));
  removeFolder(first);
  removeFolder(second);
  EXPECT_FALSE(fileExists(second + "/soundtrack.wav"));
}
