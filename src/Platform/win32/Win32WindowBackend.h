#pragma once

#include <cstdint>

#include "Platform/WindowBackend.h"

// The window services on Win32, GDI and WGL, one call per operation, as the GL frame makes them.
// Implements: the window class and its procedure, the message pump (Win32Events.cpp); display
// mode, window, pixel format, WGL context, swap (Win32Window.cpp); the warning box
// (Win32MessageBox.cpp); the modal dialog over the system's dialog manager (Win32Dialog.cpp).
// Does not implement: more than one registered class or procedure at a time (the GL frame
// registers one), owner windows for boxes and dialogs (the GL frame shows them without owner).
// Handles cross the seam as integers; <windows.h> stays in the .cpp files.
class Win32WindowBackend : public WindowBackend {
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
  int lastError() override;

  // The engine's view of a native message: its type and parameter, the native payload attached.
  static WindowMessage translate(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

 private:
  uintptr_t hinstance = 0;  // the program's module: class, icon and window belong to it
};
