#pragma once

// Modal dialogs drawn by FLTK from the program's dialog templates: the Linux stand-in for the
// Windows dialog manager. Implements DialogBoxParam, IsDlgButtonChecked and EndDialog with their
// Windows behaviour (auto radio buttons per group, buttons acting on release inside them, Enter
// on the default button, Escape and the close box as Cancel); does not implement modeless
// dialogs or any other message than InitDialog and the button commands.

#include <cstdint>

#include "Platform/WindowBackend.h"

namespace fltk_dialog {
intptr_t run(int dialogId, DialogProcedure procedure, void* initParam, int& error);
bool isChecked(DialogHandle dialog, int controlId);
void end(DialogHandle dialog, intptr_t result);
// The modal box of a warning: caption "Warning", an exclamation mark, OK. False when there is
// no display to show it on.
bool showWarning(const char* text);
// Whether there is a display to show a dialog on.
bool canShow();
}  // namespace fltk_dialog
