// The runtime's control look on a window with every kind of control: which
// controls it styles, that it styles each once and gives every procedure
// back, the states it tracks, and what its painters put on the screen.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gui/visual_style_win.h"
#include "shell_test_support.h"

namespace {

constexpr wchar_t kTestWindowClass[] = L"PcStyleTestWindow";

enum ControlId : int {
  kPush = 101,
  kDefaultPush,
  kDisabledPush,
  kFocusedPush,
  kPressedPush,
  kHotPush,
  kCheck = 201,
  kCheckChecked,
  kThreeState,
  kCheckDisabled,
  kRadioChecked,
  kRadio,
  kPushLikeCheck,
  kGroup = 301,
  kDropList,
  kDropDown,
  kEditBox,
  kUpDown,
  kUpDownBuddy,
  kReadOnlyEdit,
  kLabel = 401,
  kProgress,
  kOwnerDrawn,
  kBitmapButton,
  kSimpleCombo,
  kPlaceholder,
};

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DRAWITEM) return TRUE;  // the owner-drawn button stays blank
  return DefWindowProcW(window, message, wParam, lParam);
}

// A top-level window of this thread holding one control of every sort, in
// each state the look distinguishes.
class StyleTestWindow {
 public:
  StyleTestWindow() {
    StartRuntimeHere();
    static const ATOM registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof windowClass;
      windowClass.lpfnWndProc = TestWindowProc;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
      windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
      windowClass.lpszClassName = kTestWindowClass;
      return RegisterClassExW(&windowClass);
    }();
    (void)registered;
    window_.Reset(CreateWindowExW(0, kTestWindowClass, L"look", WS_POPUP | WS_BORDER | WS_VISIBLE,
                                  8, 8, 640, 250, nullptr, nullptr, GetModuleHandleA(nullptr),
                                  nullptr));
    font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    const DWORD child = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    Add(L"BUTTON", L"普通", child | BS_PUSHBUTTON, kPush, 10, 10, 90, 30);
    Add(L"BUTTON", L"默认", child | BS_DEFPUSHBUTTON, kDefaultPush, 110, 10, 90, 30);
    Add(L"BUTTON", L"禁用", child | BS_PUSHBUTTON | WS_DISABLED, kDisabledPush, 210, 10, 90, 30);
    Add(L"BUTTON", L"焦点", child | BS_PUSHBUTTON, kFocusedPush, 310, 10, 90, 30);
    Add(L"BUTTON", L"按下", child | BS_PUSHBUTTON, kPressedPush, 410, 10, 90, 30);
    Add(L"BUTTON", L"悬停", child | BS_PUSHBUTTON, kHotPush, 510, 10, 90, 30);

    Add(L"BUTTON", L"未选", child | BS_AUTOCHECKBOX, kCheck, 10, 55, 70, 24);
    Add(L"BUTTON", L"已选", child | BS_AUTOCHECKBOX | BS_MULTILINE | BS_VCENTER, kCheckChecked, 90,
        55, 70, 24);
    Add(L"BUTTON", L"三态", child | BS_AUTO3STATE, kThreeState, 170, 55, 70, 24);
    Add(L"BUTTON", L"禁用", child | BS_AUTOCHECKBOX | WS_DISABLED, kCheckDisabled, 250, 55, 70, 24);
    Add(L"BUTTON", L"单选", child | BS_AUTORADIOBUTTON | WS_GROUP, kRadioChecked, 330, 55, 70, 24);
    Add(L"BUTTON", L"单选二", child | BS_AUTORADIOBUTTON, kRadio, 410, 55, 80, 24);
    Add(L"BUTTON", L"按钮式", child | BS_AUTOCHECKBOX | BS_PUSHLIKE, kPushLikeCheck, 500, 55, 90,
        26);
    Send(kCheckChecked, BM_SETCHECK, BST_CHECKED);
    Send(kThreeState, BM_SETCHECK, BST_INDETERMINATE);
    Send(kCheckDisabled, BM_SETCHECK, BST_CHECKED);
    Send(kRadioChecked, BM_SETCHECK, BST_CHECKED);
    Send(kPushLikeCheck, BM_SETCHECK, BST_CHECKED);

