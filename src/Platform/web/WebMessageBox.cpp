// The warning of the web backend: the page shows the text with the caption "Warning" beside its
// canvas (a modal alert would stop the page's frames and sound), and the console gets it too.

#include <emscripten/emscripten.h>

#include "Platform/web/WebWindowBackend.h"

namespace {
EM_JS(void, pageShowWarning, (const char* text), {
  var message = UTF8ToString(text);
  console.warn('Warning: ' + message);
  if (Module.showWarning) Module.showWarning('Warning', message);
});
}  // namespace

void WebWindowBackend::showWarning(const char* text) { pageShowWarning(text); }
