#include "GLServer/GLWindow.h"

#include "Base/LogFile.h"
#include "GLServer/GLServer.h"

namespace {
// The window procedure learns its window at Create; only one window exists at a time. What comes
// before Create (a native system sends several messages first, and creation fails unless the
// default procedure answers them) goes to the default procedure of the backend creating it.
GLWindow* procedureWindow = nullptr;
WindowBackend* procedureBackend = nullptr;
}  // namespace

GLWindow::GLWindow(GLServer* gls, const char* title, int iconId) {
  TAV_ASSERT(gls);
  GLServer* server = gls;
  backend = &server->backend;
  quitRequested = 0;
  settings = WindowSettings{};
  this->title = title;
  this->iconId = iconId;
  this->server = server;
  server->fullscreen = 0;
}

// The server may go while its window still exists (an early return that never reached the
// teardown): from then on the window's messages go to the default procedure.
GLWindow::~GLWindow() {
  if (procedureWindow == this) procedureWindow = nullptr;
}

int GLWindow::showOptionsDialog(int dialogId) {
  OptionsDialog* dialog = server->optionsDialog ? server->optionsDialog : &server->platformDialog;
  OptionsChoice choice;
  switch (dialog->run(dialogId, choice)) {
    case OptionsDialog::Result::CannotShow:
      backend->showWarning("Can't show DialogBox");
      return dialog->lastError();
    case OptionsDialog::Result::Cancel:
      quitRequested = 1;
      return 0;
    case OptionsDialog::Result::Ok:
      break;
  }
  server->fullscreen = choice.fullscreen ? 1 : 0;
  server->width = settings.width = choice.width;
  server->height = settings.height = choice.height;
  settings.colourBits = choice.colourBits;
  settings.stencilBits = choice.stencilBits;
  return 0;
}

bool GLWindow::fail(const char* text) {
  backend->showWarning(text);
  releaseAfterFailedCreate();
  return false;
}

// A failed step leaves what the steps before it acquired; create can only succeed from a clean
// state, so release it all (quietly: the message box has told the user) before the dialog
// comes back.
void GLWindow::releaseAfterFailedCreate() {
  if (rc) {
    backend->makeCurrent(0, 0);
    backend->deleteContext(rc);
    rc = 0;
  }
  if (dc) {
    backend->releaseDC(window, dc);
    dc = 0;
  }
  if (window) {
    backend->destroyWindow(window);
    window = 0;
    if (procedureWindow == this) procedureWindow = nullptr;
  }
  if (modeSwitched) {
    backend->changeDisplayMode(nullptr);
    backend->showCursor(true);
    modeSwitched = false;
  }
  if (classRegistered) {
    backend->unregisterClass(title);
    classRegistered = false;
  }
}

bool GLWindow::create() {
  rect = WindowRect{0, 0, settings.width, settings.height};
  procedureBackend = backend;
  if (!backend->registerClass(title, win::kClassStyleRedrawOwnDC, &GLWindow::windowProcedure, iconId)) {
    backend->showWarning("Can't register window class");
    return false;
  }
  classRegistered = true;

  if (!server->fullscreen || !enterFullscreen()) useWindowedStyle();

  if (!backend->adjustWindowRect(rect, style, exStyle)) return fail("Can't adjust WindoRec");

  const int x = (backend->screenWidth() + rect.left - rect.right) / 2;
  const int y = (backend->screenHeight() + rect.top - rect.bottom) / 2;
  window = backend->createWindow(exStyle, title, title, style | win::kWsClipChildrenSiblings, x, y,
                                 rect.right - rect.left, rect.bottom - rect.top, this);
  if (!window) return fail("Can't create window");

  dc = backend->getDC(window);
  if (!dc) return fail("Can't get DeviceContext");

  if (!choosePixelFormat()) {
    releaseAfterFailedCreate();
    return false;
  }
  if (!backend->setPixelFormat(dc, pixelFormat, pfd)) return fail("Can't set pixel format");

  rc = backend->createContext(dc);
  if (!rc) return fail("Can't create wgl DeviceContext");
  if (!backend->makeCurrent(dc, rc)) return fail("Can't make the wgl rendering context");

  backend->showWindow(window);
  return true;
}

