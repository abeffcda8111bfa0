// The options dialog of the web backend: the page's own form. The page shows it before the
// program starts, and pressing Start (OK) starts the program with the form answered, which also
// gives the browser the user gesture it wants before it plays sound; ?autostart answers it with
// the defaults. Of dialog 101 the form keeps the resolution buttons "640x480", "800x600",
// "1024x768" and the full-screen box, each carrying its control id; colour depth, depth and
// stencil buffers are not a page's to choose (the browser fixes the canvas' format), so those
// controls read unchecked and the dialog procedure's defaults apply.
// Shown again after a failed window creation, the dialog cannot wait for the user in the middle
// of a frame of the page: it answers Cancel, the program ends with exit code 1, and the page
// shows the warning and offers the form again.

#include <emscripten/emscripten.h>

#include "Base/DialogResource.h"
#include "Base/Resource.h"
#include "Platform/web/WebWindowBackend.h"

namespace {
constexpr DialogHandle kDialogToken = 1;

EM_JS(int, pageHasOptionsForm, (), { return document.getElementById('options') ? 1 : 0; });

EM_JS(int, pageControlChecked, (int controlId), {
  var control = document.querySelector('#options [data-control="' + controlId + '"]');
  return control && control.checked ? 1 : 0;
});
}  // namespace

intptr_t WebWindowBackend::dialogBoxParam(int dialogId, DialogProcedure dialogProcedure, void* initParam) {
  if (!findDialogResource(dialogId) || !pageHasOptionsForm()) {
    error = kErrorResourceNameNotFound;
    return -1;
  }
  dialogEnded = false;
  dialogResult = 0;
  dialogProcedure(kDialogToken, DialogMessage{DialogMessageType::InitDialog, 0, initParam});
  const uint32_t answer = ++dialogShows == 1 ? win::kIdOk : win::kIdCancel;
  if (!dialogEnded) dialogProcedure(kDialogToken, DialogMessage{DialogMessageType::Command, answer, nullptr});
  return dialogResult;
}

bool WebWindowBackend::isDlgButtonChecked(DialogHandle dialog, int controlId) {
  return dialog == kDialogToken && pageControlChecked(controlId) != 0;
}

void WebWindowBackend::endDialog(DialogHandle dialog, intptr_t result) {
  if (dialog != kDialogToken) return;
  dialogEnded = true;
  dialogResult = result;
}