    Add(L"BUTTON", L"分组框", child | BS_GROUPBOX, kGroup, 10, 90, 300, 110);
    Add(L"COMBOBOX", L"", child | CBS_DROPDOWNLIST | WS_VSCROLL, kDropList, 20, 110, 130, 120);
    Add(L"COMBOBOX", L"", child | CBS_DROPDOWN | WS_VSCROLL, kDropDown, 160, 110, 130, 120);
    for (int id : {kDropList, kDropDown}) {
      for (const wchar_t* item : {L"jpg", L"tif", L"png"}) {
        SendMessageW(Child(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      Send(id, CB_SETCURSEL, 0);
    }
    Add(L"EDIT", L"编辑框", child | WS_BORDER | ES_AUTOHSCROLL, kEditBox, 20, 145, 130, 22);
    Add(L"EDIT", L"5", child | WS_BORDER | ES_NUMBER, kUpDownBuddy, 160, 145, 60, 22);
    Add(UPDOWN_CLASSW, L"", child | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS, kUpDown, 0, 0,
        0, 0);
    SendMessageW(Child(kUpDown), UDM_SETBUDDY, reinterpret_cast<WPARAM>(Child(kUpDownBuddy)), 0);
    Add(L"EDIT", L"只读", child | WS_BORDER | ES_READONLY, kReadOnlyEdit, 20, 172, 130, 22);

    Add(L"STATIC", L"标签", child, kLabel, 330, 100, 80, 20);
    Add(PROGRESS_CLASSW, L"", child, kProgress, 330, 125, 150, 16);
    Add(L"BUTTON", L"自绘", child | BS_OWNERDRAW, kOwnerDrawn, 330, 150, 60, 26);
    Add(L"BUTTON", L"", child | BS_BITMAP, kBitmapButton, 400, 150, 60, 26);
    Add(L"COMBOBOX", L"", child | CBS_SIMPLE, kSimpleCombo, 490, 100, 100, 90);
    // An empty push button that is only a tab stop: a placeholder, left alone.
    Add(L"BUTTON", L"", WS_CHILD | WS_TABSTOP, kPlaceholder, 600, 200, 10, 10);

    SetForegroundWindow(window_.Get());
    SetFocus(Child(kFocusedPush));
    PumpMessagesFor(50);
  }

  ~StyleTestWindow() {
    SetVisualStyle(0);
    window_.Reset();
  }

  HWND Window() const { return window_.Get(); }
  HWND Child(int id) const { return GetDlgItem(window_.Get(), id); }
  LRESULT Send(int id, UINT message, WPARAM wParam, LPARAM lParam = 0) const {
    return SendMessageW(Child(id), message, wParam, lParam);
  }
  HWND DropListOf(int comboId) const {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(Child(comboId), &info);
    return info.hwndList;
  }
  HWND EditFieldOf(int comboId) const {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(Child(comboId), &info);
    return info.hwndItem;
  }

  // Every control and drop-down list with the kind it should be styled as
  // (-1: not styled).
  std::map<HWND, int> ExpectedKinds() const {
    std::map<HWND, int> kinds;
    for (int id : {kPush, kDefaultPush, kDisabledPush, kFocusedPush, kPressedPush, kHotPush,
                   kPushLikeCheck}) {
      kinds[Child(id)] = 0;
    }
    for (int id : {kCheck, kCheckChecked, kThreeState, kCheckDisabled}) kinds[Child(id)] = 1;
    for (int id : {kRadioChecked, kRadio}) kinds[Child(id)] = 2;
    for (int id : {kEditBox, kUpDownBuddy, kReadOnlyEdit}) kinds[Child(id)] = 3;
    for (int id : {kDropList, kDropDown}) kinds[Child(id)] = 4;
    kinds[Child(kUpDown)] = 5;
    kinds[Child(kGroup)] = 11;
    kinds[DropListOf(kDropList)] = 12;
    kinds[DropListOf(kDropDown)] = 12;
    // The edit field of a combo box is an edit like any other.
    kinds[EditFieldOf(kDropDown)] = 3;
    kinds[EditFieldOf(kSimpleCombo)] = 3;
    kinds[DropListOf(kSimpleCombo)] = -1;
    for (int id : {kLabel, kProgress, kOwnerDrawn, kBitmapButton, kSimpleCombo, kPlaceholder}) {
      kinds[Child(id)] = -1;
    }
    kinds[window_.Get()] = -1;
    return kinds;
  }

 private:
  void Add(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y,
           int width, int height) {
    const HWND control =
        CreateWindowExW(0, className, text, style, x, y, width, height, window_.Get(),
                        reinterpret_cast<HMENU>(id), GetModuleHandleA(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  UniqueWindow window_;
  HFONT font_ = nullptr;
};

WNDPROC ProcedureOf(HWND window) {
  // Read wide, as the look subclasses through the wide functions.
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
}

void ExpectStyledOnceOver(const std::map<HWND, int>& kinds,
                          const std::map<HWND, WNDPROC>& original) {
  for (const auto& entry : kinds) {
    const HWND window = entry.first;
    SCOPED_TRACE(testing::Message() << "class " << testing::PrintToString(ClassNameOf(window))
                                    << " id " << GetDlgCtrlID(window));
    const std::optional<StyledWindowInfo> info = StyledWindowInfoOf(window);
    if (entry.second < 0) {
      EXPECT_FALSE(info.has_value());
      EXPECT_EQ(original.at(window), ProcedureOf(window));
      continue;
    }
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(entry.second, static_cast<int>(info->kind));
    // Passing on to the class's own procedure, not to a second styled layer.
    EXPECT_EQ(original.at(window), info->previousProc);
    EXPECT_NE(original.at(window), ProcedureOf(window));
  }
}

int CountStyled(const std::map<HWND, int>& kinds) {
  int count = 0;
  for (const auto& entry : kinds) count += entry.second >= 0 ? 1 : 0;
  return count;
}

// --- Subclassing ------------------------------------------------------------------

TEST(VisualStyle, SwitchingOnTwiceStylesEachControlOnceAndSwitchingOffRestoresEveryProcedure) {
  StyleTestWindow test;
  const std::map<HWND, int> kinds = test.ExpectedKinds();
  std::map<HWND, WNDPROC> original;
  for (const auto& entry : kinds) {
    ASSERT_NE(nullptr, entry.first);
    original[entry.first] = ProcedureOf(entry.first);
  }

  // Other windows of this thread (the main window, if an earlier test in this
  // process loaded it) are styled as well; the count covers them.
  EXPECT_TRUE(SetVisualStyle(2));
  EXPECT_TRUE(IsVisualStyleHookInstalled());
  EXPECT_EQ(2, CurrentVisualStyleOption());
  ExpectStyledOnceOver(kinds, original);
  const int styledCount = StyledWindowCount();
  EXPECT_GE(styledCount, CountStyled(kinds));

  EXPECT_TRUE(SetVisualStyle(2));
  ExpectStyledOnceOver(kinds, original);
  EXPECT_EQ(styledCount, StyledWindowCount());

  EXPECT_TRUE(SetVisualStyle(0)) << "the answer of UnhookWindowsHookEx";
  EXPECT_FALSE(IsVisualStyleHookInstalled());
  EXPECT_EQ(0, StyledWindowCount());
  for (const auto& entry : kinds) {
    EXPECT_EQ(original.at(entry.first), ProcedureOf(entry.first));
    EXPECT_FALSE(StyledWindowInfoOf(entry.first).has_value());
  }
  EXPECT_FALSE(SetVisualStyle(0)) << "no hook was installed";

  // Off means off for windows created now.
  const HWND later = CreateWindowExA(0, "BUTTON", "later", WS_CHILD | WS_VISIBLE, 0, 200, 50, 20,
                                     test.Window(), nullptr, GetModuleHandleA(nullptr), nullptr);
  EXPECT_FALSE(StyledWindowInfoOf(later).has_value());
}

TEST(VisualStyle, OtherOptionsSwitchOffAndOptionsOneToThreeSwitchOn) {
  StyleTestWindow test;
  for (int option : {1, 3, 2}) {
    EXPECT_TRUE(SetVisualStyle(option));
    EXPECT_TRUE(StyledWindowInfoOf(test.Child(kPush)).has_value()) << option;
  }
  EXPECT_TRUE(SetVisualStyle(4));
  EXPECT_FALSE(StyledWindowInfoOf(test.Child(kPush)).has_value());
  EXPECT_EQ(4, CurrentVisualStyleOption());
  EXPECT_TRUE(SetVisualStyle(2));
  EXPECT_TRUE(SetVisualStyle(-1));
  EXPECT_FALSE(IsVisualStyleHookInstalled());
}

TEST(VisualStyle, ControlsCreatedLaterOnThisThreadAreStyledAndLeaveTheListWhenDestroyed) {
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  const int before = StyledWindowCount();

  const HWND button =
      CreateWindowExW(0, L"Button", L"新按钮", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 0, 205, 80, 20,
                      test.Window(), nullptr, GetModuleHandleA(nullptr), nullptr);
  const HWND combo =
      CreateWindowExW(0, L"ComboBox", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 90, 205, 80,
                      100, test.Window(), nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(StyledWindowInfoOf(button).has_value());
  EXPECT_EQ(StyleKind::kCheckBox, StyledWindowInfoOf(button)->kind);
  ASSERT_TRUE(StyledWindowInfoOf(combo).has_value());
  EXPECT_EQ(before + 3, StyledWindowCount()) << "button, combo box and its drop-down list";

  DestroyWindow(button);
  EXPECT_FALSE(StyledWindowInfoOf(button).has_value());
  EXPECT_EQ(before + 2, StyledWindowCount());
}

TEST(VisualStyle, StyledControlsKeepUnicodeTextsExactly) {
  // The look subclasses wide: a text set or read through a styled control
  // never passes through the ANSI code page.
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  const std::wstring texts[] = {
      L"中文", L"café", L"사진", L"ｼｬｼﾝ", L"😀", L"Ünïcødé", L"mix 中文-사진-😀-é"};
  for (const int id : {kPush, kCheck, kRadio, kGroup, kEditBox}) {
    ASSERT_TRUE(StyledWindowInfoOf(test.Child(id)).has_value()) << id;
    for (const std::wstring& text : texts) {
      SetWindowTextW(test.Child(id), text.c_str());
      EXPECT_EQ(text, CaptionOf(test.Child(id))) << id;
      EXPECT_EQ(text, WindowTextOf(test.Child(id))) << id;
    }
  }
  const HWND list = test.Child(kDropList);
  for (const std::wstring& text : texts) {
    const LRESULT index =
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    EXPECT_EQ(text, WindowTextOf(list));
  }
  PumpMessagesFor(50);  // the painters draw the texts without failing
}

TEST(VisualStyle, WindowsOfOtherThreadsAreNotStyled) {
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  HWND foreign = nullptr;
  bool styled = true;
  TestThread other([&] {
    foreign = CreateWindowExW(0, L"Button", L"别的线程", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    styled = StyledWindowInfoOf(foreign).has_value();
    DestroyWindow(foreign);
  });
  ASSERT_TRUE(other.Join());
  EXPECT_NE(nullptr, foreign);
  EXPECT_FALSE(styled);
}

// --- States -----------------------------------------------------------------------

uint32_t StateOf(HWND window) {
  const std::optional<StyledWindowInfo> info = StyledWindowInfoOf(window);
  return info ? info->state : 0xFFFFFFFFu;
}

TEST(VisualStyleState, InitialStatesComeFromStyleCheckStateAndFocus) {
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  EXPECT_EQ(0u, StateOf(test.Child(kPush)));
  EXPECT_EQ(uint32_t{kStateDefault}, StateOf(test.Child(kDefaultPush)));
  EXPECT_EQ(uint32_t{kStateDisabled}, StateOf(test.Child(kDisabledPush)));
  EXPECT_EQ(uint32_t{kStateFocused}, StateOf(test.Child(kFocusedPush)));
  EXPECT_EQ(0u, StateOf(test.Child(kCheck)));
  EXPECT_EQ(uint32_t{kStateChecked}, StateOf(test.Child(kCheckChecked)));
  EXPECT_EQ(uint32_t{kStateIndeterminate}, StateOf(test.Child(kThreeState)));
  EXPECT_EQ(uint32_t{kStateChecked | kStateDisabled}, StateOf(test.Child(kCheckDisabled)));
  EXPECT_EQ(uint32_t{kStateChecked}, StateOf(test.Child(kRadioChecked)));
  EXPECT_EQ(uint32_t{kStateChecked}, StateOf(test.Child(kPushLikeCheck)));
  EXPECT_EQ(uint32_t{kStateReadOnly}, StateOf(test.Child(kReadOnlyEdit)));
}

TEST(VisualStyleState, StateFollowsCheckPressStyleEnableAndFocusChanges) {
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  const HWND check = test.Child(kCheck);
  SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(uint32_t{kStateChecked}, StateOf(check));
  SendMessageW(check, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(uint32_t{kStateIndeterminate}, StateOf(check));
  SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_EQ(0u, StateOf(check));
  // A click through the control's own procedure checks it via BM_SETCHECK.
  SendMessageW(check, BM_CLICK, 0, 0);
  EXPECT_EQ(BST_CHECKED, SendMessageW(check, BM_GETCHECK, 0, 0));
  EXPECT_TRUE(StateOf(check) & kStateChecked);

  const HWND push = test.Child(kPush);
  SendMessageW(push, BM_SETSTATE, TRUE, 0);
  EXPECT_TRUE(StateOf(push) & kStatePressed);
  SendMessageW(push, BM_SETSTATE, FALSE, 0);
  EXPECT_FALSE(StateOf(push) & kStatePressed);
  SendMessageW(push, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_TRUE(StateOf(push) & kStateDefault);
  SendMessageW(push, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  EXPECT_FALSE(StateOf(push) & kStateDefault);

  EnableWindow(push, FALSE);
  EXPECT_TRUE(StateOf(push) & kStateDisabled);
  EnableWindow(push, TRUE);
  EXPECT_FALSE(StateOf(push) & kStateDisabled);

  SetFocus(push);
  EXPECT_TRUE(StateOf(push) & kStateFocused);
  EXPECT_FALSE(StateOf(test.Child(kFocusedPush)) & kStateFocused);
  SetFocus(test.Child(kDropList));
  EXPECT_FALSE(StateOf(push) & kStateFocused);
  EXPECT_TRUE(StateOf(test.Child(kDropList)) & kStateFocused);
}

POINT CentreOnScreen(HWND window) {
  RECT bounds;
  GetWindowRect(window, &bounds);
  return POINT{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
}

TEST(VisualStyleState, HoveringAButtonMakesItHotAndLeavingMakesItNormal) {
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  const HWND button = test.Child(kHotPush);
  const POINT over = CentreOnScreen(button);
  SetCursorPos(over.x, over.y);
  EXPECT_TRUE(PumpMessagesUntil([&] { return (StateOf(button) & kStateHot) != 0; }, 3000));
  const POINT away = CentreOnScreen(test.Child(kLabel));
  SetCursorPos(away.x, away.y);
  EXPECT_TRUE(PumpMessagesUntil([&] { return (StateOf(button) & kStateHot) == 0; }, 3000));
}

// --- Painting ---------------------------------------------------------------------

COLORREF PixelOf(HWND window, int x, int y) {
  UpdateWindow(window);
  const HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

// A point of a push button's face, clear of its frames, focus mark and text.
COLORREF FaceOf(HWND button) {
  RECT client;
  GetClientRect(button, &client);
  return PixelOf(button, 3, client.bottom / 2);
}

// A point inside a check box's box, clear of the tick.
COLORREF BoxOf(HWND check) {
  RECT client;
  GetClientRect(check, &client);
  return PixelOf(check, 3, (client.bottom - 13) / 2 + 2);
}

std::string Hex(COLORREF colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%06lX", static_cast<unsigned long>(colour));
  return text;
}

TEST(VisualStylePainting, EachButtonStateHasItsOwnLookAndSwitchingOffGivesTheOldLookBack) {
  StyleTestWindow test;
  const COLORREF classicFace = FaceOf(test.Child(kPush));
  ASSERT_TRUE(SetVisualStyle(2));
  SendMessageW(test.Child(kPressedPush), BM_SETSTATE, TRUE, 0);
  const POINT over = CentreOnScreen(test.Child(kHotPush));
  SetCursorPos(over.x, over.y);
  PumpMessagesUntil([&] { return (StateOf(test.Child(kHotPush)) & kStateHot) != 0; }, 3000);

  const COLORREF normal = FaceOf(test.Child(kPush));
  const COLORREF disabled = FaceOf(test.Child(kDisabledPush));
  const COLORREF pressed = FaceOf(test.Child(kPressedPush));
  const COLORREF hot = FaceOf(test.Child(kHotPush));
  std::printf("faces: classic %s normal %s disabled %s pressed %s hot %s\n",
              Hex(classicFace).c_str(), Hex(normal).c_str(), Hex(disabled).c_str(),
              Hex(pressed).c_str(), Hex(hot).c_str());
  EXPECT_NE(classicFace, normal) << "the styled face differs from the system's";
  EXPECT_NE(normal, disabled);
  EXPECT_NE(normal, pressed);
  EXPECT_NE(normal, hot);
  EXPECT_NE(pressed, hot);
  EXPECT_NE(disabled, hot);

  const COLORREF unchecked = BoxOf(test.Child(kCheck));
  const COLORREF checked = BoxOf(test.Child(kCheckChecked));
  const COLORREF checkedDisabled = BoxOf(test.Child(kCheckDisabled));
  EXPECT_NE(unchecked, checked);
  EXPECT_NE(checked, checkedDisabled);

  ASSERT_TRUE(SetVisualStyle(0));
  SendMessageW(test.Child(kPressedPush), BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(classicFace, FaceOf(test.Child(kPush)));
}

// The unix form of a path under drive Z:, which Wine maps to the root.
std::string UnixPathOf(const std::string& windowsPath) {
  std::string path = windowsPath;
  if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path.erase(0, 2);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

TEST(VisualStylePainting, AScreenshotOfEveryStateIsSavedBesideTheTests) {
  if (GetFileAttributesA("Z:\\usr\\bin\\import") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "ImageMagick's import is not installed";
  }
  LoadMainWindow();  // the program's own window, styled as the controller does
  StyleTestWindow test;
  ASSERT_TRUE(SetVisualStyle(2));
  SendMessageW(test.Child(kPressedPush), BM_SETSTATE, TRUE, 0);
  const POINT over = CentreOnScreen(test.Child(kHotPush));
  SetCursorPos(over.x, over.y);
  PumpMessagesUntil([&] { return (StateOf(test.Child(kHotPush)) & kStateHot) != 0; }, 3000);
  PumpMessagesFor(200);

  const std::string shot = TestProgramFolder() + "\\visual_style_states.png";
  DeleteFileA(shot.c_str());
  // Wine starts unix programs too; it hands back no handle to wait on, so
  // the picture's arrival is what is waited for.
  std::string commandLine = "/usr/bin/import -window root " + UnixPathOf(shot);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  if (started.hProcess != nullptr) CloseHandle(started.hProcess);
  if (started.hThread != nullptr) CloseHandle(started.hThread);

  const auto sizeOfShot = [&]() -> LONGLONG {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(shot.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  };
  bool saved = PumpMessagesUntil([&] { return sizeOfShot() > 0; }, kWaitMs);
  // Written once it stops growing.
  for (LONGLONG last = -1; saved && sizeOfShot() != last;) {
    last = sizeOfShot();
    PumpMessagesFor(300);
  }
  EXPECT_TRUE(saved) << shot;
  std::printf("screenshot: %s\n", shot.c_str());
}

}  // namespace
