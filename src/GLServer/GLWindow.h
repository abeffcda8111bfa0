#pragma once

#include <cstdint>

#include "GLServer/OptionsDialog.h"
#include "Platform/WindowBackend.h"

class GLServer;

struct WindowSettings {
  int32_t width = 640;
  int32_t height = 480;
  int32_t colourBits = 32;
  int32_t depthBits = 16;
  int32_t stencilBits = 0;
  int32_t auxBuffers = 0;
};

// One output window with its GL context and, when asked for, a full-screen display mode.
class GLWindow {
 public:
  GLWindow(GLServer* gls, const char* title, int iconId);
  virtual ~GLWindow();

  int showOptionsDialog(int dialogId);
  bool create();
  bool update();
  void destroy();

  bool enterFullscreen();
  void useWindowedStyle();
  bool choosePixelFormat();

  // Asks for the end of the intro as closing the window does: the next update quits.
  void requestClose();

  unsigned char quitRequested = 0;
  WindowSettings settings;
  int iconId = 0;
  const char* title = nullptr;
  GLServer* server = nullptr;
  DeviceHandle dc = 0;
  ContextHandle rc = 0;
  WindowHandle window = 0;
  uint32_t exStyle = 0;
  uint32_t style = 0;
  WindowRect rect{};
  DisplayMode displayMode{};
  PixelFormatDescriptor pfd{};
  int pixelFormat = 0;
  unsigned char keyDown[256] = {};

 private:
  static intptr_t windowProcedure(const WindowMessage& message);
  void releaseAfterFailedCreate();
  bool fail(const char* text);

  WindowBackend* backend;
  bool classRegistered = false;
  bool modeSwitched = false;
};
