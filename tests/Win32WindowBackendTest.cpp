// The window procedure's messages through the Win32 backend: a real window made by GLWindow,
// messages sent and posted to it as the system would.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "GLServer/GLServer.h"
#include "Platform/win32/Win32WindowBackend.h"

namespace {
constexpr char kTitle[] = "Brackenfold window test";

class Win32WindowTest : public ::testing::Test {
 protected:
  Win32WindowTest() : server(nullptr, kTitle, 214, platformWindowBackend()) {
    server.setOptionsDialog(&dialog);
    server.setAcceptSoftware(true);  // a machine without a GL driver of its own draws in software
    server.init();
  }
  ~Win32WindowTest() override {
    if (window().window) window().destroy();
  }
  void SetUp() override { ASSERT_TRUE(server.createWindow(101)); }

  GLWindow& window() { return *server.window; }
  HWND hwnd() { return reinterpret_cast<HWND>(window().window); }
  bool keyTableClear() {
    static const unsigned char zeros[256] = {};
    return std::memcmp(window().keyDown, zeros, sizeof zeros) == 0;
  }

  FixedOptionsDialog dialog{OptionsChoice{}};
  GLServer server;
};
}  // namespace

// Creation succeeds only when the messages before WM_CREATE get the default answers; the title
// set through them and the client size show that they did.
TEST_F(Win32WindowTest, CreationAnswersTheEarlyMessagesAndSizesTheClientArea) {
  ASSERT_TRUE(IsWindow(hwnd()));
  char text[64] = {};
  GetWindowTextA(hwnd(), text, sizeof text);
  EXPECT_STREQ(text, kTitle);
  RECT client{};
  ASSERT_TRUE(GetClientRect(hwnd(), &client));
  EXPECT_EQ(client.right - client.left, 640);
  EXPECT_EQ(client.bottom - client.top, 480);
  const LONG style = GetWindowLongA(hwnd(), GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(style & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  EXPECT_NE(wglGetCurrentContext(), nullptr);
}

class Win32KeyTest : public Win32WindowTest, public ::testing::WithParamInterface<WPARAM> {};

// The procedure learnt its window at WM_CREATE: keys reach that window's table.
TEST_P(Win32KeyTest, KeyDownSetsAndKeyUpClearsTheKey) {
  const WPARAM key = GetParam();
  EXPECT_EQ(SendMessageA(hwnd(), WM_KEYDOWN, key, 0), 0);
  EXPECT_EQ(window().keyDown[key], 1);
  EXPECT_EQ(SendMessageA(hwnd(), WM_KEYUP, key, 0), 0);
  EXPECT_EQ(window().keyDown[key], 0);
  EXPECT_TRUE(keyTableClear());
}

INSTANTIATE_TEST_SUITE_P(Keys, Win32KeyTest, ::testing::Values(WPARAM{0}, WPARAM{'A'}, WPARAM{VK_ESCAPE}, WPARAM{255}));

class Win32OutOfRangeKeyTest : public Win32WindowTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(Win32OutOfRangeKeyTest, CodesFrom256AreIgnored) {
  const WPARAM key = static_cast<WPARAM>(GetParam());
  SendMessageA(hwnd(), WM_KEYDOWN, key, 0);
  EXPECT_TRUE(keyTableClear());
  window().keyDown[key & 0xFF] = 1;
  SendMessageA(hwnd(), WM_KEYUP, key, 0);
  EXPECT_EQ(window().keyDown[key & 0xFF], 1);
}

// On 64 bits a parameter above 32 bits must not wrap into the table ('A' in its low bits).
INSTANTIATE_TEST_SUITE_P(Keys, Win32OutOfRangeKeyTest,
                         ::testing::Values(uint64_t{256}, uint64_t{0x141}, uint64_t{0xFFFF},
                                           sizeof(WPARAM) == 8 ? uint64_t{0x100000041} : uint64_t{0x10041}));

// The engine answers WM_CLOSE itself (the default would destroy the window at once): it posts the
// quit, which the next update takes without dispatching and tears down on.
TEST_F(Win32WindowTest, CloseQuitsAtTheNextUpdate) {
  const HWND handle = hwnd();
  EXPECT_EQ(SendMessageA(handle, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_TRUE(server.update());
  EXPECT_EQ(window().window, 0u);
  EXPECT_FALSE(IsWindow(handle));
}

TEST_F(Win32WindowTest, EscapeThroughThePumpQuitsUnlessReleasedInTheSameFrame) {
  PostMessageA(hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(hwnd(), WM_KEYUP, VK_ESCAPE, 0);
  EXPECT_FALSE(server.update());
  PostMessageA(hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(server.update());
  EXPECT_EQ(window().window, 0u);
}

// Messages the engine does not handle, other system commands among them, get the default.
TEST_F(Win32WindowTest, OtherMessagesAndSystemCommandsGetTheDefault) {
  EXPECT_EQ(SendMessageA(hwnd(), WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(std::strlen(kTitle)));
  // The default closes through WM_CLOSE, which the engine turns into the quit.
  SendMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(server.update());
}

TEST_F(Win32WindowTest, EngineMadeCloseReachesTheProcedureWithoutTheSystem) {
  window().requestClose();
  EXPECT_TRUE(IsWindow(hwnd()));
  EXPECT_TRUE(server.update());
}
