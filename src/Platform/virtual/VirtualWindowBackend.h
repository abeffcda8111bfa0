#pragma once

#include <deque>
#include <string>
#include <vector>

#include "Platform/WindowBackend.h"

// A window system that records every call and answers as the test tells it: scripted messages,
// a chosen step that fails, the flags of the pixel format.
class VirtualWindowBackend : public WindowBackend {
 public:
  bool registerClass(const char* name, uint32_t style, WindowProcedure procedure, int iconId) override;
  bool unregisterClass(const char* name) override;
  bool changeDisplayMode(const DisplayMode* mode) override;
  void showCursor(bool show) override;
  bool adjustWindowRect(WindowRect& rect, uint32_t style, uint32_t exStyle) override;
  int screenWidth() override { return screen[0]; }
  int screenHeight() override { return screen[1]; }
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
  int lastError() override { return dialogError; }

  // What the user does in the next dialog shown: check these buttons, then press one. With no
  // script left the dialog cannot be shown.
  struct DialogScript {
    std::vector<int> checked;
    uint32_t press = win::kIdOk;
  };
  std::deque<DialogScript> dialogScripts;
  int dialogError = 1812;  // the resource section lacks the dialog

  // Queues a message as the window system would deliver it.
  void push(MessageType type, uint32_t param = 0) { queue.push_back({type, param, nullptr}); }
  int count(const std::string& call) const;

  // Script.
  std::string failing;         // name of the call that fails ("registerClass", "createWindow", ...)
  int failuresLeft = 1000000;  // how many times it fails before it works
  uint32_t formatFlags = 0;
  int screen[2] = {1920, 1080};
  int outerGrow = 8;  // frame added on each side by adjustWindowRect

  // Record.
  std::vector<std::string> calls;
  std::vector<std::string> warnings;
  std::vector<WindowMessage> defaultHandled;
  int swaps = 0;
  int registered = 0;  // classes registered and not unregistered
  int windows = 0;     // windows alive
  int modeSwitched = 0;
  int cursorHidden = 0;
  uint32_t createdStyle = 0, createdExStyle = 0;
  int createdX = 0, createdY = 0, createdWidth = 0, createdHeight = 0;
  PixelFormatDescriptor lastRequest{};
  DisplayMode lastMode{};
  ContextHandle current = 0;
  int dialogsShown = 0, lastDialogId = 0;
  bool dialogEnded = false;

 private:
  bool fails(const char* call);
  WindowProcedure procedure = nullptr;
  std::deque<WindowMessage> queue;
  DialogScript shownDialog;
  intptr_t endResult = 0;
  uintptr_t nextHandle = 100;
};
