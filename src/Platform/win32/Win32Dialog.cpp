// Modal dialogs from the program's own dialog resources, run by the Win32 dialog manager (which
// keeps its own keys: Enter presses the default button, Escape sends IDCANCEL). The native
// dialog procedure passes initialisation and commands to the engine's procedure.

#include <windows.h>

#include "Platform/win32/Win32WindowBackend.h"

namespace {
// One modal dialog at a time.
DialogProcedure engineDialogProcedure = nullptr;

INT_PTR CALLBACK nativeDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!engineDialogProcedure) return FALSE;
  DialogMessage out{DialogMessageType::Other, 0, nullptr};
  if (message == WM_INITDIALOG) {
    out.type = DialogMessageType::InitDialog;
    out.initParam = reinterpret_cast<void*>(lParam);
  } else if (message == WM_COMMAND) {
    out.type = DialogMessageType::Command;
    out.command = LOWORD(wParam);
  }
  return engineDialogProcedure(reinterpret_cast<DialogHandle>(dialog), out);
}
}  // namespace

intptr_t Win32WindowBackend::dialogBoxParam(int dialogId, DialogProcedure procedure, void* initParam) {
  DialogProcedure outer = engineDialogProcedure;
  engineDialogProcedure = procedure;
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialogId), nullptr,
                                         &nativeDialogProcedure, reinterpret_cast<LPARAM>(initParam));
  engineDialogProcedure = outer;
  return result;
}

bool Win32WindowBackend::isDlgButtonChecked(DialogHandle dialog, int controlId) {
  return IsDlgButtonChecked(reinterpret_cast<HWND>(dialog), controlId) != 0;
}

void Win32WindowBackend::endDialog(DialogHandle dialog, intptr_t result) {
  EndDialog(reinterpret_cast<HWND>(dialog), result);
}

int Win32WindowBackend::lastError() { return static_cast<int>(GetLastError()); }
