// Display mode, window, device context, pixel format, WGL context and presentation on Win32,
// GDI and WGL, each a single system call. Results are passed on as the system gives them.

#include <windows.h>

#include "Platform/win32/Win32WindowBackend.h"

namespace {
HWND hwndOf(WindowHandle window) { return reinterpret_cast<HWND>(window); }
HDC hdcOf(DeviceHandle dc) { return reinterpret_cast<HDC>(dc); }

PIXELFORMATDESCRIPTOR nativeDescriptor(const PixelFormatDescriptor& request) {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = request.size;
  pfd.nVersion = request.version;
  pfd.dwFlags = request.flags;
  pfd.iPixelType = request.pixelType;
  pfd.cColorBits = request.colorBits;
  pfd.cAlphaBits = request.alphaBits;
  pfd.cAccumBits = request.accumBits;
  pfd.cDepthBits = request.depthBits;
  pfd.cStencilBits = request.stencilBits;
  pfd.cAuxBuffers = request.auxBuffers;
  pfd.iLayerType = request.layerType;
  return pfd;
}
}  // namespace

bool Win32WindowBackend::changeDisplayMode(const DisplayMode* mode) {
  if (!mode) return ChangeDisplaySettingsA(nullptr, 0) == DISP_CHANGE_SUCCESSFUL;
  // The record is cleared in full; its size field says which layout the caller filled.
  DEVMODEA record{};
  record.dmSize = static_cast<WORD>(mode->size);
  record.dmFields = mode->fields;
  record.dmBitsPerPel = mode->bitsPerPel;
  record.dmPelsWidth = mode->pelsWidth;
  record.dmPelsHeight = mode->pelsHeight;
  return ChangeDisplaySettingsA(&record, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void Win32WindowBackend::showCursor(bool show) { ShowCursor(show ? TRUE : FALSE); }

bool Win32WindowBackend::adjustWindowRect(WindowRect& rect, uint32_t style, uint32_t exStyle) {
  RECT r{rect.left, rect.top, rect.right, rect.bottom};
  if (!AdjustWindowRectEx(&r, style, FALSE, exStyle)) return false;
  rect = WindowRect{r.left, r.top, r.right, r.bottom};
  return true;
}

int Win32WindowBackend::screenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int Win32WindowBackend::screenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

WindowHandle Win32WindowBackend::createWindow(uint32_t exStyle, const char* className, const char* title,
                                              uint32_t style, int x, int y, int width, int height,
                                              void* createParam) {
  const HWND window = CreateWindowExA(exStyle, className, title, style, x, y, width, height, nullptr, nullptr,
                                      reinterpret_cast<HINSTANCE>(hinstance), createParam);
  return reinterpret_cast<WindowHandle>(window);
}

void Win32WindowBackend::destroyWindow(WindowHandle window) { DestroyWindow(hwndOf(window)); }

DeviceHandle Win32WindowBackend::getDC(WindowHandle window) {
  return reinterpret_cast<DeviceHandle>(GetDC(hwndOf(window)));
}

void Win32WindowBackend::releaseDC(WindowHandle window, DeviceHandle dc) { ReleaseDC(hwndOf(window), hdcOf(dc)); }

int Win32WindowBackend::choosePixelFormat(DeviceHandle dc, const PixelFormatDescriptor& request) {
  const PIXELFORMATDESCRIPTOR pfd = nativeDescriptor(request);
  return ChoosePixelFormat(hdcOf(dc), &pfd);
}

bool Win32WindowBackend::describePixelFormat(DeviceHandle dc, int format, uint32_t& flags) {
  PIXELFORMATDESCRIPTOR pfd{};
  flags = 0;
  if (!DescribePixelFormat(hdcOf(dc), format, sizeof pfd, &pfd)) return false;
  flags = pfd.dwFlags;
  return true;
}

bool Win32WindowBackend::setPixelFormat(DeviceHandle dc, int format, const PixelFormatDescriptor& request) {
  const PIXELFORMATDESCRIPTOR pfd = nativeDescriptor(request);
  return SetPixelFormat(hdcOf(dc), format, &pfd) != FALSE;
}

ContextHandle Win32WindowBackend::createContext(DeviceHandle dc) {
  return reinterpret_cast<ContextHandle>(wglCreateContext(hdcOf(dc)));
}

bool Win32WindowBackend::makeCurrent(DeviceHandle dc, ContextHandle context) {
  return wglMakeCurrent(hdcOf(dc), reinterpret_cast<HGLRC>(context)) != FALSE;
}

void Win32WindowBackend::deleteContext(ContextHandle context) { wglDeleteContext(reinterpret_cast<HGLRC>(context)); }

void Win32WindowBackend::showWindow(WindowHandle window) {
  ShowWindow(hwndOf(window), SW_SHOW);
  SetForegroundWindow(hwndOf(window));
  SetFocus(hwndOf(window));
}

void Win32WindowBackend::swapBuffers(DeviceHandle dc) { SwapBuffers(hdcOf(dc)); }
