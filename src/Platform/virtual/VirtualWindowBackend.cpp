// The tests' window system: every call is recorded, messages come from the test's script, any
// step can be made to fail, and the pixel format's flags are the test's. It opens no window and
// makes no GL context.
#include "Platform/virtual/VirtualWindowBackend.h"

#include <algorithm>

bool VirtualWindowBackend::fails(const char* call) {
  calls.emplace_back(call);
  if (failing != call || failuresLeft <= 0) return false;
  --failuresLeft;
  return true;
}

int VirtualWindowBackend::count(const std::string& call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

bool VirtualWindowBackend::registerClass(const char*, uint32_t, WindowProcedure proc, int) {
  if (fails("registerClass") || registered) return false;
  procedure = proc;
  ++registered;
  return true;
}

bool VirtualWindowBackend::unregisterClass(const char*) {
  if (fails("unregisterClass") || !registered) return false;
  --registered;
  return true;
}

bool VirtualWindowBackend::changeDisplayMode(const DisplayMode* mode) {
  if (!mode) {
    calls.emplace_back("restoreDisplayMode");
    modeSwitched = 0;
    return true;
  }
  if (fails("changeDisplayMode")) return false;
  lastMode = *mode;
  modeSwitched = 1;
  return true;
}

void VirtualWindowBackend::showCursor(bool show) {
  calls.emplace_back(show ? "showCursor" : "hideCursor");
  cursorHidden = show ? 0 : 1;
}

bool VirtualWindowBackend::adjustWindowRect(WindowRect& rect, uint32_t, uint32_t) {
  if (fails("adjustWindowRect")) return false;
  rect.left -= outerGrow;
  rect.top -= outerGrow;
  rect.right += outerGrow;
  rect.bottom += outerGrow;
  return true;
}

WindowHandle VirtualWindowBackend::createWindow(uint32_t exStyle, const char*, const char*, uint32_t style, int x,
                                                int y, int width, int height, void* createParam) {
  if (fails("createWindow")) return 0;
  createdExStyle = exStyle;
  createdStyle = style;
  createdX = x;
  createdY = y;
  createdWidth = width;
  createdHeight = height;
  ++windows;
  if (procedure) procedure(WindowMessage{MessageType::Create, 0, createParam});
  return nextHandle++;
}

void VirtualWindowBackend::destroyWindow(WindowHandle) {
  calls.emplace_back("destroyWindow");
  --windows;
}

DeviceHandle VirtualWindowBackend::getDC(WindowHandle) { return fails("getDC") ? 0 : nextHandle++; }

void VirtualWindowBackend::releaseDC(WindowHandle, DeviceHandle) { calls.emplace_back("releaseDC"); }

int VirtualWindowBackend::choosePixelFormat(DeviceHandle, const PixelFormatDescriptor& request) {
  lastRequest = request;
  return fails("choosePixelFormat") ? 0 : 7;
}

bool VirtualWindowBackend::describePixelFormat(DeviceHandle, int, uint32_t& flags) {
  flags = 0;
  if (fails("describePixelFormat")) return false;
  flags = formatFlags;
  return true;
}

bool VirtualWindowBackend::setPixelFormat(DeviceHandle, int format, const PixelFormatDescriptor&) {
  return !fails("setPixelFormat") && format == 7;
}

ContextHandle VirtualWindowBackend::createContext(DeviceHandle) { return fails("createContext") ? 0 : nextHandle++; }

bool VirtualWindowBackend::makeCurrent(DeviceHandle, ContextHandle context) {
  if (fails(context ? "makeCurrent" : "makeNoneCurrent")) return false;
  current = context;
  return true;
}

void VirtualWindowBackend::deleteContext(ContextHandle) { calls.emplace_back("deleteContext"); }

void VirtualWindowBackend::showWindow(WindowHandle) { calls.emplace_back("showWindow"); }

bool VirtualWindowBackend::peekMessage(WindowMessage& message) {
  if (queue.empty()) return false;
  message = queue.front();
  queue.pop_front();
  return true;
}

void VirtualWindowBackend::dispatchMessage(const WindowMessage& message) {
  if (procedure) procedure(message);
}

intptr_t VirtualWindowBackend::defaultWindowProc(const WindowMessage& message) {
  defaultHandled.push_back(message);
  return 0;
}

void VirtualWindowBackend::postQuitMessage() { queue.push_back({MessageType::Quit, 0, nullptr}); }

void VirtualWindowBackend::swapBuffers(DeviceHandle) { ++swaps; }

void VirtualWindowBackend::showWarning(const char* text) { warnings.emplace_back(text); }

intptr_t VirtualWindowBackend::dialogBoxParam(int dialogId, DialogProcedure dialogProcedure, void* initParam) {
  calls.emplace_back("dialogBoxParam");
  lastDialogId = dialogId;
  if (dialogScripts.empty()) return -1;
  shownDialog = dialogScripts.front();
  dialogScripts.pop_front();
  ++dialogsShown;
  dialogEnded = false;
  endResult = 0;
  constexpr DialogHandle kDialog = 77;
  dialogProcedure(kDialog, DialogMessage{DialogMessageType::InitDialog, 0, initParam});
  dialogProcedure(kDialog, DialogMessage{DialogMessageType::Command, shownDialog.press, nullptr});
  return endResult;
}

bool VirtualWindowBackend::isDlgButtonChecked(DialogHandle, int controlId) {
  const auto& checked = shownDialog.checked;
  return std::find(checked.begin(), checked.end(), controlId) != checked.end();
}

void VirtualWindowBackend::endDialog(DialogHandle, intptr_t result) {
  dialogEnded = true;
  endResult = result;
}
