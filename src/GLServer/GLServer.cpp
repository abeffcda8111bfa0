#include "GLServer/GLServer.h"

#include <GL/gl.h>

#include <new>

// Without memory for the log the server goes on without one, and every log line is dropped.
GLServer::GLServer(const char* logPath, const char* title, int iconId, WindowBackend& backend)
    : log(new (std::nothrow) LogFile(logPath)), title(title), backend(backend) {
  if (iconId != 0) this->iconId = iconId;
}

GLServer::~GLServer() {
  logPrint("Shutting down GLServer .....");
  window.reset();
  log.reset();
}

int GLServer::getWidth() { return width; }
int GLServer::getHeight() { return height; }

void GLServer::setDisplayMode(int width, int height, int colourBits) {
  window->settings.width = width;
  window->settings.height = height;
  window->settings.colourBits = colourBits;
}

void GLServer::init() {
  GLWindow* glw = new (std::nothrow) GLWindow(this, title, iconId);
  TAV_ASSERT(glw);
  window.reset(glw);
}

bool GLServer::createWindow(int dialogId) {
  for (int attempt = 0; attempt < kMaxCreateAttempts; ++attempt) {
    window->showOptionsDialog(dialogId);
    if (window->quitRequested) return false;
    if (window->create()) return true;
  }
  logPrint("GLServer::createWindow : giving up after %d attempts\n", kMaxCreateAttempts);
  return false;
}

bool GLServer::update() { return window->update(); }

int GLServer::createTexture(const unsigned char* pixels, int width, int height, int bitsPerPixel, int noParameters) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  switch (bitsPerPixel >> 3) {
    case 3:
      glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
      break;
    case 4:
      glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
      break;
    case 1:
      glTexImage2D(GL_TEXTURE_2D, 0, 1, width, height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels);
      break;
    default:
      return -1;
  }
  if (noParameters == 0) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  }
  return static_cast<int>(name);
}

unsigned char* GLServer::getKeys() { return window->keyDown; }
