#pragma once

#include <deque>

#include "Platform/Terminal.h"

// A terminal the test types into: keys queued by hand, its answers set by hand, raw mode
// and its restoring counted.
class VirtualTerminal : public Terminal {
 public:
  bool inputIsTerminal() override { return input; }
  bool outputIsTerminal() override { return output; }
  bool enterRawMode() override {
    raw = input;
    return raw;
  }
  void restore() override {
    raw = false;
    ++restores;
  }
  int readKey() override {
    if (keys.empty()) return kNoKey;
    const int key = keys.front();
    keys.pop_front();
    return key;
  }
  int width() override { return columns; }
  void catchInterruptions() override { catching = true; }
  int interruption() override { return catching ? signal : 0; }
  bool continuedSinceAsked() override {
    const bool was = continued;
    continued = false;
    return was;
  }

  std::deque<int> keys;
  bool input = true, output = true;
  int columns = 80;
  bool raw = false, catching = false;
  int restores = 0;
  int signal = 0;  // what a test pretends arrived
  bool continued = false;  // a stop and continue a test pretends came
};
