#pragma once

#include <memory>

#include "GLRing.h"

// The five concentric rings in front of the camera, each turning about the diagonal at its own
// speed, filled dark red and outlined black.
struct RingStack {
  void createRings();
  void drawRings() const;
  void advanceRings(float frameDelta);

  int ringCount = 5;
  std::unique_ptr<GLRing[]> rings;
  float ringAngle = 0;  // degrees
};
