#include "Platform/sdl/FltkDialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "Base/DialogResource.h"

namespace {
// Dialog units of "MS Sans Serif" 8 at 96 dots per inch: the font's average character is 6 by
// 13 pixels, a horizontal unit a quarter of its width and a vertical unit an eighth of its height.
int unitsToX(int units) { return units * 6 / 4; }
int unitsToY(int units) { return units * 13 / 8; }
constexpr int kFontPixels = 11;

constexpr int kErrorResourceNotFound = 1812;  // the dialog is not among the program's resources
constexpr int kErrorNoDisplay = 1400;         // no screen to show it on

struct Control {
  const DialogControl* source;
  Fl_Button* button;  // null for group boxes
  int group;          // radio group number
};

struct Dialog {
  std::unique_ptr<Fl_Double_Window> window;
  std::vector<Control> controls;
  DialogProcedure procedure = nullptr;
  bool ended = false;
  intptr_t result = 0;

  DialogHandle handle() { return reinterpret_cast<DialogHandle>(this); }
  void command(uint32_t id) { procedure(handle(), DialogMessage{DialogMessageType::Command, id, nullptr}); }
};

Dialog* fromHandle(DialogHandle handle) { return reinterpret_cast<Dialog*>(handle); }

// FLTK ends the process when it cannot open the display itself, so it is handed one already
// open, which it keeps for the rest of the run. An X server may hang up on a connection that
// comes just as another client's goes (Xvfb here did, 1 to 12 times in 100): a few tries, a
// moment apart, before there is no display.
bool openDisplay() {
  if (fl_display) return true;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return false;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Display* display = XOpenDisplay(nullptr)) {
      fl_open_display(display);
      return true;
    }
  }
  return false;
}

void pressed(Fl_Widget* widget, void* data) {
  auto* dialog = static_cast<Dialog*>(data);
  for (Control& control : dialog->controls) {
    if (control.button != widget) continue;
    switch (control.source->kind) {
      case ControlKind::AutoRadioButton:
        // An automatic radio button checks itself and clears the others of its group.
        for (Control& other : dialog->controls)
          if (other.source->kind == ControlKind::AutoRadioButton && other.group == control.group)
            other.button->value(other.button == widget ? 1 : 0);
        break;
      case ControlKind::DefaultPushButton:
      case ControlKind::PushButton:
        dialog->command(static_cast<uint32_t>(control.source->id));
        break;
      default:
        break;
    }
    return;
  }
}

// Escape and the window's close box: Cancel, as the dialog manager sends it.
void cancelled(Fl_Widget*, void* data) { static_cast<Dialog*>(data)->command(2); }

Fl_Button* makeButton(const DialogControl& c, int x, int y, int w, int h) {
  switch (c.kind) {
    case ControlKind::DefaultPushButton:
      return new Fl_Return_Button(x, y, w, h, c.text);
    case ControlKind::PushButton:
      return new Fl_Button(x, y, w, h, c.text);
    case ControlKind::AutoRadioButton: {
      auto* b = new Fl_Round_Button(x, y, w, h, c.text);
      b->type(FL_TOGGLE_BUTTON);
      return b;
    }
    case ControlKind::AutoCheckBox:
      return new Fl_Check_Button(x, y, w, h, c.text);
    case ControlKind::GroupBox:
      break;
  }
  return nullptr;
}

void build(Dialog& dialog, const DialogResource& resource) {
  const int width = unitsToX(resource.width), height = unitsToY(resource.height);
  dialog.window = std::make_unique<Fl_Double_Window>(width, height, resource.caption);
  Fl_Double_Window& window = *dialog.window;
  window.labelsize(kFontPixels);
  int group = 0;
  for (int i = 0; i < resource.controlCount; ++i) {
    const DialogControl& c = resource.controls[i];
    if (c.groupStart) ++group;
    const int x = unitsToX(c.x), y = unitsToY(c.y), w = unitsToX(c.width), h = unitsToY(c.height);
    if (c.kind == ControlKind::GroupBox) {
      auto* box = new Fl_Box(FL_ENGRAVED_FRAME, x, y, w, h, c.text);
      box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
      box->labelsize(kFontPixels);
      dialog.controls.push_back({&c, nullptr, group});
      continue;
    }
    Fl_Button* button = makeButton(c, x, y, w, h);
    button->labelsize(kFontPixels);
    button->callback(pressed, &dialog);
    // On release inside the button, as the dialog manager's buttons act: pressed and dragged
    // off, a button does nothing.
    button->when(FL_WHEN_RELEASE);
    if (!c.tabStop) button->clear_visible_focus();
    dialog.controls.push_back({&c, button, group});
  }
  window.end();
  window.set_modal();
  window.callback(cancelled, &dialog);
  window.position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
}

