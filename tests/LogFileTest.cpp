#include "Base/LogFile.h"

#include <gtest/gtest.h>

#include "TempDir.h"

TEST(LogFile, EmptiedAtConstructionAndFlushedAfterEveryMessage) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  { std::ofstream(path) << "old contents that must go\n"; }

  LogFile log(path.c_str());
  EXPECT_EQ(readFile(path), "");
  logPrint("CImageLib::insertImage : inserting start image\n");
  EXPECT_EQ(readFile(path), "CImageLib::insertImage : inserting start image\n");
  logPrint("x=%f y=%f z=%f\n", 1.0, -0.5, 0.25);
  logPrint("no line end");
  logPrint(" %d runs on\n", 2);
  EXPECT_EQ(readFile(path),
            "CImageLib::insertImage : inserting start image\n"
            "x=1.000000 y=-0.500000 z=0.250000\n"
            "no line end 2 runs on\n");
}

TEST(LogFile, WithoutPathAcceptsPrintsAndWritesNothing) {
  LogFile log(nullptr);
  EXPECT_EQ(getLog(), &log);
  logPrint("dropped %d\n", 1);  // must neither crash nor write anywhere
}

TEST(LogFile, UnopenableFileIsSilent) {
  LogFile log("/nonexistent-folder/log.txt");
  EXPECT_EQ(getLog(), &log);
  logPrint("dropped\n");
}

TEST(LogFile, LastConstructedIsCurrentAndDestroyingEitherLeavesNone) {
  EXPECT_EQ(getLog(), nullptr);
  {
    auto first = std::make_unique<LogFile>(nullptr);
    auto second = std::make_unique<LogFile>(nullptr);
    EXPECT_EQ(getLog(), second.get());
    first.reset();
    EXPECT_EQ(getLog(), nullptr);
  }
  {
    auto first = std::make_unique<LogFile>(nullptr);
    auto second = std::make_unique<LogFile>(nullptr);
    second.reset();
    EXPECT_EQ(getLog(), nullptr);
  }
  logPrint("no log: nothing happens\n");
}

TEST(LogFile, WarningLineFormat) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());
  const int line = __LINE__ + 1;
  TAV_WARN("Can't Delete Context");
  EXPECT_EQ(readFile(path), "WARN: tests/LogFileTest.cpp/" + std::to_string(line) + ": Can't Delete Context\n");
}

TEST(AssertionDeathTest, ReportIsExactlyFourLinesThenAbort) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  EXPECT_DEATH(
      {
        LogFile log(path.c_str());
        assertFailed("glw", "src/GLServer/GLServer", 50);
      },
      "");
  EXPECT_EQ(readFile(path), "*** TAV ASSERTION ***\nexpression: glw\nfile: src/GLServer/GLServer\nline: 50\n");
}

const int kAssertLine = __LINE__ + 3;
void assertNullGfx() {
  void* gfx = nullptr;
  TAV_ASSERT(gfx);
}

TEST(AssertionDeathTest, CheckPassesExpressionTextFileAndLine) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  EXPECT_DEATH(
      {
        LogFile log(path.c_str());
        assertNullGfx();
      },
      "");
  EXPECT_EQ(readFile(path), "*** TAV ASSERTION ***\nexpression: gfx\nfile: tests/LogFileTest.cpp\nline: " +
                                std::to_string(kAssertLine) + "\n");
}

TEST(AssertionDeathTest, WithoutLogStillEndsTheProcess) {
  EXPECT_DEATH(
      {
        LogFile log(nullptr);
        assertFailed("mod", "src/SoundLib/xmplay/SoundXM", 1);
      },
      "");
}
