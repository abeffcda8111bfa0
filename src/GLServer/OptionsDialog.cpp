#include "GLServer/OptionsDialog.h"

#include "Base/DialogResource.h"
#include "Platform/WindowBackend.h"

OptionsChoice readOptionsChoice(const std::function<bool(int)>& isChecked) {
  namespace od = options_dialog;
  OptionsChoice choice;
  choice.fullscreen = isChecked(od::kFullscreen);
  if (isChecked(od::k640x480)) {
    choice.width = 640, choice.height = 480;
  } else if (isChecked(od::k800x600)) {
    choice.width = 800, choice.height = 600;
  } else if (isChecked(od::k1024x768)) {
    choice.width = 1024, choice.height = 768;
  }
  choice.colourBits = isChecked(od::k16Bpp) ? 16 : 32;
  choice.stencilBits = !isChecked(od::kStencilOff) && isChecked(od::kStencil8) ? 8 : 0;
  return choice;
}

namespace {
// The dialog procedure learns its dialog at InitDialog; only one options dialog runs at a time.
ManagedOptionsDialog* procedureDialog = nullptr;
}  // namespace

// The procedure's reach into the dialog object it serves.
struct OptionsDialogProcedure {
  static intptr_t handle(DialogHandle dialog, const DialogMessage& message) {
    if (message.type == DialogMessageType::InitDialog) {
      procedureDialog = static_cast<ManagedOptionsDialog*>(message.initParam);
      return 1;
    }
    ManagedOptionsDialog* self = procedureDialog;
    if (!self || message.type != DialogMessageType::Command) return 0;
    WindowBackend& backend = self->backend;
    if (message.command == win::kIdOk) {
      self->chosen = readOptionsChoice([&](int id) { return backend.isDlgButtonChecked(dialog, id); });
      self->okPressed = true;
      backend.endDialog(dialog, 0);
      return 1;
    }
    if (message.command == win::kIdCancel) {
      backend.endDialog(dialog, 0);
      self->okPressed = false;
      return 1;
    }
    return 0;
  }
};

OptionsDialog::Result ManagedOptionsDialog::run(int dialogId, OptionsChoice& choice) {
  okPressed = false;
  if (backend.dialogBoxParam(dialogId, &OptionsDialogProcedure::handle, this) < 0) return Result::CannotShow;
  if (!okPressed) return Result::Cancel;
  choice = chosen;
  return Result::Ok;
}

int ManagedOptionsDialog::lastError() { return backend.lastError(); }

OptionsDialog::Result FixedOptionsDialog::run(int, OptionsChoice& out) {
  if (answered) return Result::Cancel;
  answered = true;
  out = choice;
  return Result::Ok;
}
