#include "GLServer/GLWindow.h"

#include <gtest/gtest.h>

#include "GLServer/GLServer.h"
#include "Platform/virtual/VirtualWindowBackend.h"
#include "TempDir.h"

namespace {
// A dialog that always answers the same way, and counts how often it was shown.
class ScriptedDialog : public OptionsDialog {
 public:
  explicit ScriptedDialog(Result result, OptionsChoice choice = {}) : result(result), choice(choice) {}
  Result run(int dialogId, OptionsChoice& out) override {
    ++shown;
    lastId = dialogId;
    if (result == Result::Ok) out = choice;
    return result;
  }
  Result result;
  OptionsChoice choice;
  int shown = 0;
  int lastId = 0;
};

class GLWindowTest : public ::testing::Test {
 protected:
  GLWindowTest() : server(logPath().c_str(), "Brackenfold", 214, backend) {
    server.setOptionsDialog(&dialog);
    server.init();
  }
  std::string logPath() { return dir.file("log.txt"); }
  std::string logText() { return readFile(logPath()); }
  GLWindow& window() { return *server.window; }

  TempDir dir;
  VirtualWindowBackend backend;
  ScriptedDialog dialog{OptionsDialog::Result::Ok};
  GLServer server;
};
}  // namespace

TEST_F(GLWindowTest, DefaultsGiveACentredWindowedRequest) {
  ASSERT_TRUE(server.createWindow(101));
  EXPECT_EQ(dialog.lastId, 101);
  EXPECT_EQ(server.getWidth(), 640);
  EXPECT_EQ(server.getHeight(), 480);
  EXPECT_EQ(backend.createdExStyle, 0x40100u);
  EXPECT_EQ(backend.createdStyle, 0xCF0000u | 0x6000000u);
  // Client 640 x 480 grown by 8 on each side, centred on 1920 x 1080.
  EXPECT_EQ(backend.createdWidth, 656);
  EXPECT_EQ(backend.createdHeight, 496);
  EXPECT_EQ(backend.createdX, (1920 - 656) / 2);
  EXPECT_EQ(backend.createdY, (1080 - 496) / 2);
  const PixelFormatDescriptor& pfd = backend.lastRequest;
  EXPECT_EQ(pfd.size, 40);
  EXPECT_EQ(pfd.version, 1);
  EXPECT_EQ(pfd.flags, 0x25u);
  EXPECT_EQ(pfd.colorBits, 32);
  EXPECT_EQ(pfd.depthBits, 16);
  EXPECT_EQ(pfd.stencilBits, 0);
  EXPECT_EQ(pfd.auxBuffers, 0);
  EXPECT_EQ(backend.count("showWindow"), 1);
  EXPECT_NE(backend.current, 0u);
  EXPECT_TRUE(backend.warnings.empty());
  EXPECT_EQ(server.fullscreen, 0);
}

TEST_F(GLWindowTest, OddCentringTruncatesTowardZero) {
  backend.screen[0] = 641;
  backend.screen[1] = 100;  // smaller than the window: a negative position
  ASSERT_TRUE(window().create());
  EXPECT_EQ(backend.createdX, (641 - 656) / 2);
  EXPECT_EQ(backend.createdX, -7);
  EXPECT_EQ(backend.createdY, -198);
}

TEST_F(GLWindowTest, EscapePressedAndReleasedWithinOneFrameDoesNotQuit) {
  ASSERT_TRUE(server.createWindow(101));
  backend.push(MessageType::KeyDown, 27);
  backend.push(MessageType::KeyUp, 27);
  EXPECT_FALSE(server.update());
  EXPECT_EQ(backend.swaps, 1);
  EXPECT_EQ(server.getKeys()[27], 0);

  backend.push(MessageType::KeyDown, 27);
  EXPECT_TRUE(server.update());
  EXPECT_EQ(backend.swaps, 1) << "no frame is presented after the quit";
  EXPECT_EQ(backend.windows, 0);
  EXPECT_EQ(backend.registered, 0);
}

