// The window backend on Linux, on SDL's video: window classes as a table of procedures, one
// window with its GL context (the pixel format as SDL's GL attributes, a software renderer
// reported as unaccelerated), the display mode for full screen, the icon from the resources,
// SDL's events turned into the window messages the frame handles (quit, close, size, focus,
// keys), and the swap, with a fence where an offscreen surface would not wait. Leaves out:
// window styles and frames (the window manager draws those), more than one window, mouse
// messages; message boxes and the options dialog are FltkDialog.cpp's.
#include "Platform/sdl/SdlWindowBackend.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Base/ResourceTable.h"
#include "Platform/sdl/FltkDialog.h"

namespace {
constexpr WindowHandle kWindowToken = 1;
constexpr DeviceHandle kDeviceToken = 2;

// A renderer that draws on the CPU: what Windows reports as a generic format without acceleration.
bool isSoftwareRenderer(const char* renderer) {
  if (!renderer) return true;
  for (const char* name : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "GDI Generic"})
    if (std::strstr(renderer, name)) return true;
  return false;
}

// The video driver in use, or before video is up (and after the teardown has shut it) the one
// asked for: SDL_VIDEODRIVER or the capture's hint; null when none is asked for.
const char* videoDriver() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return SDL_GetCurrentVideoDriver();
  return SDL_GetHint(SDL_HINT_VIDEODRIVER);
}

// Drivers that draw into memory and show nothing on any screen.
bool headless() {
  const char* driver = videoDriver();
  return driver && (std::strstr(driver, "offscreen") || std::strstr(driver, "dummy"));
}

// The window icon: resource `number` of type "ICONRGBA", 32 x 32 pixels of R, G, B, A bytes, top
// row first (the .ico of the Windows build holds the same picture). Like a class without an
// icon on Windows, a missing one leaves the default, silently.
void setWindowIcon(SDL_Window* window, int number) {
  for (unsigned i = 0; number > 0 && i < kResourceCount; ++i) {
    const ResourceEntry& entry = kResourceTable[i];
    if (entry.number != number || std::strcmp(entry.type, "ICONRGBA") != 0 || entry.size != 32 * 32 * 4) continue;
    // SDL copies the pixels; the surface only borrows the read-only bytes for the call.
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char*>(entry.bytes), 32, 32, 32,
                                                           32 * 4, SDL_PIXELFORMAT_RGBA32);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
    return;
  }
}

// An X server may hang up on a connection that comes just as another client's goes (Xvfb here
// did, 1 to 12 times in 100): a few tries, a moment apart.
bool initVideo() {
  for (int attempt = 0;; ++attempt) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    if (attempt == 4) return false;
    SDL_Delay(20);
  }
}
}  // namespace

bool SdlWindowBackend::registerClass(const char* name, uint32_t, WindowProcedure proc, int icon) {
  if (registered) return false;
  if (!initVideo()) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    return false;
  }
  registered = true;
  className = name;
  procedure = proc;
  iconId = icon;
  return true;
}

bool SdlWindowBackend::unregisterClass(const char* name) {
  if (!registered || className != name) return false;
  registered = false;
  procedure = nullptr;
  posted.clear();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return true;
}

bool SdlWindowBackend::changeDisplayMode(const DisplayMode* request) {
  if (!request) {
    fullscreenMode = false;
    if (sdlWindow) SDL_SetWindowFullscreen(sdlWindow, 0);
    return true;
  }
  SDL_DisplayMode want{};
  want.w = static_cast<int>(request->pelsWidth);
  want.h = static_cast<int>(request->pelsHeight);
  SDL_DisplayMode closest{};
  if (!SDL_GetClosestDisplayMode(0, &want, &closest) || closest.w != want.w || closest.h != want.h) return false;
  mode = closest;
  fullscreenMode = true;
  return true;
}

void SdlWindowBackend::showCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

// SDL sizes a window by its client area and leaves the frame to the window manager, so the
// outer rectangle is the client rectangle.
bool SdlWindowBackend::adjustWindowRect(WindowRect&, uint32_t, uint32_t) { return true; }

int SdlWindowBackend::screenWidth() {
  SDL_DisplayMode desktop{};
  return SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? desktop.w : 0;
}

int SdlWindowBackend::screenHeight() {
  SDL_DisplayMode desktop{};
  return SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? desktop.h : 0;
}

