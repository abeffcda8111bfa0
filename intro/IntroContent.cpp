#include "IntroContent.h"

#include <GL/gl.h>

#include <memory>

#include "GLServer/GLServer.h"
#include "RingStack.h"

namespace {
std::unique_ptr<RingStack> rings;
}

void introSetup(GLServer&) {
  rings = std::make_unique<RingStack>();
  rings->createRings();
}

void introFrame(float frameDelta) { drawScene(frameDelta); }

void drawScene(float frameDelta) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0, 0, -16);
  rings->drawRings();
  rings->advanceRings(frameDelta);
}

void introShutdown() { rings.reset(); }