TEST_F(GLWindowTest, CloseRequestQuitsAtTheNextUpdateAndQuitIsNeverDispatched) {
  ASSERT_TRUE(server.createWindow(101));
  EXPECT_FALSE(server.update());
  backend.push(MessageType::Close);
  backend.push(MessageType::KeyDown, 'A');  // messages behind the close are still pumped
  EXPECT_TRUE(server.update());
  EXPECT_EQ(server.getKeys()['A'], 1);
  EXPECT_EQ(backend.swaps, 1);
  for (const WindowMessage& m : backend.defaultHandled) EXPECT_NE(m.type, MessageType::Quit);
  EXPECT_EQ(backend.windows, 0);
}

TEST_F(GLWindowTest, QuitFlagIsClearedAtEveryUpdate) {
  ASSERT_TRUE(server.createWindow(101));
  window().quitRequested = 1;
  EXPECT_FALSE(server.update());
}

TEST_F(GLWindowTest, ScreenSaverAndMonitorPowerAreSwallowed) {
  ASSERT_TRUE(server.createWindow(101));
  backend.push(MessageType::SysCommand, 0xF140);
  backend.push(MessageType::SysCommand, 0xF170);
  backend.push(MessageType::SysCommand, 0xF060);  // SC_CLOSE goes to the default procedure
  backend.push(MessageType::Size);
  backend.push(MessageType::Activate);
  backend.push(MessageType::Other);
  EXPECT_FALSE(server.update());
  ASSERT_EQ(backend.defaultHandled.size(), 2u);
  EXPECT_EQ(backend.defaultHandled[0].param, 0xF060u);
  EXPECT_EQ(backend.defaultHandled[1].type, MessageType::Other);
}

TEST_F(GLWindowTest, RefusedFullscreenFallsBackToWindowedWithOneLogLine) {
  dialog.choice.fullscreen = true;
  backend.failing = "changeDisplayMode";
  ASSERT_TRUE(server.createWindow(101));
  EXPECT_EQ(server.fullscreen, 0);
  EXPECT_EQ(backend.createdStyle, 0xCF0000u | 0x6000000u);
  EXPECT_EQ(backend.createdExStyle, 0x40100u);
  EXPECT_EQ(backend.createdX, (1920 - 656) / 2);
  EXPECT_EQ(logText(), "Can't set fullscreen, falling back to windowed mode");
  EXPECT_EQ(backend.cursorHidden, 0);
}

TEST_F(GLWindowTest, FullscreenSwitchesTheModeAndDestroyRestoresIt) {
  dialog.choice = OptionsChoice{true, 1024, 768, 16, 8};
  backend.outerGrow = 0;
  backend.screen[0] = 1024;
  backend.screen[1] = 768;
  ASSERT_TRUE(server.createWindow(101));
  EXPECT_EQ(server.fullscreen, 1);
  EXPECT_EQ(server.getWidth(), 1024);
  EXPECT_EQ(server.getHeight(), 768);
  EXPECT_EQ(backend.lastMode.size, 148u);
  EXPECT_EQ(backend.lastMode.fields, 0x1C0000u);
  EXPECT_EQ(backend.lastMode.pelsWidth, 1024u);
  EXPECT_EQ(backend.lastMode.pelsHeight, 768u);
  EXPECT_EQ(backend.lastMode.bitsPerPel, 16u);
  EXPECT_EQ(backend.createdStyle, 0x80000000u | 0x6000000u);
  EXPECT_EQ(backend.createdExStyle, 0x40000u);
  EXPECT_EQ(backend.createdX, 0);
  EXPECT_EQ(backend.createdY, 0);
  EXPECT_EQ(backend.lastRequest.colorBits, 16);
  EXPECT_EQ(backend.lastRequest.stencilBits, 8);
  EXPECT_EQ(backend.cursorHidden, 1);

  backend.push(MessageType::Close);
  EXPECT_TRUE(server.update());
  EXPECT_EQ(backend.modeSwitched, 0);
  EXPECT_EQ(backend.cursorHidden, 0);
}

