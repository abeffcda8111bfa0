#pragma once

#include <SDL.h>

#include <deque>
#include <string>

#include "Platform/WindowBackend.h"

// The window services on SDL2. SDL fixes a window's pixel format when it creates the window, so
// the SDL window is made when the format is chosen; createWindow only records where it goes.
class SdlWindowBackend : public WindowBackend {
 public:
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

 private:
  bool registered = false;
  std::string className;
  WindowProcedure procedure = nullptr;
  int iconId = 0;  // shown on the window when it is made
  bool fullscreenMode = false;
  SDL_DisplayMode mode{};

  bool windowRecorded = false;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;
  bool popup = false;

  SDL_Window* sdlWindow = nullptr;
  SDL_GLContext probeContext = nullptr;  // made while choosing the format, handed out by createContext
  uint32_t formatFlags = 0;
  bool formatSet = false;
  std::deque<WindowMessage> posted;
  int error = 0;

  // The offscreen present's bound on the frames queued to the renderer (see boundFrameQueue).
  void boundFrameQueue();
  void forgetFrameFence();
  bool offscreen = false;
  enum class FrameWait : uint8_t { Unknown, Fence, Finish } frameWait = FrameWait::Unknown;
  void* (*fenceSync)(unsigned condition, unsigned flags) = nullptr;
  unsigned (*clientWaitSync)(void* sync, unsigned flags, uint64_t timeout) = nullptr;
  void (*deleteSync)(void* sync) = nullptr;
  void* frameFence = nullptr;
};

// Windows virtual-key code of an SDL key, 0 where there is none.
int virtualKeyOf(SDL_Keycode key);