WindowHandle SdlWindowBackend::createWindow(uint32_t, const char*, const char* windowTitle, uint32_t style, int wx,
                                            int wy, int w, int h, void* createParam) {
  if (!registered || windowRecorded || w <= 0 || h <= 0) return 0;
  windowRecorded = true;
  title = windowTitle;
  x = wx;
  y = wy;
  width = w;
  height = h;
  popup = style & win::kWsPopup;
  if (procedure) procedure(WindowMessage{MessageType::Create, 0, createParam});
  return kWindowToken;
}

void SdlWindowBackend::destroyWindow(WindowHandle) {
  forgetFrameFence();
  if (probeContext) {
    SDL_GL_DeleteContext(probeContext);
    probeContext = nullptr;
  }
  if (sdlWindow) {
    SDL_DestroyWindow(sdlWindow);
    sdlWindow = nullptr;
  }
  windowRecorded = false;
  formatSet = false;
}

DeviceHandle SdlWindowBackend::getDC(WindowHandle window) {
  return window == kWindowToken && windowRecorded ? kDeviceToken : 0;
}

void SdlWindowBackend::releaseDC(WindowHandle, DeviceHandle) {}

int SdlWindowBackend::choosePixelFormat(DeviceHandle dc, const PixelFormatDescriptor& request) {
  if (dc != kDeviceToken || sdlWindow) return 0;
  SDL_GL_ResetAttributes();
  const bool highColour = request.colorBits <= 16;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, highColour ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, highColour ? 6 : 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, highColour ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, request.alphaBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, request.depthBits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, request.stencilBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (request.flags & win::kPfdDoubleBuffer) ? 1 : 0);

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (popup && fullscreenMode) flags |= SDL_WINDOW_FULLSCREEN;
  sdlWindow = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
  offscreen = headless();
  if (!sdlWindow) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    return 0;
  }
  if (popup && fullscreenMode) SDL_SetWindowDisplayMode(sdlWindow, &mode);
  setWindowIcon(sdlWindow, iconId);
  // Whether the format is drawn by hardware is known only from a context made with it.
  probeContext = SDL_GL_CreateContext(sdlWindow);
  if (!probeContext) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    SDL_DestroyWindow(sdlWindow);
    sdlWindow = nullptr;
    return 0;
  }
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  formatFlags = isSoftwareRenderer(renderer) ? win::kPfdGenericFormat : 0;
  SDL_GL_MakeCurrent(sdlWindow, nullptr);
  return 1;
}

bool SdlWindowBackend::describePixelFormat(DeviceHandle dc, int format, uint32_t& flags) {
  flags = 0;
  if (dc != kDeviceToken || format != 1 || !sdlWindow) return false;
  flags = formatFlags;
  return true;
}

bool SdlWindowBackend::setPixelFormat(DeviceHandle dc, int format, const PixelFormatDescriptor&) {
  if (dc != kDeviceToken || format != 1 || !sdlWindow || formatSet) return false;
  formatSet = true;
  return true;
}

ContextHandle SdlWindowBackend::createContext(DeviceHandle dc) {
  if (dc != kDeviceToken || !formatSet) return 0;
  SDL_GLContext context = probeContext ? probeContext : SDL_GL_CreateContext(sdlWindow);
  probeContext = nullptr;
  return reinterpret_cast<ContextHandle>(context);
}

bool SdlWindowBackend::makeCurrent(DeviceHandle dc, ContextHandle context) {
  if (!sdlWindow) return context == 0;
  if (context && dc != kDeviceToken) return false;
  return SDL_GL_MakeCurrent(sdlWindow, reinterpret_cast<SDL_GLContext>(context)) == 0;
}

void SdlWindowBackend::deleteContext(ContextHandle context) {
  forgetFrameFence();
  if (context) SDL_GL_DeleteContext(reinterpret_cast<SDL_GLContext>(context));
}

void SdlWindowBackend::showWindow(WindowHandle) {
  if (!sdlWindow) return;
  SDL_ShowWindow(sdlWindow);
  SDL_RaiseWindow(sdlWindow);
}

bool SdlWindowBackend::peekMessage(WindowMessage& message) {
  if (!posted.empty()) {
    message = posted.front();
    posted.pop_front();
    return true;
  }
  if (!registered) return false;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        message = {MessageType::Close, 0, nullptr};
        return true;
      case SDL_WINDOWEVENT:
        switch (event.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            message = {MessageType::Close, 0, nullptr};
            return true;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            message = {MessageType::Size, 0, nullptr};
            return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
          case SDL_WINDOWEVENT_FOCUS_LOST:
            message = {MessageType::Activate, 0, nullptr};
            return true;
          default:
            break;
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (int vk = virtualKeyOf(event.key.keysym.sym)) {
          message = {event.type == SDL_KEYDOWN ? MessageType::KeyDown : MessageType::KeyUp,
                     static_cast<uint32_t>(vk), nullptr};
          return true;
        }
        break;
      default:
        break;
    }
  }
  return false;
}