TEST_F(GLWindowTest, SoftwareFormatIsRefusedAfterATeardownAndTheRetryStartsClean) {
  backend.formatFlags = win::kPfdGenericFormat;
  EXPECT_FALSE(window().create());
  ASSERT_EQ(backend.warnings.size(), 1u);
  EXPECT_EQ(backend.warnings[0], "The options you choosed are not hardware accelerated by your GFX Card");
  // No context exists yet when the format is judged.
  EXPECT_NE(logText().find("WARN: src/GLServer/GLWindow.cpp/"), std::string::npos);
  EXPECT_NE(logText().find(": Can't Delete Context\n"), std::string::npos);
  EXPECT_EQ(backend.windows, 0);
  EXPECT_EQ(backend.registered, 0);

  backend.formatFlags = 0;
  EXPECT_TRUE(window().create());
  EXPECT_EQ(backend.windows, 1);
  EXPECT_EQ(backend.registered, 1);
}

TEST_F(GLWindowTest, SoftwareFormatIsAcceptedWhenAllowed) {
  backend.formatFlags = win::kPfdGenericFormat;
  server.setAcceptSoftware(true);
  EXPECT_TRUE(window().create());
  EXPECT_TRUE(backend.warnings.empty());
}

TEST_F(GLWindowTest, AcceleratedGenericIsAcceptedAcceleratedAloneFailsSilently) {
  backend.formatFlags = win::kPfdGenericFormat | win::kPfdGenericAccelerated;
  EXPECT_TRUE(window().create());
  window().destroy();

  backend.formatFlags = win::kPfdGenericAccelerated;
  EXPECT_FALSE(window().create());
  EXPECT_TRUE(backend.warnings.empty());
  EXPECT_EQ(backend.windows, 0);
  EXPECT_EQ(backend.registered, 0);
}

TEST_F(GLWindowTest, CancelEndsWithoutMessage) {
  dialog.result = OptionsDialog::Result::Cancel;
  EXPECT_FALSE(server.createWindow(101));
  EXPECT_EQ(window().quitRequested, 1);
  EXPECT_TRUE(backend.warnings.empty());
  EXPECT_EQ(backend.count("createWindow"), 0);
}

TEST_F(GLWindowTest, DialogThatCannotBeShownLeavesTheSettingsAndCreationGoesOn) {
  window().settings.width = 800;
  window().settings.height = 600;
  dialog.result = OptionsDialog::Result::CannotShow;
  EXPECT_TRUE(server.createWindow(101));
  ASSERT_EQ(backend.warnings.size(), 1u);
  EXPECT_EQ(backend.warnings[0], "Can't show DialogBox");
  EXPECT_EQ(backend.createdWidth, 816);
}

TEST_F(GLWindowTest, EndlessFailureIsBounded) {
  backend.failing = "createWindow";
  EXPECT_FALSE(server.createWindow(101));
  EXPECT_EQ(dialog.shown, kMaxCreateAttempts);
  EXPECT_EQ(static_cast<int>(backend.warnings.size()), kMaxCreateAttempts);
  EXPECT_EQ(backend.registered, 0);
}

TEST_F(GLWindowTest, FixedSettingsAreTriedOnceThenTheProgramGivesUp) {
  FixedOptionsDialog fixed(OptionsChoice{false, 800, 600, 32, 0});
  server.setOptionsDialog(&fixed);
  backend.failing = "createContext";
  EXPECT_FALSE(server.createWindow(101));
  EXPECT_EQ(backend.count("createContext"), 1);
  EXPECT_EQ(server.getWidth(), 800);
}

