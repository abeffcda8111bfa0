// The message pump of the web backend: the page's key, focus, resize and full-screen events,
// queued by the browser's callbacks between frames and handed out by peekMessage without waiting;
// dispatch calls the registered procedure. A page has no close message of its own: closing the
// tab ends everything at once; leaving full screen (the browser's Escape) counts as closing.

#include <emscripten/html5.h>

#include <cstring>

#include "Platform/web/WebWindowBackend.h"

namespace {
EM_BOOL onKey(int eventType, const EmscriptenKeyboardEvent* event, void* self) {
  const int vk = virtualKeyOfPageKey(event->keyCode, event->key);
  if (vk == 0 || event->repeat) return EM_FALSE;
  const MessageType type = eventType == EMSCRIPTEN_EVENT_KEYDOWN ? MessageType::KeyDown : MessageType::KeyUp;
  static_cast<WebWindowBackend*>(self)->queue({type, static_cast<uint32_t>(vk), nullptr});
  // The page keeps its own use of the keys (reload, full screen).
  return EM_FALSE;
}

EM_BOOL onFocus(int, const EmscriptenFocusEvent*, void* self) {
  static_cast<WebWindowBackend*>(self)->queue({MessageType::Activate, 0, nullptr});
  return EM_FALSE;
}

EM_BOOL onFullscreenChange(int, const EmscriptenFullscreenChangeEvent* event, void* self) {
  if (!event->isFullscreen) static_cast<WebWindowBackend*>(self)->leftFullscreen();
  return EM_FALSE;
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void* self) {
  static_cast<WebWindowBackend*>(self)->queue({MessageType::Size, 0, nullptr});
  return EM_FALSE;
}
}  // namespace

void WebWindowBackend::listenToPage() {
  if (listening) return;
  listening = true;
  const char* document = EMSCRIPTEN_EVENT_TARGET_DOCUMENT;
  emscripten_set_keydown_callback(document, this, EM_FALSE, onKey);
  emscripten_set_keyup_callback(document, this, EM_FALSE, onKey);
  emscripten_set_focus_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onFocus);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onFocus);
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onResize);
  emscripten_set_fullscreenchange_callback(document, this, EM_FALSE, onFullscreenChange);
}

bool WebWindowBackend::registerClass(const char* name, uint32_t, WindowProcedure proc, int) {
  if (registered) return false;
  registered = true;
  className = name;
  procedure = proc;
  listenToPage();
  return true;
}

bool WebWindowBackend::unregisterClass(const char* name) {
  if (!registered || className != name) return false;
  registered = false;
  procedure = nullptr;
  pending.clear();
  return true;
}

bool WebWindowBackend::peekMessage(WindowMessage& message) {
  if (pending.empty()) return false;
  message = pending.front();
  pending.pop_front();
  return true;
}

void WebWindowBackend::dispatchMessage(const WindowMessage& message) {
  if (procedure) procedure(message);
}

intptr_t WebWindowBackend::defaultWindowProc(const WindowMessage&) { return 0; }

void WebWindowBackend::postQuitMessage() { pending.push_back({MessageType::Quit, 0, nullptr}); }

int virtualKeyOfPageKey(unsigned long keyCode, const char* key) {
  // The page's keyCode values are the Windows virtual-key codes for letters, digits, function
  // keys, arrows, Escape, Enter, Space and the like; browsers that leave it 0 still name the key.
  if (keyCode > 0 && keyCode < 256) return static_cast<int>(keyCode);
  if (std::strcmp(key, "Escape") == 0 || std::strcmp(key, "Esc") == 0) return 0x1B;
  if (std::strcmp(key, "Enter") == 0) return 0x0D;
  if (std::strcmp(key, " ") == 0) return 0x20;
  return 0;
}
