#pragma once

#include <cstdint>
#include <memory>

// One flat ring (a washer) as a vertex array and four closed triangle strips: the two faces
// and the two walls.
class GLRing {
 public:
  void buildVertices();
  void buildIndices();
  void draw(int strips) const;

  int indicesPerStrip() const { return 2 * segments + 2; }

  std::unique_ptr<float[]> vertices;  // 4 * segments positions of 3 floats
  int32_t segments = 8;
  float radius1 = 1.0f;
  float radius2 = 1.5f;
  float thickness = 0.2f;
  std::unique_ptr<uint32_t[]> indices;  // 4 strips of indicesPerStrip()
};