TEST_F(GLWindowTest, DestroyWithNothingToReleaseLogsItsWarnings) {
  window().destroy();
  const std::string text = logText();
  EXPECT_NE(text.find(": Can't destroy window\n"), std::string::npos);
  EXPECT_NE(text.find(": Can't unregister class\n"), std::string::npos);
  EXPECT_EQ(text.find("Can't Delete Context"), std::string::npos);
  EXPECT_EQ(text.rfind("WARN: src/GLServer/GLWindow.cpp/", 0), 0u);
}

TEST_F(GLWindowTest, SetDisplayModeChangesTheRequestNotTheReportedSize) {
  server.setDisplayMode(1024, 768, 16);
  EXPECT_EQ(window().settings.width, 1024);
  EXPECT_EQ(window().settings.colourBits, 16);
  EXPECT_EQ(server.getWidth(), 640);
}

TEST(GLServer, DestructorLogsItsShutdown) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  {
    VirtualWindowBackend backend;
    GLServer server(path.c_str(), "Brackenfold", 0, backend);
    server.init();
    EXPECT_EQ(server.iconId, 0);
  }
  EXPECT_EQ(readFile(path), "Shutting down GLServer .....");
}

struct FailingStep {
  const char* call;
  const char* message;
  friend void PrintTo(const FailingStep& step, std::ostream* out) { *out << step.call; }
};

class GLWindowFailureTest : public GLWindowTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(GLWindowFailureTest, ShowsItsMessageReleasesEverythingAndTheRetrySucceeds) {
  backend.failing = GetParam().call;
  backend.failuresLeft = 1;
  dialog.choice.fullscreen = true;
  ASSERT_TRUE(server.createWindow(101));
  ASSERT_EQ(backend.warnings.size(), 1u);
  EXPECT_EQ(backend.warnings[0], GetParam().message);
  EXPECT_EQ(dialog.shown, 2);
  // One window, one class, one mode switch: nothing left over from the failed attempt.
  EXPECT_EQ(backend.windows, 1);
  EXPECT_EQ(backend.registered, 1);
  EXPECT_EQ(backend.modeSwitched, 1);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, GLWindowFailureTest,
    ::testing::Values(FailingStep{"registerClass", "Can't register window class"},
                      FailingStep{"adjustWindowRect", "Can't adjust WindoRec"},
                      FailingStep{"createWindow", "Can't create window"},
                      FailingStep{"getDC", "Can't get DeviceContext"},
                      FailingStep{"choosePixelFormat", "Can't choose Pixel Format\n"},
                      FailingStep{"describePixelFormat", "Can't choose Pixel Format\n"},
                      FailingStep{"setPixelFormat", "Can't set pixel format"},
                      FailingStep{"createContext", "Can't create wgl DeviceContext"},
                      FailingStep{"makeCurrent", "Can't make the wgl rendering context"}),
    [](const auto& info) { return std::string(info.param.call); });

// The --video path that cannot start ffmpeg, and fixtures like the ones above, destroy the server
// while its window still exists: what the window system delivers after that must not reach the
// freed window object.
TEST(GLWindowLifetime, MessagesAfterTheServerIsGoneGoToTheDefaultProcedure) {
  VirtualWindowBackend backend;
  FixedOptionsDialog fixed(OptionsChoice{false, 320, 200, 32, 0});
  {
    GLServer server(nullptr, "Brackenfold", 214, backend);
    server.setOptionsDialog(&fixed);
    server.init();
    ASSERT_TRUE(server.createWindow(101));
  }
  ASSERT_EQ(backend.windows, 1);
  backend.push(MessageType::KeyDown, 'A');
  backend.push(MessageType::Close);
  WindowMessage message;
  while (backend.peekMessage(message)) backend.dispatchMessage(message);
  ASSERT_EQ(backend.defaultHandled.size(), 2u);
  EXPECT_EQ(backend.defaultHandled[0].param, static_cast<uint32_t>('A'));
  EXPECT_EQ(backend.defaultHandled[1].type, MessageType::Close);
}