// The warning box: Return, Escape and the close box close it, as OK does; Ctrl+C copies its
// text, as a system message box's does.
class WarningWindow : public Fl_Double_Window {
 public:
  WarningWindow(int w, int h, const char* text) : Fl_Double_Window(w, h, "Warning"), text(text) {}
  int handle(int event) override {
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && (Fl::event_state() & FL_CTRL) && Fl::event_key() == 'c') {
      Fl::copy(text, static_cast<int>(std::strlen(text)), 1);
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  const char* text;
};

void closeWarning(Fl_Widget*, void* window) { static_cast<Fl_Window*>(window)->hide(); }
}  // namespace

namespace fltk_dialog {
bool canShow() { return openDisplay(); }

bool showWarning(const char* text) {
  if (!openDisplay()) return false;
  fl_font(FL_HELVETICA, kFontPixels);
  int textWidth = 0, textHeight = 0;
  fl_measure(text, textWidth, textHeight, 0);
  // Laid out as a system box: the exclamation mark, the text beside it, OK centred below.
  constexpr int kMargin = 12, kIcon = 32, kButtonWidth = 75, kButtonHeight = 23;
  const int bodyHeight = std::max(kIcon, textHeight);
  const int width = std::max(kMargin + kIcon + kMargin + textWidth + kMargin, kButtonWidth + 2 * kMargin);
  const int height = kMargin + bodyHeight + kMargin + kButtonHeight + kMargin;
  WarningWindow window(width, height, text);
  auto* icon = new Fl_Box(FL_ROUND_UP_BOX, kMargin, kMargin, kIcon, kIcon, "!");
  icon->color(FL_YELLOW);
  icon->labelfont(FL_HELVETICA_BOLD);
  icon->labelsize(22);
  auto* body = new Fl_Box(FL_NO_BOX, 2 * kMargin + kIcon, kMargin, textWidth, bodyHeight, text);
  body->labelsize(kFontPixels);
  body->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  auto* ok = new Fl_Return_Button((width - kButtonWidth) / 2, height - kMargin - kButtonHeight, kButtonWidth,
                                  kButtonHeight, "OK");
  ok->labelsize(kFontPixels);
  ok->callback(closeWarning, &window);
  window.end();
  window.set_modal();
  window.callback(closeWarning, &window);
  window.position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
  window.show();
  while (window.shown()) Fl::wait();
  Fl::flush();
  return true;
}

intptr_t run(int dialogId, DialogProcedure procedure, void* initParam, int& error) {
  const DialogResource* resource = findDialogResource(dialogId);
  if (!resource) {
    error = kErrorResourceNotFound;
    return -1;
  }
  if (!openDisplay()) {
    error = kErrorNoDisplay;
    return -1;
  }
  Dialog dialog;
  dialog.procedure = procedure;
  build(dialog, *resource);
  procedure(dialog.handle(), DialogMessage{DialogMessageType::InitDialog, 0, initParam});
  dialog.window->show();
  while (!dialog.ended && dialog.window->shown()) Fl::wait();
  dialog.window->hide();
  dialog.window.reset();
  Fl::flush();
  return dialog.result;
}

bool isChecked(DialogHandle handle, int controlId) {
  Dialog* dialog = fromHandle(handle);
  if (!dialog) return false;
  for (const Control& control : dialog->controls)
    if (control.source->id == controlId && control.button) return control.button->value() != 0;
  return false;
}

void end(DialogHandle handle, intptr_t result) {
  Dialog* dialog = fromHandle(handle);
  if (!dialog) return;
  dialog->ended = true;
  dialog->result = result;
}
}  // namespace fltk_dialog
