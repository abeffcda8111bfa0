#include "GLServer/OptionsDialog.h"

OptionsDialog::Result FixedOptionsDialog::run(int, OptionsChoice& out) {
  if (answered) return Result::Cancel;
  answered = true;
  out = choice;
  return Result::Ok;
}
