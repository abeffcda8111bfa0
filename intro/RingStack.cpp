#include "RingStack.h"

#include <GL/gl.h>

void RingStack::createRings() {
  rings.reset(new GLRing[ringCount]);
  for (int k = 0; k < ringCount; ++k) {
    GLRing& ring = rings[k];
    ring.segments = 12;
    ring.radius1 = static_cast<float>(k + 2);
    ring.radius2 = static_cast<float>(k + 1);
    ring.thickness = 0.5f;
    ring.buildVertices();
    ring.buildIndices();
  }
}

void RingStack::drawRings() const {
  for (int i = 1; i <= ringCount; ++i) {
    const float fi = static_cast<float>(i);
    const float axis = fi / static_cast<float>(ringCount);
    glPushMatrix();
    glColor3f(0.1f * fi, 0, 0);
    glRotatef(fi * ringAngle * 0.16666667f, axis, axis, axis);
    rings[i - 1].draw(15);
    // The outline lies at exactly the fill's depths and shows because the depth test is LEQUAL.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor3f(0, 0, 0);
    rings[i - 1].draw(15);
    glPopMatrix();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  }
}

void RingStack::advanceRings(float frameDelta) { ringAngle += frameDelta * 100; }
