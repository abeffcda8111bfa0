#pragma once

#include <gtest/gtest.h>

#include "GLServer/GLServer.h"

// A real GL context shared by a whole suite: a GLServer window of the given size (SDL's
// offscreen driver over Mesa when run headless), made once before the suite's first case and
// closed after its last. A case finds it made or fails with the reason.
template <int kWidth, int kHeight>
class SuiteGLContext : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new GLServer(nullptr, "Brackenfold GL test", 0);
    server->setOptionsDialog(&fixed);
    server->setAcceptSoftware(true);
    server->init();
    created = server->createWindow(101);
  }
  static void TearDownTestSuite() {
    if (created) {
      server->window->requestClose();
      server->update();
    }
    delete server;
  }
  void SetUp() override { ASSERT_TRUE(created) << "no GL context could be made"; }

  static inline FixedOptionsDialog fixed{OptionsChoice{false, kWidth, kHeight, 32, 0}};
  static inline GLServer* server = nullptr;
  static inline bool created = false;
};
