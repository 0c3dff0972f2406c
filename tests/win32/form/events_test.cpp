// Events of the main window's controls reach the handlers the form binds,
// and only those.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "form_test_support.h"
#include "base/system_commands_win.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_window_win.h"
#include "gui/message_commands_win.h"
#include "gui/property_service_win.h"

namespace {

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const HandlerCall& call : HandlerCalls()) names.push_back(call.name);
  return names;
}

void ClickWithMouse(HWND control) {
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

class Events : public testing::Test {
 protected:
  void SetUp() override {
    window_ = MainWindowHandle();
    ASSERT_NE(window_, nullptr);
    ClearHandlerCalls();
  }
  void TearDown() override {
    // Leave the window as it started.
    PropertyService::WriteInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked, 1);
    const HWND combo = ChildWithId(window_, kFormatComboId);
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(kFormatComboId & 0xFFFF, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  }
  HWND window_ = nullptr;
};

}  // namespace

TEST_F(Events, ButtonClicksRunTheirOwnHandlerOnTheGuiThread) {
  SendMessageW(ChildWithId(window_, kBatchButtonId), BM_CLICK, 0, 0);
  SendMessageW(ChildWithId(window_, kSingleButtonId), BM_CLICK, 0, 0);
  SendMessageW(ChildWithId(window_, kSingleButtonId), BM_CLICK, 0, 0);
  const std::vector<HandlerCall> calls = HandlerCalls();
  ASSERT_EQ(CallNames(), (std::vector<std::string>{"batch", "single", "single"}));
  EXPECT_EQ(calls[0].source, kBatchButton);
  EXPECT_EQ(calls[1].source, kSingleButton);
  for (const HandlerCall& call : calls) EXPECT_EQ(call.threadId, TestGuiThreadId());
  EXPECT_EQ(CurrentEventSource(), (ControlRef{0, 0})) << "no handler runs now";
}

TEST_F(Events, CheckboxClickRunsItsHandlerWithTheStateAlreadyFlipped) {
  const HWND checkbox = ChildWithId(window_, kAlwaysOnTopCheckboxId);
  SendMessageW(checkbox, BM_CLICK, 0, 0);
  SendMessageW(checkbox, BM_CLICK, 0, 0);
  const std::vector<HandlerCall> calls = HandlerCalls();
  ASSERT_EQ(CallNames(), (std::vector<std::string>{"alwaysOnTop", "alwaysOnTop"}));
  EXPECT_EQ(calls[0].checked, 0) << "the handler saw the state before the click";
  EXPECT_EQ(calls[1].checked, 1);
  EXPECT_EQ(calls[0].source, kAlwaysOnTopCheckbox);
  EXPECT_EQ(calls[0].threadId, TestGuiThreadId());
}

TEST_F(Events, LabelsProgressBarAndFormatListRaiseNoHandler) {
  ClickWithMouse(ChildWithId(window_, kFormatLabelId));
  ClickWithMouse(ChildWithId(window_, kDropHintLabelId));
  ClickWithMouse(ChildWithId(window_, kProgressBarId));
  const HWND combo = ChildWithId(window_, kFormatComboId);
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(kFormatComboId & 0xFFFF, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  // The labels' own click events exist but are not bound.
  RaiseEvent(kFormatLabel, kEventClicked);
  RaiseEvent(kProgressBar, kEventClicked);
  EXPECT_TRUE(HandlerCalls().empty()) << CallNames().front();

  // The same way of clicking does reach a bound handler.
  ClickWithMouse(ChildWithId(window_, kBatchButtonId));
  EXPECT_EQ(CallNames(), std::vector<std::string>{"batch"});
}

TEST_F(Events, FilesDroppedEventHandsItsTextToTheHandlerOnTheGuiThread) {
  // Raised from this thread, delivered on the GUI thread before returning.
  RaiseEvent(kDropObject, kEventFilesDropped, "C:\\pics\\a.png\r\nC:\\pics\\b.bmp");
  RaiseEvent(kDropObject, kEventFilesDropped, nullptr);
  const std::vector<HandlerCall> calls = HandlerCalls();
  ASSERT_EQ(CallNames(), (std::vector<std::string>{"dropped", "dropped"}));
  EXPECT_EQ(calls[0].text, "C:\\pics\\a.png\r\nC:\\pics\\b.bmp");
  EXPECT_EQ(calls[0].threadId, TestGuiThreadId());
  EXPECT_EQ(calls[0].source, kDropObject);
  EXPECT_EQ(calls[1].text, "");
}

TEST_F(Events, EventsWithoutBindingAreDroppedQuietly) {
  RaiseEvent(kDropObject, 0);
  RaiseEvent(kBatchButton, 1);
  RaiseEvent(kMainWindow, 3);
  RaiseEvent(kMainWindow, 4);
  RaiseEvent(kFormatCombo, kEventSelectionChanged);
  EXPECT_TRUE(HandlerCalls().empty());
  RaiseEvent(kMainWindow, kEventWindowCreated);
  EXPECT_EQ(CallNames(), std::vector<std::string>{"created"});
}

TEST_F(Events, MessageBoxOwnerGivenAsTheWindowReferenceIsTheMainWindow) {
  const ArgRecord args[] = {MakeText("owned"), MakeInteger(0), MakeText("owner test"),
                            MakeControlRef(kMainWindowId, kWindowControlId)};
  TestThread shower([&] {
    ArgRecord result{};
    CmdShowMessage(&result, 4, args);
  });
  const HWND box = WaitForDialogOfThread(shower.Id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowTextOf(box), L"owner test");
  EXPECT_EQ(GetWindow(box, GW_OWNER), window_);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(shower.Join());
}