bool GLWindow::enterFullscreen() {
  displayMode = DisplayMode{};
  displayMode.size = 148;
  displayMode.fields = win::kDmFieldsModeSize;
  displayMode.pelsWidth = static_cast<uint32_t>(settings.width);
  displayMode.pelsHeight = static_cast<uint32_t>(settings.height);
  displayMode.bitsPerPel = static_cast<uint32_t>(settings.colourBits);
  if (!backend->changeDisplayMode(&displayMode)) {
    logPrint("Can't set fullscreen, falling back to windowed mode");
    server->fullscreen = 0;
    return false;
  }
  exStyle = win::kWsExAppWindow;
  style = win::kWsPopup;
  backend->showCursor(false);
  modeSwitched = true;
  return true;
}

void GLWindow::useWindowedStyle() {
  exStyle = win::kWsExAppWindowEdge;
  style = win::kWsOverlappedWindow;
  server->fullscreen = 0;
}

bool GLWindow::choosePixelFormat() {
  pfd = PixelFormatDescriptor{};
  pfd.size = 40;
  pfd.version = 1;
  pfd.flags = win::kPfdDrawToWindow | win::kPfdSupportOpenGL | win::kPfdDoubleBuffer;
  pfd.pixelType = win::kPfdTypeRgba;
  pfd.colorBits = static_cast<uint8_t>(settings.colourBits);
  pfd.depthBits = static_cast<uint8_t>(settings.depthBits);
  pfd.stencilBits = static_cast<uint8_t>(settings.stencilBits);
  pfd.auxBuffers = static_cast<uint8_t>(settings.auxBuffers);
  pfd.layerType = win::kPfdMainPlane;

  pixelFormat = backend->choosePixelFormat(dc, pfd);
  if (pixelFormat == 0) {
    backend->showWarning("Can't choose Pixel Format\n");
    return false;
  }
  // A format that cannot be described cannot be judged either: no format was chosen.
  uint32_t flags = 0;
  if (!backend->describePixelFormat(dc, pixelFormat, flags)) {
    backend->showWarning("Can't choose Pixel Format\n");
    return false;
  }
  const bool generic = flags & win::kPfdGenericFormat;
  const bool accelerated = flags & win::kPfdGenericAccelerated;
  if (generic == accelerated) return true;
  if (generic) {
    if (server->acceptSoftware) return true;
    server->softwareRefused = true;
    destroy();
    backend->showWarning("The options you choosed are not hardware accelerated by your GFX Card");
  }
  return false;
}

void GLWindow::requestClose() {
  if (window) backend->dispatchMessage(WindowMessage{MessageType::Close, 0, nullptr});
}

bool GLWindow::update() {
  quitRequested = 0;
  WindowMessage message;
  while (backend->peekMessage(message)) {
    if (message.type == MessageType::Quit)
      quitRequested = 1;
    else
      backend->dispatchMessage(message);
  }
  if (keyDown[win::kVkEscape] == 1) quitRequested = 1;
  if (quitRequested) {
    destroy();
    return true;
  }
  backend->swapBuffers(dc);
  return false;
}

void GLWindow::destroy() {
  if (window) {
    if (dc) {
      backend->makeCurrent(0, 0);
      if (rc) {
        backend->deleteContext(rc);
        rc = 0;
      } else {
        TAV_WARN("Can't Delete Context");
      }
      backend->releaseDC(window, dc);
      dc = 0;
    } else {
      TAV_WARN("Cant't Release DC");
    }
    backend->destroyWindow(window);
    window = 0;
    // The window is gone (its last messages answered): this object may go too.
    if (procedureWindow == this) procedureWindow = nullptr;
  } else {
    TAV_WARN("Can't destroy window");
  }
  if (server->fullscreen) {
    backend->changeDisplayMode(nullptr);
    backend->showCursor(true);
  }
  modeSwitched = false;
  if (!backend->unregisterClass(title)) TAV_WARN("Can't unregister class");
  classRegistered = false;
}

intptr_t GLWindow::windowProcedure(const WindowMessage& message) {
  if (message.type == MessageType::Create) {
    procedureWindow = static_cast<GLWindow*>(message.createParam);
    return 1;
  }
  GLWindow* self = procedureWindow;
  if (!self) return procedureBackend ? procedureBackend->defaultWindowProc(message) : 0;
  switch (message.type) {
    case MessageType::Close:
      self->backend->postQuitMessage();
      return 0;
    case MessageType::Size:
    case MessageType::Activate:
      return 0;
    case MessageType::KeyDown:
      if (message.param < 256) self->keyDown[message.param] = 1;
      return 0;
    case MessageType::KeyUp:
      if (message.param < 256) self->keyDown[message.param] = 0;
      return 0;
    case MessageType::SysCommand:
      if (message.param == win::kScScreenSave || message.param == win::kScMonitorPower) return 0;
      break;
    default:
      break;
  }
  return self->backend->defaultWindowProc(message);
}
