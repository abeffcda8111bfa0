#pragma once

#include <EGL/egl.h>

#include <deque>
#include <string>

#include "Platform/WindowBackend.h"

// The window services of a browser page, one operation per call the GL frame makes.
// Implements: the class and its procedure, the key and focus events of the page (WebEvents.cpp);
// the window as the page's canvas with a WebGL context through the browser's EGL, whose legacy GL
// emulation serves the intro's immediate mode (WebWindow.cpp); the warning, shown on the page
// (WebMessageBox.cpp); the options dialog as the page's own form (WebDialog.cpp).
// The display mode: a page cannot change the screen's mode, so full screen is the browser's
// Fullscreen API on the canvas at the chosen size (WebWindow.cpp); leaving it (the browser takes
// Escape for that) ends the show as closing the window does.
// Does not implement: the window icon, more than one class or window at a time. Every format counts as accelerated: the browser picks its own
// renderer and does not say whether it draws on the CPU.
class WebWindowBackend : public WindowBackend {
 public:
  WebWindowBackend();
  bool registerClass(const char* name, uint32_t style, WindowProcedure procedure, int iconId) override;
  bool unregisterClass(const char* name) override;
  bool changeDisplayMode(const DisplayMode* mode) override;
  void showCursor(bool show) override;
  bool adjustWindowRect(WindowRect& rect, uint32_t style, uint32_t exStyle) override;
  int screenWidth() override;
  int screenHeight() override;
  WindowHandle createWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x,
                            int y, int width, int height, void* createParam) override;
  void destroyWindow(WindowHandle window) override;
  DeviceHandle getDC(WindowHandle window) override;
  void releaseDC(WindowHandle window, DeviceHandle dc) override;
  int choosePixelFormat(DeviceHandle dc, const PixelFormatDescriptor& request) override;
  bool describePixelFormat(DeviceHandle dc, int format, uint32_t& flags) override;
  bool setPixelFormat(DeviceHandle dc, int format, const PixelFormatDescriptor& request) override;
  ContextHandle createContext(DeviceHandle dc) override;
  bool makeCurrent(DeviceHandle dc, ContextHandle context) override;
  void deleteContext(ContextHandle context) override;
  void showWindow(WindowHandle window) override;
  bool peekMessage(WindowMessage& message) override;
  void dispatchMessage(const WindowMessage& message) override;
  intptr_t defaultWindowProc(const WindowMessage& message) override;
  void postQuitMessage() override;
  void swapBuffers(DeviceHandle dc) override;
  void showWarning(const char* text) override;
  intptr_t dialogBoxParam(int dialogId, DialogProcedure procedure, void* initParam) override;
  bool isDlgButtonChecked(DialogHandle dialog, int controlId) override;
  void endDialog(DialogHandle dialog, intptr_t result) override;
  int lastError() override { return error; }

  // The page's events, queued until the next pump.
  void queue(const WindowMessage& message) { pending.push_back(message); }
  // The browser has left full screen: if the show had entered it, the show ends.
  void leftFullscreen();

 private:
  void listenToPage();

  bool registered = false;
  std::string className;
  WindowProcedure procedure = nullptr;
  bool windowExists = false;
  bool fullscreen = false;  // the canvas asked for the whole screen and has not left it
  bool listening = false;
  std::deque<WindowMessage> pending;

  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  EGLSurface surface = EGL_NO_SURFACE;
  bool formatSet = false;

  int dialogShows = 0;
  intptr_t dialogResult = 0;
  bool dialogEnded = false;
  int error = 0;
};

// Windows virtual-key code of a key event of the page (its keyCode and key), 0 where there is none.
int virtualKeyOfPageKey(unsigned long keyCode, const char* key);
