// The window of the web backend: the page's canvas (#canvas, Module.canvas), sized to the chosen
// client size, with a WebGL context made through the browser's EGL, which also starts the legacy
// GL emulation the intro's immediate mode and vertex arrays run on. The browser presents the
// canvas when a frame's callback returns, so the swap has nothing left to do.

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include "Platform/web/WebWindowBackend.h"

namespace {
constexpr WindowHandle kWindowToken = 1;
constexpr DeviceHandle kDeviceToken = 2;
constexpr const char* kCanvas = "#canvas";

EM_JS(void, pageSetTitle, (const char* title), { document.title = UTF8ToString(title); });

EM_JS(void, pageShowCursor, (int show), {
  if (Module.canvas) Module.canvas.style.cursor = show ? "" : "none";
});

EM_JS(void, pageFocusCanvas, (), {
  if (Module.canvas) {
    Module.canvas.style.display = "";
    Module.canvas.focus();
  }
});

// Full screen is the browser's: the canvas asks for it (which the browser grants only inside a
// user's gesture, such as the Start button's click that runs the program) and keeps its drawing
// size, scaled by the page to fill the screen. The answer comes later; a refusal leaves the
// canvas in the page.
EM_JS(int, pageEnterFullscreen, (), {
  var canvas = Module.canvas;
  if (!canvas || !canvas.requestFullscreen || !document.fullscreenEnabled) return 0;
  Module.fullscreenRequested = true;
  console.log('brackenfold: full screen requested');
  canvas.requestFullscreen().then(function() { console.log('brackenfold: full screen entered'); },
                                  function(e) { console.warn('brackenfold: full screen refused: ' + e); });
  return 1;
});

EM_JS(void, pageLeaveFullscreen, (), {
  if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(function() {});
});

EM_JS(int, pageScreenWidth, (), { return window.screen.width | 0; });
EM_JS(int, pageScreenHeight, (), { return window.screen.height | 0; });
}  // namespace

WebWindowBackend::WebWindowBackend() = default;

// A page cannot switch the screen's mode, but it can show the canvas on the whole screen.
bool WebWindowBackend::changeDisplayMode(const DisplayMode* mode) {
  if (!mode) {
    fullscreen = false;
    pageLeaveFullscreen();
    return true;
  }
  fullscreen = pageEnterFullscreen() != 0;
  return fullscreen;
}

void WebWindowBackend::leftFullscreen() {
  if (!fullscreen) return;
  fullscreen = false;
  if (windowExists) queue({MessageType::Close, 0, nullptr});
}

void WebWindowBackend::showCursor(bool show) { pageShowCursor(show ? 1 : 0); }

// The canvas is the client area; the page draws no frame around it.
bool WebWindowBackend::adjustWindowRect(WindowRect&, uint32_t, uint32_t) { return true; }

int WebWindowBackend::screenWidth() { return pageScreenWidth(); }
int WebWindowBackend::screenHeight() { return pageScreenHeight(); }

WindowHandle WebWindowBackend::createWindow(uint32_t, const char*, const char* title, uint32_t, int, int, int width,
                                            int height, void* createParam) {
  if (!registered || windowExists || width <= 0 || height <= 0) return 0;
  if (emscripten_set_canvas_element_size(kCanvas, width, height) != EMSCRIPTEN_RESULT_SUCCESS) return 0;
  windowExists = true;
  pageSetTitle(title);
  if (procedure) procedure(WindowMessage{MessageType::Create, 0, createParam});
  return kWindowToken;
}

void WebWindowBackend::destroyWindow(WindowHandle) {
  if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
  surface = EGL_NO_SURFACE;
  windowExists = false;
  formatSet = false;
}

DeviceHandle WebWindowBackend::getDC(WindowHandle window) {
  return window == kWindowToken && windowExists ? kDeviceToken : 0;
}

void WebWindowBackend::releaseDC(WindowHandle, DeviceHandle) {}

int WebWindowBackend::choosePixelFormat(DeviceHandle dc, const PixelFormatDescriptor& request) {
  if (dc != kDeviceToken) return 0;
  if (display == EGL_NO_DISPLAY) {
    display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
      display = EGL_NO_DISPLAY;
      return 0;
    }
  }
  const EGLint attributes[] = {EGL_RED_SIZE,   8,
                               EGL_GREEN_SIZE, 8,
                               EGL_BLUE_SIZE,  8,
                               EGL_ALPHA_SIZE, request.alphaBits,
                               EGL_DEPTH_SIZE, request.depthBits,
                               EGL_STENCIL_SIZE, request.stencilBits,
                               EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) return 0;
  return 1;
}

// WebGL draws on the graphics hardware (or the browser's own fallback): a driver's format.
bool WebWindowBackend::describePixelFormat(DeviceHandle dc, int format, uint32_t& flags) {
  flags = 0;
  return dc == kDeviceToken && format == 1;
}

bool WebWindowBackend::setPixelFormat(DeviceHandle dc, int format, const PixelFormatDescriptor&) {
  if (dc != kDeviceToken || format != 1 || formatSet) return false;
  surface = eglCreateWindowSurface(display, config, 0, nullptr);
  formatSet = surface != EGL_NO_SURFACE;
  return formatSet;
}

ContextHandle WebWindowBackend::createContext(DeviceHandle dc) {
  if (dc != kDeviceToken || !formatSet) return 0;
  // WebGL 1, the version the legacy GL emulation runs on.
  const EGLint attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
  return context == EGL_NO_CONTEXT ? 0 : reinterpret_cast<ContextHandle>(context);
}

bool WebWindowBackend::makeCurrent(DeviceHandle dc, ContextHandle context) {
  if (display == EGL_NO_DISPLAY) return context == 0;
  if (!context) return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
  if (dc != kDeviceToken || surface == EGL_NO_SURFACE) return false;
  return eglMakeCurrent(display, surface, surface, reinterpret_cast<EGLContext>(context)) == EGL_TRUE;
}

void WebWindowBackend::deleteContext(ContextHandle context) {
  if (context && display != EGL_NO_DISPLAY) eglDestroyContext(display, reinterpret_cast<EGLContext>(context));
}

void WebWindowBackend::showWindow(WindowHandle) { pageFocusCanvas(); }

void WebWindowBackend::swapBuffers(DeviceHandle) {}

WindowBackend& platformWindowBackend() {
  static WebWindowBackend backend;
  return backend;
}

// A page always draws into its canvas; capture runs have no meaning here.
void platformPreferOffscreen() {}

bool platformHasDisplay(std::string&) { return true; }

// The page's form stands for the dialog.
bool platformCanShowDialog() { return true; }
