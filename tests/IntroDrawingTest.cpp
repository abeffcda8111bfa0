// The intro's GL state and drawing on a real GL context: SDL's offscreen driver over Mesa.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Backdrop.h"
#include "GLRing.h"
#include "GLServer/GLServer.h"
#include "MorvelleCracktro01.h"
#include "NoLeakCheck.h"
#include "RingStack.h"
#include "SuiteGLContext.h"

namespace {
constexpr int kWidth = 96, kHeight = 72;

class IntroDrawingTest : public SuiteGLContext<kWidth, kHeight> {
 protected:
  void SetUp() override {
    SuiteGLContext::SetUp();
    if (HasFatalFailure()) return;
    initGL(kWidth, kHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
  }

  static std::vector<unsigned char> pixels() {
    std::vector<unsigned char> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  static long litPixels() {
    const std::vector<unsigned char> rgb = pixels();
    return std::count_if(rgb.begin(), rgb.end(), [](unsigned char c) { return c != 0; });
  }
  static GLRing ring() {
    GLRing r;
    r.segments = 12;
    r.radius1 = 2;
    r.radius2 = 1;
    r.thickness = 0.5f;
    r.buildVertices();
    r.buildIndices();
    return r;
  }

};
}  // namespace

TEST_F(IntroDrawingTest, HeightZeroGivesAViewportOneHigh) {
  initGL(kWidth, 0);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[2], kWidth);
  EXPECT_EQ(viewport[3], 1);
  // 45 degrees vertically: 1 / tan(22.5 degrees) = 2.4142136 down, that over the aspect 96 across.
  GLfloat projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[5], 2.4142136f, 1e-6f);
  EXPECT_NEAR(projection[0], 2.4142136f / 96, 1e-7f);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(IntroDrawingTest, RingDrawOfNoStripsDrawsNothingButSetsTheVertexArray) {
  const GLRing r = ring();
  glTranslatef(0, 0, -8);
  glColor3f(1, 1, 1);
  r.draw(0);
  EXPECT_EQ(litPixels(), 0);
  GLvoid* pointer = nullptr;
  glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
  EXPECT_EQ(pointer, r.vertices.get()) << "the vertex array was set up all the same";
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));

  r.draw(1);  // the face alone shows
  EXPECT_GT(litPixels(), 100);
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
}

TEST_F(IntroDrawingTest, RingsLeaveThePolygonModeFilled) {
  RingStack stack;
  stack.createRings();
  glTranslatef(0, 0, -16);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  stack.drawRings();
  GLint modes[2] = {};
  glGetIntegerv(GL_POLYGON_MODE, modes);
  EXPECT_EQ(modes[0], GL_FILL);
  EXPECT_EQ(modes[1], GL_FILL);
  EXPECT_GT(litPixels(), 0) << "the rings were drawn";
}

TEST_F(IntroDrawingTest, BackdropLeavesTheDepthBufferAtItsClearValue) {
  static const unsigned char white[3] = {255, 255, 255};
  Backdrop backdrop;
  backdrop.panelTexture = backdrop.firstLayerTexture = backdrop.secondLayerTexture =
      server->createTexture(white, 1, 1, 24, 0);
  backdrop.drawBackdrop(0.1f);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  std::vector<GLfloat> depth(static_cast<size_t>(kWidth) * kHeight, 0);
  glReadPixels(0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  EXPECT_EQ(std::count(depth.begin(), depth.end(), 1.0f), kWidth * kHeight);
  EXPECT_GT(litPixels(), kWidth * kHeight) << "the layers were drawn";
}
