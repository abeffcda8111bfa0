#include "Base/Resource.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Base/LogFile.h"
#include "TempDir.h"

namespace {
const char kTestBytes[] = "Brackenfold resource test bytes\n";
}

TEST(Resource, HitGivesTheEmbeddedBytes) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, 1, "TEST");
  ASSERT_NE(bytes, nullptr);
  ASSERT_EQ(size, std::strlen(kTestBytes));
  EXPECT_EQ(std::memcmp(bytes, kTestBytes, size), 0);
}

TEST(Resource, TypeNameMatchesInAnyCase) {
  uint32_t a = 0, b = 0, c = 0;
  const void* upper = loadResource(&a, 1, "TEST");
  EXPECT_EQ(loadResource(&b, 1, "test"), upper);
  EXPECT_EQ(loadResource(&c, 1, "tEsT"), upper);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
}

TEST(Resource, SameResourceTwiceIsTheSameAddress) {
  uint32_t first = 0, second = 0;
  const void* a = loadResource(&first, 1, "test");
  const void* b = loadResource(&second, 1, "test");
  EXPECT_EQ(a, b);
  EXPECT_EQ(first, second);
}

TEST(Resource, MissLogsTheErrorAndLeavesSizeUntouched) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());

  uint32_t size = 0xDEADBEEF;
  EXPECT_EQ(loadResource(&size, 2, "test"), nullptr);
  EXPECT_EQ(size, 0xDEADBEEFu);
  EXPECT_EQ(loadResource(&size, 1, "nosuchtype"), nullptr);
  EXPECT_EQ(size, 0xDEADBEEFu);
  EXPECT_EQ(loadResource(&size, 1, "TES"), nullptr);  // a prefix of a type is another type
  EXPECT_EQ(readFile(path),
            "Win32 Api Error Nr.: 1814\n"
            "Win32 Api Error Nr.: 1813\n"
            "Win32 Api Error Nr.: 1813\n");
}
