#include "GLRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Base/LogFile.h"
#include "RingStack.h"
#include "TempDir.h"

namespace {
struct Vec {
  float x, y, z;
};
Vec vertex(const GLRing& ring, int i) { return {ring.vertices[i * 3], ring.vertices[i * 3 + 1], ring.vertices[i * 3 + 2]}; }

GLRing ringOf(int segments, float r1, float r2, float thickness) {
  GLRing ring;
  ring.segments = segments;
  ring.radius1 = r1;
  ring.radius2 = r2;
  ring.thickness = thickness;
  ring.buildVertices();
  ring.buildIndices();
  return ring;
}
}  // namespace

TEST(GLRing, VertexGroupsForTwelveSegments) {
  const GLRing ring = ringOf(12, 3.0f, 2.0f, 0.5f);
  const int n = 12;
  for (int i = 0; i < n; ++i) {
    const float theta = static_cast<float>(i) * 6.2831855f / 12.0f;
    const float c = std::cos(theta), s = std::sin(theta);
    const Vec g0 = vertex(ring, i), g1 = vertex(ring, n + i), g2 = vertex(ring, 2 * n + i), g3 = vertex(ring, 3 * n + i);
    EXPECT_FLOAT_EQ(g0.x, 3 * c);
    EXPECT_FLOAT_EQ(g0.y, 3 * s);
    EXPECT_EQ(g0.z, 0.25f);
    EXPECT_EQ(g1.x, g0.x);
    EXPECT_EQ(g1.z, -0.25f);
    EXPECT_FLOAT_EQ(g2.x, 2 * c);
    EXPECT_FLOAT_EQ(g2.y, 2 * s);
    EXPECT_EQ(g2.z, 0.25f);
    EXPECT_EQ(g3.y, g2.y);
    EXPECT_EQ(g3.z, -0.25f);
  }
  // Angle 3 of 12 is a quarter turn: on the y axis.
  EXPECT_NEAR(vertex(ring, 3).x, 0, 1e-6);
  EXPECT_FLOAT_EQ(vertex(ring, 3).y, 3);
}

TEST(GLRing, FourClosedStripsOf26Indices) {
  const GLRing ring = ringOf(12, 3.0f, 2.0f, 0.5f);
  ASSERT_EQ(ring.indicesPerStrip(), 26);
  const uint32_t n = 12;
  // Pair j of each strip, as (first, second) vertex group offsets.
  const uint32_t groups[4][2] = {{2 * n, 0}, {3 * n, n}, {0, n}, {2 * n, 3 * n}};
  for (int s = 0; s < 4; ++s) {
    const uint32_t* strip = &ring.indices[s * 26];
    for (uint32_t j = 0; j < n; ++j) {
      EXPECT_EQ(strip[2 * j], groups[s][0] + j) << "strip " << s + 1 << " pair " << j;
      EXPECT_EQ(strip[2 * j + 1], groups[s][1] + j) << "strip " << s + 1 << " pair " << j;
    }
    EXPECT_EQ(strip[24], strip[0]) << "strip " << s + 1 << " does not close";
    EXPECT_EQ(strip[25], strip[1]) << "strip " << s + 1 << " does not close";
  }
  // The closing pairs of the table: (2N, 0), (3N, N), (0, N), (2N, 3N).
  EXPECT_EQ(ring.indices[24], 24u);
  EXPECT_EQ(ring.indices[25], 0u);
  EXPECT_EQ(ring.indices[26 + 24], 36u);
  EXPECT_EQ(ring.indices[26 + 25], 12u);
  EXPECT_EQ(ring.indices[52 + 24], 0u);
  EXPECT_EQ(ring.indices[52 + 25], 12u);
  EXPECT_EQ(ring.indices[78 + 24], 24u);
  EXPECT_EQ(ring.indices[78 + 25], 36u);
}

TEST(GLRing, LogsEachOuterTopVertexAsItIsBuilt) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());
  const GLRing ring = ringOf(4, 1.0f, 2.0f, 1.0f);
  EXPECT_EQ(readFile(path),
            "x=2.000000 y=0.000000 z=0.500000\n"
            "x=-0.000000 y=2.000000 z=0.500000\n"
            "x=-2.000000 y=-0.000000 z=0.500000\n"
            "x=0.000000 y=-2.000000 z=0.500000\n");
}

TEST(RingStack, FiveNestedRingsOf48VerticesAnd104Indices) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  LogFile log(path.c_str());
  RingStack stack;
  stack.createRings();
  for (int k = 0; k < 5; ++k) {
    const GLRing& ring = stack.rings[k];
    EXPECT_EQ(ring.segments, 12);
    EXPECT_EQ(ring.radius1, k + 2.0f);
    EXPECT_EQ(ring.radius2, k + 1.0f);
    EXPECT_EQ(ring.thickness, 0.5f);
    EXPECT_EQ(4 * ring.indicesPerStrip(), 104);
    EXPECT_FLOAT_EQ(vertex(ring, 47).z, -0.25f);  // last vertex of group 3
  }
  const std::string text = readFile(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 60);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "x=1.000000 y=0.000000 z=0.250000\n");
}

TEST(RingStack, AngleGrowsByAHundredPerSecond) {
  RingStack stack;
  stack.advanceRings(0.5f);
  EXPECT_FLOAT_EQ(stack.ringAngle, 50.0f);
  stack.advanceRings(0.0f);
  EXPECT_FLOAT_EQ(stack.ringAngle, 50.0f);
  stack.advanceRings(0.016f);
  EXPECT_FLOAT_EQ(stack.ringAngle, 51.6f);
}
