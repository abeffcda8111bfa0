// Dialog 101 from the program's resources over the Win32 dialog manager: the template agrees with
// the engine's dialog table, and the OK rules read what a user checks. The user is a second
// thread that finds the dialog, clicks its buttons by id, and presses OK, Cancel or a key.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Base/DialogResource.h"
#include "GLServer/OptionsDialog.h"
#include "Platform/WindowBackend.h"

namespace od = options_dialog;

namespace {
// A minute: the first dialog in a fresh Wine prefix takes a while (fonts, the desktop process).
HWND waitForDialog() {
  for (int i = 0; i < 6000; ++i) {
    HWND dialog = FindWindowA(MAKEINTATOM(0x8002), "Options");  // the dialog class, "#32770"
    if (dialog && IsWindowVisible(dialog)) return dialog;
    Sleep(10);
  }
  return nullptr;
}

void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Runs the options dialog while `user` acts on it from another thread.
OptionsDialog::Result runWithUser(const std::function<void(HWND)>& user, OptionsChoice& choice) {
  std::thread userThread([&] {
    if (HWND dialog = waitForDialog()) user(dialog);
  });
  ManagedOptionsDialog options(platformWindowBackend());
  const OptionsDialog::Result result = options.run(od::kResource, choice);
  userThread.join();
  return result;
}

struct Case {
  const char* name;
  std::vector<int> clicked;
  int press;  // IDOK or IDCANCEL clicked, or VK_RETURN / VK_ESCAPE typed
  OptionsDialog::Result result;
  OptionsChoice choice;
};

class Win32DialogOkRules : public ::testing::TestWithParam<Case> {};
}  // namespace

TEST_P(Win32DialogOkRules, ChoiceFollowsTheCheckedButtons) {
  const Case& c = GetParam();
  OptionsChoice choice{true, 1, 2, 3, 4};  // untouched unless OK
  const OptionsChoice before = choice;
  const auto result = runWithUser(
      [&](HWND dialog) {
        for (int id : c.clicked) click(dialog, id);
        if (c.press == IDOK || c.press == IDCANCEL)
          click(dialog, c.press);
        else
          PostMessageA(dialog, WM_KEYDOWN, c.press, 0);
      },
      choice);
  ASSERT_EQ(result, c.result);
  const OptionsChoice& want = c.result == OptionsDialog::Result::Ok ? c.choice : before;
  EXPECT_EQ(choice.fullscreen, want.fullscreen);
  EXPECT_EQ(choice.width, want.width);
  EXPECT_EQ(choice.height, want.height);
  EXPECT_EQ(choice.colourBits, want.colourBits);
  EXPECT_EQ(choice.stencilBits, want.stencilBits);
}

