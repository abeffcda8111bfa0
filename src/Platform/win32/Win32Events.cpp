// The window class with its procedure and the message pump on Win32. The native procedure turns
// each message into the engine's terms and hands it to the engine's procedure; whatever that
// leaves to the default comes back through defaultWindowProc with the native payload intact.

#include <windows.h>

#include <limits>

#include "Base/LogFile.h"
#include "Platform/win32/Win32WindowBackend.h"

namespace {
// One class at a time (the GL frame registers one per window), so one engine procedure.
WindowProcedure engineProcedure = nullptr;
// The message last removed by peekMessage, kept whole (time, cursor position) for dispatch.
MSG peeked{};

LRESULT CALLBACK nativeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!engineProcedure) return DefWindowProcA(window, message, wParam, lParam);
  return engineProcedure(Win32WindowBackend::translate(reinterpret_cast<uintptr_t>(window), message, wParam, lParam));
}

bool samePayload(const NativeMessage& native, const MSG& msg) {
  return native.window == reinterpret_cast<uintptr_t>(msg.hwnd) && native.message == msg.message &&
         native.wParam == msg.wParam && native.lParam == msg.lParam;
}
}  // namespace

WindowMessage Win32WindowBackend::translate(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // A key code that does not fit stays out of range instead of wrapping into the key table.
  const uint32_t param = wParam > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                      : static_cast<uint32_t>(wParam);
  WindowMessage out{MessageType::Other, 0, nullptr, NativeMessage{window, message, wParam, lParam}};
  switch (message) {
    case WM_CREATE:
      out.type = MessageType::Create;
      out.createParam = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
      break;
    case WM_CLOSE: out.type = MessageType::Close; break;
    case WM_QUIT: out.type = MessageType::Quit; break;
    case WM_SIZE: out.type = MessageType::Size; break;
    case WM_ACTIVATE: out.type = MessageType::Activate; break;
    case WM_KEYDOWN:
      out.type = MessageType::KeyDown;
      out.param = param;
      break;
    case WM_KEYUP:
      out.type = MessageType::KeyUp;
      out.param = param;
      break;
    case WM_SYSCOMMAND:
      // The system uses the low four bits of the command itself.
      out.type = MessageType::SysCommand;
      out.param = param & 0xFFF0u;
      break;
    default:
      break;
  }
  return out;
}

bool Win32WindowBackend::registerClass(const char* name, uint32_t style, WindowProcedure procedure, int iconId) {
  hinstance = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  TAV_ASSERT(this->hinstance);
  const HINSTANCE module = reinterpret_cast<HINSTANCE>(hinstance);
  WNDCLASSA windowClass{};
  windowClass.style = style;
  windowClass.lpfnWndProc = &nativeProcedure;
  windowClass.hInstance = module;
  windowClass.hIcon = iconId ? LoadIconA(module, MAKEINTRESOURCEA(iconId)) : nullptr;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.lpszClassName = name;
  if (!RegisterClassA(&windowClass)) return false;
  engineProcedure = procedure;
  return true;
}

bool Win32WindowBackend::unregisterClass(const char* name) {
  if (!UnregisterClassA(name, reinterpret_cast<HINSTANCE>(hinstance))) return false;
  engineProcedure = nullptr;
  return true;
}

bool Win32WindowBackend::peekMessage(WindowMessage& message) {
  // Every message of the thread: the quit message belongs to no window.
  if (!PeekMessageA(&peeked, nullptr, 0, 0, PM_REMOVE)) return false;
  message = translate(reinterpret_cast<uintptr_t>(peeked.hwnd), peeked.message, peeked.wParam, peeked.lParam);
  return true;
}

void Win32WindowBackend::dispatchMessage(const WindowMessage& message) {
  if (samePayload(message.native, peeked)) {
    TranslateMessage(&peeked);
    DispatchMessageA(&peeked);
    return;
  }
  const NativeMessage& native = message.native;
  if (native.window || native.message) {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(native.window);
    msg.message = native.message;
    msg.wParam = native.wParam;
    msg.lParam = native.lParam;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return;
  }
  // The engine's own messages (a close it asks for) go straight to its procedure.
  if (engineProcedure) engineProcedure(message);
}

intptr_t Win32WindowBackend::defaultWindowProc(const WindowMessage& message) {
  const NativeMessage& native = message.native;
  if (!native.window) return 0;
  return DefWindowProcA(reinterpret_cast<HWND>(native.window), native.message, native.wParam, native.lParam);
}

void Win32WindowBackend::postQuitMessage() { PostQuitMessage(0); }

WindowBackend& platformWindowBackend() {
  static Win32WindowBackend backend;
  return backend;
}

// Win32 has no window system without a screen: capture runs draw into a visible window and
// read the frames back from it.
void platformPreferOffscreen() {}

// A Windows session always has a desktop to open windows on.
bool platformHasDisplay(std::string&) { return true; }

// The system's dialog manager shows it wherever the program runs.
bool platformCanShowDialog() { return true; }
