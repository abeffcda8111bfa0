#include "Backdrop.h"

#include <GL/gl.h>

#include <cmath>

namespace {
void texturedQuad(const float (&st)[4][2], const float (&xy)[4][2]) {
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(st[i][0], st[i][1]);
    glVertex2f(xy[i][0], xy[i][1]);
  }
  glEnd();
}

// Bar pair i thins out and closes up toward the middle of the picture.
void drawBars() {
  for (int i = 1; i <= 5; ++i) {
    glBegin(GL_QUADS);
    const float w = static_cast<float>(6 - i);
    const float y0 = 1.25f - (0.04f * static_cast<float>(i) - 0.005f * w);
    const float h = 0.01f * w;
    glVertex2f(-2.8f, y0);
    glVertex2f(2.8f, y0);
    glVertex2f(2.8f, y0 + h);
    glVertex2f(-2.8f, y0 + h);
    glVertex2f(-2.8f, -y0);
    glVertex2f(2.8f, -y0);
    glVertex2f(2.8f, -(y0 + h));
    glVertex2f(-2.8f, -(y0 + h));
    glEnd();
  }
}
}  // namespace

// Blending uses whatever function is current: the driver's at the first frame, the text ring's
// additive one after that, which sums the two opaque layers to a cross-fade over the black.
void Backdrop::drawBackdrop(float frameDelta) {
  draw();
  advance(frameDelta);
}

// Nothing drawn depends on the state the frame advances (the panel moves after its own quad),
// so drawing first and advancing after gives the same frame.
void Backdrop::draw() const {
  const float p = std::sin(4 * layerTime);
  const float q = std::cos(3 * layerTime);

  glDisable(GL_DEPTH_TEST);
  glPushMatrix();
  glTranslatef(0, 0, -5);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(panelTexture));
  glColor4f(0.7f, 0.7f, 0.7f, 1);
  glEnable(GL_BLEND);
  texturedQuad({{0, 0}, {1, 0}, {1, 1}, {0, 1}},
               {{panelX, panelY}, {panelX + 3.5f, panelY}, {panelX + 3.5f, panelY + 0.3f}, {panelX, panelY + 0.3f}});

  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(firstLayerTexture));
  glColor4f(1, 1, 1, 1 - crossfade);
  glEnable(GL_BLEND);
  const float t = layerTime;
  texturedQuad({{t, -p}, {t + 1, -p}, {t + 1, 1 - p}, {t, 1 - p}},
               {{-2.8f, -1.2f}, {2.8f, -1.2f}, {2.8f, 1.2f}, {-2.8f, 1.2f}});

  glColor4f(1, 1, 1, crossfade);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(secondLayerTexture));
  texturedQuad({{-t, q}, {1 - t, q}, {1 - t, q + 1}, {-t, q + 1}},
               {{-2.8f, -1.2f}, {2.8f, -1.2f}, {2.8f, 1.2f}, {-2.8f, 1.2f}});

  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(0, 0, 0, 0);

  glPushMatrix();
  glTranslatef(0, 0, -5);
  drawBars();
  glPopMatrix();
  glEnable(GL_DEPTH_TEST);
}

void Backdrop::advance(float frameDelta) {
  // The jump is tested after the move, so it shows in the next frame.
  panelX += static_cast<float>(panelDir) * frameDelta * 0.5f;
  if (panelX > 3.3f) {
    panelDir = -1;
    panelX = 2.8f;
    panelY = -1.8f;
  } else if (panelX < -6.8f) {
    panelX = -6.3f;
    panelY = 1.5f;
    panelDir = 1;
  }

  layerTime += frameDelta * 0.33333334f;
  const float d = frameDelta * 0.2f;
  crossfade += crossfadeUp == 1 ? d : -d;
  if (crossfade >= 0.9f)
    crossfadeUp = 0;
  else if (!(crossfade > 0.1f))
    crossfadeUp = 1;
}
