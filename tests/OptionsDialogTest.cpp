#include "GLServer/OptionsDialog.h"

#include <gtest/gtest.h>

#include "Base/DialogResource.h"
#include "GLServer/GLServer.h"
#include "Platform/virtual/VirtualWindowBackend.h"

namespace od = options_dialog;

namespace {
// The platform's dialog, driven through the dialog procedure by a scripted dialog manager.
class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() : server(nullptr, "Brackenfold", 214, backend) { server.init(); }
  void user(std::vector<int> checked, uint32_t press = win::kIdOk) {
    backend.dialogScripts.push_back({std::move(checked), press});
  }
  const WindowSettings& settings() { return server.window->settings; }

  VirtualWindowBackend backend;
  GLServer server;
};
}  // namespace

TEST_F(OptionsDialogTest, OkUntouchedGivesTheDefaults) {
  user({});
  ASSERT_TRUE(server.createWindow(od::kResource));
  EXPECT_EQ(backend.lastDialogId, 101);
  EXPECT_EQ(server.fullscreen, 0);
  EXPECT_EQ(server.getWidth(), 640);
  EXPECT_EQ(server.getHeight(), 480);
  EXPECT_EQ(settings().colourBits, 32);
  EXPECT_EQ(settings().depthBits, 16);
  EXPECT_EQ(settings().stencilBits, 0);
  EXPECT_EQ(backend.lastRequest.stencilBits, 0);
}

TEST_F(OptionsDialogTest, FullscreenHighResolutionSixteenBitsWithStencil) {
  backend.screen[0] = 1024, backend.screen[1] = 768;
  user({od::k1024x768, od::k16Bpp, od::kStencil8, od::kFullscreen, od::kDepth32});
  ASSERT_TRUE(server.createWindow(od::kResource));
  EXPECT_EQ(server.fullscreen, 1);
  EXPECT_EQ(server.getWidth(), 1024);
  EXPECT_EQ(server.getHeight(), 768);
  EXPECT_EQ(backend.lastMode.pelsWidth, 1024u);
  EXPECT_EQ(backend.lastMode.bitsPerPel, 16u);
  EXPECT_EQ(backend.lastRequest.colorBits, 16);
  EXPECT_EQ(backend.lastRequest.stencilBits, 8);
  EXPECT_EQ(backend.lastRequest.depthBits, 16) << "the depth buttons are not read";
}

TEST_F(OptionsDialogTest, StencilOffWinsOverEightBitStencil) {
  user({od::kStencil8, od::kStencilOff, od::k800x600});
  ASSERT_TRUE(server.createWindow(od::kResource));
  EXPECT_EQ(settings().stencilBits, 0);
  EXPECT_EQ(server.getWidth(), 800);
  // The first checked resolution wins, as the buttons are read in order.
  EXPECT_EQ(readOptionsChoice([](int id) { return id == od::k800x600 || id == od::k1024x768; }).width, 800);
}

TEST_F(OptionsDialogTest, CancelEndsWithoutAWindowOrAMessage) {
  user({od::k800x600}, win::kIdCancel);
  EXPECT_FALSE(server.createWindow(od::kResource));
  EXPECT_EQ(server.window->quitRequested, 1);
  EXPECT_EQ(backend.count("createWindow"), 0);
  EXPECT_TRUE(backend.warnings.empty());
  EXPECT_EQ(server.getWidth(), 640) << "Cancel keeps the settings";
}

TEST_F(OptionsDialogTest, ShownAgainAfterAFailedCreationKeepsTheChoiceUntilOk) {
  backend.failing = "createContext";
  backend.failuresLeft = 1;
  user({od::k800x600, od::kStencil8});
  user({});  // every control clear again: OK now gives the defaults
  ASSERT_TRUE(server.createWindow(od::kResource));
  EXPECT_EQ(backend.dialogsShown, 2);
  EXPECT_EQ(server.getWidth(), 640);
  EXPECT_EQ(settings().stencilBits, 0);

  backend.failuresLeft = 1;
  server.window->destroy();
  user({od::k1024x768});
  user({}, win::kIdCancel);
  EXPECT_FALSE(server.createWindow(od::kResource));
  EXPECT_EQ(server.getWidth(), 1024) << "Cancel after a failed creation leaves the last OK's choice";
}

TEST_F(OptionsDialogTest, DialogThatCannotBeShownWarnsAndCreatesWithCurrentSettings) {
  ASSERT_TRUE(server.createWindow(od::kResource));
  ASSERT_EQ(backend.warnings.size(), 1u);
  EXPECT_EQ(backend.warnings[0], "Can't show DialogBox");
  EXPECT_EQ(server.window->showOptionsDialog(od::kResource), 1812);
  EXPECT_EQ(server.getWidth(), 640);
}

TEST(DialogResource, OptionsDialogTemplate) {
  const DialogResource* d = findDialogResource(101);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->caption, "Options");
  EXPECT_EQ(d->width, 192);
  EXPECT_EQ(d->height, 175);
  ASSERT_EQ(d->controlCount, 21);
  EXPECT_EQ(d->controls[0].id, 1);
  EXPECT_EQ(d->controls[0].kind, ControlKind::DefaultPushButton);
  EXPECT_STREQ(d->controls[20].text, "Turn off Stencil buffer (recommended)");
  EXPECT_EQ(findDialogResource(102), nullptr);
  // Radio groups: each group start is an automatic radio button.
  int groups = 0;
  for (int i = 0; i < d->controlCount; ++i)
    if (d->controls[i].groupStart) {
      ++groups;
      EXPECT_EQ(d->controls[i].kind, ControlKind::AutoRadioButton);
    }
  EXPECT_EQ(groups, 4);
}