void SdlWindowBackend::dispatchMessage(const WindowMessage& message) {
  if (procedure) procedure(message);
}

intptr_t SdlWindowBackend::defaultWindowProc(const WindowMessage&) { return 0; }

void SdlWindowBackend::postQuitMessage() { posted.push_back({MessageType::Quit, 0, nullptr}); }

void SdlWindowBackend::swapBuffers(DeviceHandle dc) {
  if (dc != kDeviceToken || !sdlWindow) return;
  SDL_GL_SwapWindow(sdlWindow);
  if (offscreen) boundFrameQueue();
}

// An offscreen surface's swap shows nothing and so waits for nothing: a renderer that draws on
// the CPU falls ever further behind the frames the loop hands it (a 12 s run took up to 19 s,
// with single frames of seconds). Each present lets one frame be in flight: it waits until the
// frame before it is drawn, which keeps the renderer busy while the next frame is built (that
// measured better than finishing every frame at its present, which is what a context without
// fences does).
void SdlWindowBackend::boundFrameQueue() {
  if (frameWait == FrameWait::Unknown) {
    frameWait = FrameWait::Finish;
    if (SDL_GL_ExtensionSupported("GL_ARB_sync")) {
      fenceSync = reinterpret_cast<decltype(fenceSync)>(SDL_GL_GetProcAddress("glFenceSync"));
      clientWaitSync = reinterpret_cast<decltype(clientWaitSync)>(SDL_GL_GetProcAddress("glClientWaitSync"));
      deleteSync = reinterpret_cast<decltype(deleteSync)>(SDL_GL_GetProcAddress("glDeleteSync"));
      if (fenceSync && clientWaitSync && deleteSync) frameWait = FrameWait::Fence;
    }
  }
  if (frameWait == FrameWait::Finish) {
    glFinish();
    return;
  }
  constexpr unsigned kGpuCommandsComplete = 0x9117, kFlushCommands = 0x1;
  if (frameFence) {
    clientWaitSync(frameFence, kFlushCommands, ~uint64_t{0});
    deleteSync(frameFence);
  }
  frameFence = fenceSync(kGpuCommandsComplete, 0);
}

// The fence goes with its context.
void SdlWindowBackend::forgetFrameFence() {
  frameFence = nullptr;
  frameWait = FrameWait::Unknown;
}

// A modal box wherever there is a display, whether SDL's video is up or not (the teardown before
// the software-format warning has just shut it): FLTK's, drawn like the options dialog, where
// there is an X display; SDL's elsewhere (SDL's own X11 box needs the server's core fonts, which
// many servers lack). A headless run may still have a display around, but nobody is looking at
// it: it does not block on a box. Without a box the text goes to stderr.
void SdlWindowBackend::showWarning(const char* text) {
  if (!headless() && (fltk_dialog::showWarning(text) ||
                      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, "Warning", text, nullptr) == 0))
    return;
  std::fprintf(stderr, "Warning: %s\n", text);
}

intptr_t SdlWindowBackend::dialogBoxParam(int dialogId, DialogProcedure dialogProcedure, void* initParam) {
  return fltk_dialog::run(dialogId, dialogProcedure, initParam, error);
}

bool SdlWindowBackend::isDlgButtonChecked(DialogHandle dialog, int controlId) {
  return fltk_dialog::isChecked(dialog, controlId);
}

void SdlWindowBackend::endDialog(DialogHandle dialog, intptr_t result) { fltk_dialog::end(dialog, result); }

int virtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + (key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + (key - SDLK_KP_1);
  switch (key) {
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 0x0D;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_LALT: case SDLK_RALT: return 0x12;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_KP_0: return 0x60;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    default: return 0;
  }
}

WindowBackend& platformWindowBackend() {
  static SdlWindowBackend backend;
  return backend;
}

// Without a display SDL falls back on its offscreen driver, whose software renderer the intro
// refuses again and again; a driver the user asked for is taken at its word.
bool platformHasDisplay(std::string& why) {
  if (SDL_GetHint(SDL_HINT_VIDEODRIVER)) return true;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  return false;
}

bool platformCanShowDialog() { return !headless() || fltk_dialog::canShow(); }

void platformPreferOffscreen() {
  // An explicit SDL_VIDEODRIVER in the environment still wins over this hint.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
}
