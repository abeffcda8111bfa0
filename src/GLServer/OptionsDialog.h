#pragma once

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
