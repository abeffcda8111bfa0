// The SDL backend on the offscreen driver (EGL over Mesa, no screen): what it does where nobody
// sees the window.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <string>

#include "GLServer/GLServer.h"
#include "NoLeakCheck.h"
#include "SuiteGLContext.h"

namespace {
class SdlOffscreenTest : public SuiteGLContext<800, 600> {
 protected:

  // Enough blended fill for a software renderer to take far longer to draw than to be given.
  static void drawHeavyFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (int i = 0; i < 300; ++i) {
      glBegin(GL_QUADS);
      glColor4f(0.5f, 0.25f, 0.125f, 0.01f);
      glVertex2f(-1, -1);
      glVertex2f(1, -1);
      glVertex2f(1, 1);
      glVertex2f(-1, 1);
      glEnd();
    }
    glDisable(GL_BLEND);
  }

};
}  // namespace

// The offscreen swap presents nothing and waits for nothing; unbounded, the frames queued to a
// software renderer piled up until a real-time run stalled for seconds. A present may leave one
// frame in flight, not more: by the second present after a frame, that frame is drawn.
TEST_F(SdlOffscreenTest, PresentKeepsTheRendererAtMostOneFrameBehind) {
  for (int round = 0; round < 3; ++round) {
    drawHeavyFrame();
    const GLsync drawn = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    ASSERT_NE(drawn, nullptr);
    EXPECT_FALSE(server->update());
    drawHeavyFrame();
    EXPECT_FALSE(server->update());
    const GLenum state = glClientWaitSync(drawn, 0, 0);
    EXPECT_TRUE(state == GL_ALREADY_SIGNALED || state == GL_CONDITION_SATISFIED)
        << "round " << round << ": the frame two presents back is still being drawn";
    glDeleteSync(drawn);
  }
}

// Nobody looks at an offscreen window, so a warning must not wait for a click on a box.
TEST_F(SdlOffscreenTest, WarningGoesToStderr) {
  ::testing::internal::CaptureStderr();
  platformWindowBackend().showWarning("Can't show DialogBox");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Warning: Can't show DialogBox\n");
}
