#include "GLRing.h"

#include <GL/gl.h>

#include <cmath>

#include "Base/LogFile.h"

namespace {
constexpr float kTwoPi = 6.2831855f;
}

void GLRing::buildVertices() {
  const int n = segments;
  vertices.reset(new float[static_cast<size_t>(4 * n) * 3]());
  const float half = thickness / 2;
  auto put = [&](int index, float radius, float c, float s, float z) {
    float* v = &vertices[static_cast<size_t>(index) * 3];
    v[0] = radius * c;
    v[1] = radius * s;
    v[2] = z;
  };
  for (int i = 0; i < n; ++i) {
    const float theta = static_cast<float>(i) * kTwoPi / static_cast<float>(n);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    put(i, radius1, c, s, half);
    put(n + i, radius1, c, s, -half);
    put(2 * n + i, radius2, c, s, half);
    const float* v = &vertices[static_cast<size_t>(2 * n + i) * 3];
    logPrint("x=%f y=%f z=%f\n", static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2]));
    put(3 * n + i, radius2, c, s, -half);
  }
}

void GLRing::buildIndices() {
  const uint32_t n = static_cast<uint32_t>(segments);
  indices.reset(new uint32_t[8 * (n + 1)]);
  // Pair j of each strip: (first + j, second + j); pair n closes the band with pair 0.
  const uint32_t strips[4][2] = {{2 * n, 0}, {3 * n, n}, {0, n}, {2 * n, 3 * n}};
  uint32_t* out = indices.get();
  for (const auto& strip : strips) {
    for (uint32_t j = 0; j <= n; ++j) {
      *out++ = strip[0] + j % n;
      *out++ = strip[1] + j % n;
    }
  }
}

void GLRing::draw(int strips) const {
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices.get());
  for (int s = 1; s <= 4; ++s) {
    if (strips & (1 << (s - 1)))
      glDrawElements(GL_TRIANGLE_STRIP, indicesPerStrip(), GL_UNSIGNED_INT,
                     indices.get() + static_cast<size_t>(s - 1) * indicesPerStrip());
  }
  glDisableClientState(GL_VERTEX_ARRAY);
}
