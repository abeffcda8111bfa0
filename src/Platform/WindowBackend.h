#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The window-system services the GL frame relies on, one operation per platform call it makes.
// GLWindow holds the logic (order of steps, styles, acceptance rule, quit rule, messages);
// a backend only carries each call out. Values and flags keep their Win32 meaning.

namespace win {
constexpr uint32_t kClassStyleRedrawOwnDC = 0x23;  // CS_HREDRAW | CS_VREDRAW | CS_OWNDC
constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsOverlappedWindow = 0x00CF0000u;
constexpr uint32_t kWsClipChildrenSiblings = 0x06000000u;
constexpr uint32_t kWsExAppWindow = 0x00040000u;
constexpr uint32_t kWsExAppWindowEdge = 0x00040100u;  // WS_EX_APPWINDOW | WS_EX_WINDOWEDGE
constexpr uint32_t kDmFieldsModeSize = 0x001C0000u;  // DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT
constexpr uint32_t kPfdDoubleBuffer = 0x01;
constexpr uint32_t kPfdDrawToWindow = 0x04;
constexpr uint32_t kPfdSupportOpenGL = 0x20;
constexpr uint32_t kPfdGenericFormat = 0x40;
constexpr uint32_t kPfdGenericAccelerated = 0x1000;
constexpr uint8_t kPfdTypeRgba = 0;
constexpr uint8_t kPfdMainPlane = 0;
constexpr uint32_t kScScreenSave = 0xF140;
constexpr uint32_t kScMonitorPower = 0xF170;
constexpr int kVkEscape = 27;
constexpr uint32_t kIdOk = 1;
constexpr uint32_t kIdCancel = 2;
}  // namespace win

using WindowHandle = uintptr_t;   // 0: none
using DeviceHandle = uintptr_t;   // 0: none
using ContextHandle = uintptr_t;  // 0: none

struct WindowRect {
  int32_t left, top, right, bottom;
};

// The part of the display-mode record that the full-screen switch fills (148 bytes on Win32).
struct DisplayMode {
  uint32_t size;
  uint32_t fields;
  uint32_t bitsPerPel;
  uint32_t pelsWidth;
  uint32_t pelsHeight;
};

struct PixelFormatDescriptor {
  uint16_t size;
  uint16_t version;
  uint32_t flags;
  uint8_t pixelType;
  uint8_t colorBits;
  uint8_t alphaBits;
  uint8_t accumBits;
  uint8_t depthBits;
  uint8_t stencilBits;
  uint8_t auxBuffers;
  uint8_t layerType;
};

enum class MessageType : uint8_t { Create, Close, Quit, Size, Activate, KeyDown, KeyUp, SysCommand, Other };

// The message as the native window system delivered it (window, message, both parameters), for
// that system's default procedure. Backends without such messages, and messages the engine makes
// itself, leave it zero: those never reach the native default.
struct NativeMessage {
  uintptr_t window = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

struct WindowMessage {
  MessageType type;
  uint32_t param;          // key code, system command, ...
  void* createParam;       // Create only
  NativeMessage native{};
};

// The window procedure a class is registered with; the backend's dispatch calls it.
using WindowProcedure = intptr_t (*)(const WindowMessage& message);

using DialogHandle = uintptr_t;  // 0: none

enum class DialogMessageType : uint8_t { InitDialog, Command, Other };

struct DialogMessage {
  DialogMessageType type;
  uint32_t command;  // Command: the control id (kIdOk, kIdCancel, ...)
  void* initParam;   // InitDialog only
};

// A modal dialog's procedure: true when it handled the message.
using DialogProcedure = intptr_t (*)(DialogHandle dialog, const DialogMessage& message);

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;

  virtual bool registerClass(const char* name, uint32_t style, WindowProcedure procedure, int iconId) = 0;
  virtual bool unregisterClass(const char* name) = 0;
  // Switches to a full-screen mode; null restores the desktop mode.
  virtual bool changeDisplayMode(const DisplayMode* mode) = 0;
  virtual void showCursor(bool show) = 0;
  virtual bool adjustWindowRect(WindowRect& rect, uint32_t style, uint32_t exStyle) = 0;
  virtual int screenWidth() = 0;
  virtual int screenHeight() = 0;
  // Sends Create with createParam through the class's procedure before it returns.
  virtual WindowHandle createWindow(uint32_t exStyle, const char* className, const char* title, uint32_t style,
                                    int x, int y, int width, int height, void* createParam) = 0;
  virtual void destroyWindow(WindowHandle window) = 0;
  virtual DeviceHandle getDC(WindowHandle window) = 0;
  virtual void releaseDC(WindowHandle window, DeviceHandle dc) = 0;
  // Index of the closest format, 0 for none.
  virtual int choosePixelFormat(DeviceHandle dc, const PixelFormatDescriptor& request) = 0;
  // The flags of a format (kPfdGenericFormat, kPfdGenericAccelerated, ...); false when the
  // format cannot be described.
  virtual bool describePixelFormat(DeviceHandle dc, int format, uint32_t& flags) = 0;
  virtual bool setPixelFormat(DeviceHandle dc, int format, const PixelFormatDescriptor& request) = 0;
  virtual ContextHandle createContext(DeviceHandle dc) = 0;
  virtual bool makeCurrent(DeviceHandle dc, ContextHandle context) = 0;  // 0, 0: none current
  virtual void deleteContext(ContextHandle context) = 0;
  virtual void showWindow(WindowHandle window) = 0;  // show, to the foreground, keyboard focus
  // Removes one pending message without waiting; false when the queue is empty.
  virtual bool peekMessage(WindowMessage& message) = 0;
  virtual void dispatchMessage(const WindowMessage& message) = 0;
  virtual intptr_t defaultWindowProc(const WindowMessage& message) = 0;
  virtual void postQuitMessage() = 0;
  virtual void swapBuffers(DeviceHandle dc) = 0;
  // Modal box without owner, caption "Warning", exclamation icon, OK.
  virtual void showWarning(const char* text) = 0;

  // Runs the dialog resource dialogId modally, without owner: the procedure first gets
  // InitDialog with initParam, then a Command for each button pressed (Escape and closing the
  // dialog send kIdCancel, Enter presses the default button). Returns the code handed to
  // endDialog, or a negative value when the dialog cannot be shown (lastError tells why).
  virtual intptr_t dialogBoxParam(int dialogId, DialogProcedure procedure, void* initParam) = 0;
  virtual bool isDlgButtonChecked(DialogHandle dialog, int controlId) = 0;
  virtual void endDialog(DialogHandle dialog, intptr_t result) = 0;
  // The platform's code of the last failure.
  virtual int lastError() = 0;
};

// The backend of the platform the program was built for.
WindowBackend& platformWindowBackend();

// Asks the platform to render without a visible window where it can (capture runs).
void platformPreferOffscreen();
// Whether there is a screen to open a window on; where there is none, `why` says what is missing.
bool platformHasDisplay(std::string& why);
// Whether the options dialog can be shown to anyone: not in a run drawn offscreen with no
// display for the dialog either, where the settings can only come from the command line.
bool platformCanShowDialog();

// Runs the program's frame loop: `frame` until it returns false, then `end`, whose result is the
// exit code. A native platform loops right here and returns that code. A browser page must not
// block: there `frame` runs once per animation frame of the page, `end` after the last one, and
// this returns 0 at once while the page goes on.
int platformRunFrameLoop(std::function<bool()> frame, std::function<int()> end);
