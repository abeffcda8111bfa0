#pragma once

#include <functional>

class WindowBackend;

// What the options dialog hands back on OK.
struct OptionsChoice {
  bool fullscreen = false;
  int width = 640;
  int height = 480;
  int colourBits = 32;
  int stencilBits = 0;
};

// The modal display-options dialog, run before every attempt to create the window.
class OptionsDialog {
 public:
  enum class Result { Ok, Cancel, CannotShow };
  virtual ~OptionsDialog() = default;
  virtual Result run(int dialogId, OptionsChoice& choice) = 0;
  // Platform error code after CannotShow.
  virtual int lastError() { return 0; }
};

// The rules of OK: which checked buttons give which settings. The depth-buffer buttons and the
// stencil's 16, 24 and 32 bit buttons are shown but read by nobody: depth stays at 16 bits and
// the stencil request is 8 or 0.
OptionsChoice readOptionsChoice(const std::function<bool(int controlId)>& isChecked);

// The dialog resource run by the platform's dialog manager, with the dialog procedure that
// reads the choice on OK. Every show starts with every button clear.
class ManagedOptionsDialog : public OptionsDialog {
 public:
  explicit ManagedOptionsDialog(WindowBackend& backend) : backend(backend) {}
  Result run(int dialogId, OptionsChoice& choice) override;
  int lastError() override;

 private:
  friend struct OptionsDialogProcedure;
  WindowBackend& backend;
  OptionsChoice chosen;
  bool okPressed = false;
};

// Stands in for the dialog when the settings come from elsewhere (the command line): the first
// run answers OK with the given choice. Nobody is there to pick other settings after a failed
// creation, so every later run answers Cancel and the program ends instead of retrying forever.
class FixedOptionsDialog : public OptionsDialog {
 public:
  explicit FixedOptionsDialog(const OptionsChoice& choice) : choice(choice) {}
  Result run(int dialogId, OptionsChoice& out) override;

 private:
  OptionsChoice choice;
  bool answered = false;
};