using R = OptionsDialog::Result;
INSTANTIATE_TEST_SUITE_P(
    Users, Win32DialogOkRules,
    ::testing::Values(
        Case{"Untouched", {}, IDOK, R::Ok, {false, 640, 480, 32, 0}},
        Case{"EnterPressesOk", {od::k800x600}, VK_RETURN, R::Ok, {false, 800, 600, 32, 0}},
        Case{"Everything", {od::k1024x768, od::k16Bpp, od::kStencil8, od::kFullscreen}, IDOK, R::Ok,
             {true, 1024, 768, 16, 8}},
        // Radio groups: a later click in the same group unchecks the earlier one.
        Case{"ResolutionGroup", {od::k640x480, od::k1024x768}, IDOK, R::Ok, {false, 1024, 768, 32, 0}},
        Case{"StencilGroup", {od::kStencil8, od::kStencil16}, IDOK, R::Ok, {false, 640, 480, 32, 0}},
        Case{"StencilTurnedOff", {od::kStencil8, od::kStencilOff}, IDOK, R::Ok, {false, 640, 480, 32, 0}},
        // The depth buttons are in their own group: they leave the stencil choice alone.
        Case{"DepthLeavesStencil", {od::kStencil8, od::kDepth32, od::k32Bpp}, IDOK, R::Ok, {false, 640, 480, 32, 8}},
        Case{"Cancel", {od::k800x600, od::kFullscreen}, IDCANCEL, R::Cancel, {}},
        Case{"EscapeCancels", {od::k800x600}, VK_ESCAPE, R::Cancel, {}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Win32Dialog, EveryButtonStartsClear) {
  std::vector<int> checked;
  OptionsChoice choice;
  runWithUser(
      [&](HWND dialog) {
        const DialogResource& table = *findDialogResource(od::kResource);
        for (int i = 0; i < table.controlCount; ++i)
          if (table.controls[i].id > 0 && IsDlgButtonChecked(dialog, table.controls[i].id)) checked.push_back(table.controls[i].id);
        click(dialog, IDCANCEL);
      },
      choice);
  EXPECT_TRUE(checked.empty());
}

// The window the dialog manager made from the resource, control by control against the table.
TEST(Win32Dialog, TemplateAgreesWithTheDialogTable) {
  struct Seen {
    int id;
    std::string className, text;
    LONG style;
    RECT rect;  // client coordinates of the dialog
  };
  std::vector<Seen> seen;
  std::string caption;
  RECT expectedUnits[64];  // left, top, width, height in pixels
  OptionsChoice choice;
  const DialogResource& table = *findDialogResource(od::kResource);
  ASSERT_LE(table.controlCount, 64);
  LONG dialogStyle = 0;
  RECT dialogClient{}, dialogSize{0, 0, table.width, table.height};
  runWithUser(
      [&](HWND dialog) {
        char text[128];
        GetWindowTextA(dialog, text, sizeof text);
        caption = text;
        dialogStyle = GetWindowLongA(dialog, GWL_STYLE);
        GetClientRect(dialog, &dialogClient);
        MapDialogRect(dialog, &dialogSize);
        for (int i = 0; i < table.controlCount; ++i) {
          const DialogControl& c = table.controls[i];
          // Position and size each from dialog units, as the dialog manager converts them.
          expectedUnits[i] = RECT{c.x, c.y, c.width, c.height};
          MapDialogRect(dialog, &expectedUnits[i]);
        }
        // Children are made in template order, first at the top.
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          Seen s{};
          s.id = GetDlgCtrlID(child);
          GetClassNameA(child, text, sizeof text);
          s.className = text;
          GetWindowTextA(child, text, sizeof text);
          s.text = text;
          s.style = GetWindowLongA(child, GWL_STYLE);
          GetWindowRect(child, &s.rect);
          MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&s.rect), 2);
          seen.push_back(s);
        }
        click(dialog, IDCANCEL);
      },
      choice);

  EXPECT_EQ(caption, table.caption);
  EXPECT_EQ(dialogStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
            static_cast<LONG>(WS_POPUP | WS_CAPTION | DS_MODALFRAME));
  EXPECT_EQ(dialogClient.right, dialogSize.right);
  EXPECT_EQ(dialogClient.bottom, dialogSize.bottom);
  ASSERT_EQ(seen.size(), static_cast<size_t>(table.controlCount));
  for (int i = 0; i < table.controlCount; ++i) {
    const DialogControl& c = table.controls[i];
    const Seen& s = seen[static_cast<size_t>(i)];
    SCOPED_TRACE(c.text);
    EXPECT_EQ(s.id, c.id == kNoControlId ? 0xFFFF : c.id);
    EXPECT_STREQ(s.className.c_str(), "Button");
    EXPECT_EQ(s.text, c.text);
    LONG kind = BS_PUSHBUTTON;
    switch (c.kind) {
      case ControlKind::DefaultPushButton: kind = BS_DEFPUSHBUTTON; break;
      case ControlKind::PushButton: kind = BS_PUSHBUTTON; break;
      case ControlKind::AutoRadioButton: kind = BS_AUTORADIOBUTTON; break;
      case ControlKind::AutoCheckBox: kind = BS_AUTOCHECKBOX; break;
      case ControlKind::GroupBox: kind = BS_GROUPBOX; break;
    }
    EXPECT_EQ(s.style & BS_TYPEMASK, kind);
    EXPECT_EQ((s.style & WS_GROUP) != 0, c.groupStart);
    EXPECT_EQ((s.style & WS_TABSTOP) != 0, c.tabStop);
    EXPECT_EQ(s.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(s.rect.left, expectedUnits[i].left);
    EXPECT_EQ(s.rect.top, expectedUnits[i].top);
    EXPECT_EQ(s.rect.right - s.rect.left, expectedUnits[i].right);
    EXPECT_EQ(s.rect.bottom - s.rect.top, expectedUnits[i].bottom);
  }
}

TEST(Win32Dialog, MissingDialogCannotBeShownAndSaysWhy) {
  ManagedOptionsDialog options(platformWindowBackend());
  OptionsChoice choice;
  EXPECT_EQ(options.run(999, choice), OptionsDialog::Result::CannotShow);
  EXPECT_EQ(options.lastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}
