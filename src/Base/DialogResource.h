#pragma once

#include <cstdint>

// The program's dialog templates, as a resource compiler would hold them: positions and sizes in
// dialog units, controls in template order. Backends without a dialog manager of their own lay
// their dialogs out from here; the Windows build writes the same table into its resource script.

enum class ControlKind : uint8_t { DefaultPushButton, PushButton, AutoRadioButton, AutoCheckBox, GroupBox };

constexpr int kNoControlId = -1;  // a static control nobody asks for

struct DialogControl {
  int id;
  const char* text;
  ControlKind kind;
  bool groupStart;  // begins a new radio group (and a new tab group)
  bool tabStop;
  int x, y, width, height;
};

struct DialogResource {
  int id;
  const char* caption;
  int width, height;
  const char* fontName;
  int fontPoints;
  const DialogControl* controls;
  int controlCount;
};

// The dialog with this number, or null.
const DialogResource* findDialogResource(int id);

// Control ids of the options dialog.
namespace options_dialog {
constexpr int kResource = 101;
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int k640x480 = 1000;
constexpr int k800x600 = 1001;
constexpr int k1024x768 = 1002;
constexpr int k16Bpp = 1003;
constexpr int k32Bpp = 1004;
constexpr int kFullscreen = 1005;
constexpr int kDepth8 = 1006;
constexpr int kDepth16 = 1007;
constexpr int kStencil8 = 1008;
constexpr int kStencil16 = 1009;
constexpr int kDepth24 = 1010;
constexpr int kStencil24 = 1014;
constexpr int kDepth32 = 1015;
constexpr int kStencil32 = 1016;
constexpr int kStencilOff = 1023;
}  // namespace options_dialog
