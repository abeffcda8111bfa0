// dialogrc OUT: writes the program's dialog templates as resource-script statements (for the
// Windows build's resource script), from the same table the Linux dialog is laid out from.

#include <cstdio>
#include <string>

#include "Base/DialogResource.h"

namespace {
std::string quoted(const char* text) {
  std::string out = "\"";
  for (; *text; ++text) out += *text == '"' ? std::string("\"\"") : std::string(1, *text);
  return out + "\"";
}

const char* buttonStyle(ControlKind kind) {
  switch (kind) {
    case ControlKind::DefaultPushButton: return "BS_DEFPUSHBUTTON";
    case ControlKind::PushButton: return "BS_PUSHBUTTON";
    case ControlKind::AutoRadioButton: return "BS_AUTORADIOBUTTON";
    case ControlKind::AutoCheckBox: return "BS_AUTOCHECKBOX";
    case ControlKind::GroupBox: return "BS_GROUPBOX";
  }
  return "BS_PUSHBUTTON";
}

void writeDialog(std::FILE* out, const DialogResource& d) {
  // A pop-up with caption and modal frame, centred, without system menu.
  std::fprintf(out, "%d DIALOG 0, 0, %d, %d\n", d.id, d.width, d.height);
  std::fprintf(out, "STYLE DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION\n");
  std::fprintf(out, "CAPTION %s\n", quoted(d.caption).c_str());
  std::fprintf(out, "FONT %d, %s\nBEGIN\n", d.fontPoints, quoted(d.fontName).c_str());
  for (int i = 0; i < d.controlCount; ++i) {
    const DialogControl& c = d.controls[i];
    std::fprintf(out, "  CONTROL %s, %d, \"Button\", WS_CHILD | WS_VISIBLE | %s%s%s, %d, %d, %d, %d\n",
                 quoted(c.text).c_str(), c.id, buttonStyle(c.kind), c.groupStart ? " | WS_GROUP" : "",
                 c.tabStop ? " | WS_TABSTOP" : "", c.x, c.y, c.width, c.height);
  }
  std::fprintf(out, "END\n");
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialogrc OUT.rc\n");
    return 2;
  }
  const DialogResource* dialog = findDialogResource(options_dialog::kResource);
  std::FILE* out = std::fopen(argv[1], "w");
  if (!dialog || !out) {
    std::fprintf(stderr, "dialogrc: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(out, "// Generated from the engine's dialog table; do not edit.\n");
  writeDialog(out, *dialog);
  return std::fclose(out) == 0 ? 0 : 1;
}
