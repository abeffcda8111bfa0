// createTexture on a real GL context: SDL's offscreen driver over Mesa, no screen needed.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "GLServer/GLServer.h"
#include "NoLeakCheck.h"
#include "SuiteGLContext.h"

namespace {
class GLServerTextureTest : public SuiteGLContext<64, 64> {
 protected:

  static GLint level(GLenum what) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &value);
    return value;
  }
  static GLint parameter(GLenum what) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
    return value;
  }

  std::vector<unsigned char> pixels = std::vector<unsigned char>(4 * 4 * 4, 0x80);
};
}  // namespace

TEST_F(GLServerTextureTest, TwentyFourBitsGiveRGB) {
  const int name = server->createTexture(pixels.data(), 4, 4, 24, 0);
  ASSERT_GT(name, 0);
  EXPECT_EQ(level(GL_TEXTURE_WIDTH), 4);
  EXPECT_GT(level(GL_TEXTURE_RED_SIZE), 0);
  EXPECT_GT(level(GL_TEXTURE_BLUE_SIZE), 0);
  EXPECT_EQ(level(GL_TEXTURE_ALPHA_SIZE), 0);
  EXPECT_EQ(level(GL_TEXTURE_LUMINANCE_SIZE), 0);
}

TEST_F(GLServerTextureTest, ThirtyTwoBitsGiveRGBA) {
  const int name = server->createTexture(pixels.data(), 4, 4, 32, 0);
  ASSERT_GT(name, 0);
  EXPECT_GT(level(GL_TEXTURE_RED_SIZE), 0);
  EXPECT_GT(level(GL_TEXTURE_ALPHA_SIZE), 0);
}

TEST_F(GLServerTextureTest, EightBitsGiveLuminance) {
  const int name = server->createTexture(pixels.data(), 4, 4, 8, 0);
  ASSERT_GT(name, 0);
  EXPECT_GT(level(GL_TEXTURE_LUMINANCE_SIZE), 0);
  EXPECT_EQ(level(GL_TEXTURE_RED_SIZE), 0);
  EXPECT_EQ(level(GL_TEXTURE_ALPHA_SIZE), 0);
}

TEST_F(GLServerTextureTest, SixteenBitsGiveMinusOneAndTheNameStaysBound) {
  EXPECT_EQ(server->createTexture(pixels.data(), 4, 4, 16, 0), -1);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_GT(bound, 0);
  EXPECT_EQ(glIsTexture(static_cast<GLuint>(bound)), GL_TRUE);
}

TEST_F(GLServerTextureTest, LinearFilteringAndRepeatUnlessAskedNotTo) {
  int name = server->createTexture(pixels.data(), 4, 4, 24, 0);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, name) << "the new texture stays bound";
  EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);

  name = server->createTexture(pixels.data(), 4, 4, 24, 1);
  ASSERT_GT(name, 0);
  EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR) << "GL default kept";
}

TEST_F(GLServerTextureTest, NamesAreDistinct) {
  const int a = server->createTexture(pixels.data(), 4, 4, 24, 0);
  const int b = server->createTexture(pixels.data(), 4, 4, 24, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
