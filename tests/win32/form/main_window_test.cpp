// The main window as loaded from its form: controls, geometry, styles,
// initial states, icon and the created event.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>
#include <vector>

#include "form_test_support.h"
#include "base/runtime_memory.h"
#include "gui/form_template_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "gui/runtime_win.h"

namespace {

struct ExpectedControl {
  uint32_t id;
  const wchar_t* className;
  const wchar_t* caption;
  RECT bounds;  // left, top, right, bottom in the window's client area
  DWORD ownStyle;
  DWORD exStyle;
  bool visible;
};

constexpr DWORD kChildStyle = WS_CHILD | WS_CLIPSIBLINGS;

const std::vector<ExpectedControl>& ExpectedControls() {
  static const std::vector<ExpectedControl> controls = {
      {kAlwaysOnTopCheckboxId,
       L"Button",
       L"窗口置顶",
       {119, 81, 199, 109},
       BS_AUTOCHECKBOX | BS_MULTILINE | BS_LEFT | BS_VCENTER | WS_TABSTOP,
       0,
       true},
      {kDropHintLabelId, L"_QX_Label", L"支持直接拖入转换", {3, 83, 123, 107}, 0, 0, true},
      {kProgressBarId, L"msctls_progress32", L"", {16, 60, 184, 76}, 0, WS_EX_STATICEDGE, true},
      {kCommonDialogId, L"_QX_CommonDlg", L"", {128, 53, 158, 83}, 0, 0, false},
      {kFormatLabelId, L"_QX_Label", L"选择转换后格式", {16, 10, 112, 26}, 0, 0, true},
      {kFormatComboId,
       L"ComboBox",
       L"jpg",
       {16, 30, 184, 50},
       CBS_DROPDOWNLIST | WS_TABSTOP,
       0,
       true},
      {kBatchButtonId,
       L"Button",
       L"批量转换",
       {200, 16, 280, 56},
       BS_PUSHBUTTON | WS_TABSTOP,
       0,
       true},
      {kSingleButtonId,
       L"Button",
       L"单个转换",
       {200, 65, 280, 105},
       BS_PUSHBUTTON | WS_TABSTOP,
       0,
       true},
  };
  return controls;
}

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) +
         L"," + std::to_wstring(r.bottom);
}

}  // namespace

TEST(MainWindow, EveryControlHasItsIdClassCaptionGeometryStyleAndVisibility) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  for (const ExpectedControl& expected : ExpectedControls()) {
    SCOPED_TRACE(testing::Message() << "control 0x" << std::hex << expected.id);
    const HWND control = ChildWithId(window, expected.id);
    ASSERT_NE(control, nullptr) << "no child window with this id";
    EXPECT_EQ(GetWindowHandle(ControlRef{kMainWindowId, expected.id}), control);
    EXPECT_EQ(ClassNameOf(control), expected.className);
    EXPECT_EQ(WindowTextOf(control), expected.caption);
    EXPECT_EQ(RectText(RectInParentClient(control)), RectText(expected.bounds));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    EXPECT_EQ(style & kChildStyle, kChildStyle);
    EXPECT_EQ(style & expected.ownStyle, expected.ownStyle) << std::hex << style;
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
    EXPECT_EQ(exStyle & expected.exStyle, expected.exStyle) << std::hex << exStyle;
    EXPECT_EQ((style & WS_VISIBLE) != 0, expected.visible);
    EXPECT_EQ(IsWindowEnabled(control) != 0, true);
    if (expected.id != kCommonDialogId) {  // the hidden host shows no text
      EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)),
                GetStockObject(DEFAULT_GUI_FONT));
    }
  }
  // The checkbox shows and clicks as an automatic checkbox.
  const HWND checkbox = ChildWithId(window, kAlwaysOnTopCheckboxId);
  EXPECT_EQ(GetWindowLongW(checkbox, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  // The progress bar is a horizontal block bar.
  const HWND bar = ChildWithId(window, kProgressBarId);
  EXPECT_EQ(GetWindowLongW(bar, GWL_STYLE) & (PBS_SMOOTH | PBS_VERTICAL), 0);
}

TEST(MainWindow, DropObjectHasNoNativeWindowAndNothingElseIsAChild) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowHandle(kDropObject), nullptr);
  EXPECT_EQ(ChildWithId(window, kDropObjectId), nullptr);
  int children = 0;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ++children;
  }
  EXPECT_EQ(children, 8);
}

TEST(MainWindow, ControlsAreCreatedInTheFormOrder) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  // Children are listed from the top of the z-order, which is creation order.
  std::vector<uint32_t> order;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    order.push_back(static_cast<uint32_t>(GetWindowLongPtrW(child, GWLP_ID)));
  }
  const std::vector<uint32_t> expected = {kAlwaysOnTopCheckboxId, kDropHintLabelId, kProgressBarId,
                                          kCommonDialogId,        kFormatLabelId,   kFormatComboId,
                                          kBatchButtonId,         kSingleButtonId};
  EXPECT_EQ(order, expected);
}

TEST(MainWindow, IsAFixedCentredTopmostWindowWithOnlyMinimiseAndControlBox) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowTextOf(window), L"图片转换by:quibrox");
  EXPECT_TRUE(IsWindowVisible(window));

  RECT bounds{};
  GetWindowRect(window, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 302);
  EXPECT_EQ(bounds.bottom - bounds.top, 150);
  EXPECT_EQ(bounds.left, (GetSystemMetrics(SM_CXSCREEN) - 302) / 2);
  EXPECT_EQ(bounds.top, (GetSystemMetrics(SM_CYSCREEN) - 150) / 2);

  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  const DWORD wanted = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  EXPECT_EQ(style & wanted, wanted) << std::hex << style;
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP), 0u)
      << std::hex << style;
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  EXPECT_NE(exStyle & WS_EX_TOPMOST, 0u) << std::hex << exStyle;
  EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE | WS_EX_APPWINDOW), 0u)
      << std::hex << exStyle;
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr) << "a window with a task-bar button has no owner";
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));

  // Without a sizing frame the border does not offer resizing.
  const LRESULT corner =
      SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(bounds.right - 1, bounds.bottom - 1));
  EXPECT_NE(corner, HTBOTTOMRIGHT);
  EXPECT_NE(corner, HTRIGHT);
  EXPECT_NE(corner, HTBOTTOM);

  // The property service sees the same place and size.
  EXPECT_EQ(PropertyService::ReadInteger(kMainWindow, kPropLeft), bounds.left);
  EXPECT_EQ(PropertyService::ReadInteger(kMainWindow, kPropTop), bounds.top);
  EXPECT_EQ(PropertyService::ReadInteger(kMainWindow, kPropWidth), 302);
  EXPECT_EQ(PropertyService::ReadInteger(kMainWindow, kPropHeight), 150);
}

TEST(MainWindow, CanBeMinimisedAndRestored) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(window));
  SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(window));
  RECT bounds{};
  GetWindowRect(window, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 302);
}

TEST(MainWindow, StartsWithJpgSelectedTheCheckboxCheckedAndOnTopAlike) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  const HWND combo = ChildWithId(window, kFormatComboId);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
  const wchar_t* const items[] = {L"jpg", L"tif", L"png"};
  for (int i = 0; i < 3; ++i) {
    wchar_t item[16] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, items[i]);
  }
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(WindowTextOf(combo), L"jpg");
  char* content = PropertyService::ReadText(kFormatCombo, kPropComboContent);
  EXPECT_STREQ(content, "jpg");
  RuntimeFree(content);

  const HWND checkbox = ChildWithId(window, kAlwaysOnTopCheckboxId);
  EXPECT_EQ(SendMessageW(checkbox, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(PropertyService::ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 1);
  EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

  EXPECT_EQ(PropertyService::ReadInteger(kProgressBar, kPropProgressMinimum), 0);
  EXPECT_EQ(PropertyService::ReadInteger(kProgressBar, kPropProgressMaximum), 100);
  EXPECT_EQ(PropertyService::ReadInteger(kProgressBar, kPropProgressPosition), 0);
  const HWND bar = ChildWithId(window, kProgressBarId);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);

  // Dropped files are refused until the controller enables them.
  EXPECT_EQ(PropertyService::ReadInteger(kDropObject, kPropDropAcceptFiles), 0);
}

TEST(MainWindow, CommonDialogAndDropObjectNeverShow) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);
  const HWND host = ChildWithId(window, kCommonDialogId);
  ASSERT_NE(host, nullptr);
  EXPECT_FALSE(IsWindowVisible(host));
  EXPECT_EQ(PropertyService::ReadInteger(kCommonDialog, kPropVisible), 0);
  EXPECT_EQ(PropertyService::ReadInteger(kDropObject, kPropVisible), 0);

  std::set<uint32_t> shown;
  for (const HWND child : VisibleChildren(window)) {
    shown.insert(static_cast<uint32_t>(GetWindowLongPtrW(child, GWLP_ID)));
  }
  const std::set<uint32_t> expected = {kAlwaysOnTopCheckboxId, kDropHintLabelId, kProgressBarId,
                                       kFormatLabelId,         kFormatComboId,   kBatchButtonId,
                                       kSingleButtonId};
  EXPECT_EQ(shown, expected);

  // The only visible top-level window of the program is the main window.
  for (const HWND top : TopLevelWindowsOf(GetCurrentProcessId(), L"_QX_CommonDlg")) {
    EXPECT_FALSE(IsWindowVisible(top));
  }
  int visibleForms = 0;
  for (const HWND top : TopLevelWindowsOf(GetCurrentProcessId(), L"_QX_Form")) {
    if (IsWindowVisible(top)) ++visibleForms;
  }
  EXPECT_EQ(visibleForms, 1);
}

TEST(MainWindow, CarriesTheProgramIconAsBigAndSmallIcon) {
  const HWND window = MainWindowHandle();
  ASSERT_NE(window, nullptr);

  // The resource: one 200x200 image of 32 bits per pixel.
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
  };
  struct GroupHeader {
    WORD reserved, type, count;
  };
#pragma pack(pop)
  const HRSRC group =
      FindResourceA(nullptr, MAKEINTRESOURCEA(kMainWindowIconResourceId), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr) << "the icon is not among the program's resources";
  const auto* header = static_cast<const GroupHeader*>(LockResource(LoadResource(nullptr, group)));
  ASSERT_NE(header, nullptr);
  ASSERT_EQ(header->count, 1);
  const auto* entry = reinterpret_cast<const GroupEntry*>(header + 1);
  EXPECT_EQ(entry->width, 200);
  EXPECT_EQ(entry->height, 200);
  EXPECT_EQ(entry->bitCount, 32);
  EXPECT_EQ(entry->bytes, 165640u);  // header, colour rows and mask, uncompressed

  struct Expected {
    WPARAM kind;
    int metric;
  };
  for (const Expected& expected :
       {Expected{ICON_BIG, SM_CXICON}, Expected{ICON_SMALL, SM_CXSMICON}}) {
    SCOPED_TRACE(expected.kind == ICON_BIG ? "big" : "small");
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, expected.kind, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(expected.metric));
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);

    // Drawn on white, the icon shows the design's colours: many of them,
    // and a blue tile in the middle of its left edge.
    const int size = GetSystemMetrics(expected.metric);
    BITMAPINFO bitmapInfo{};
    bitmapInfo.bmiHeader.biSize = sizeof bitmapInfo.bmiHeader;
    bitmapInfo.bmiHeader.biWidth = size;
    bitmapInfo.bmiHeader.biHeight = -size;
    bitmapInfo.bmiHeader.biPlanes = 1;
    bitmapInfo.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP canvas = CreateDIBSection(dc, &bitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, canvas);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    std::set<uint32_t> colours(pixels, pixels + size * size);
    EXPECT_GT(colours.size(), 10u);
    const uint32_t edge = pixels[(size / 2) * size + size / 10] & 0xFFFFFF;
    const int blue = edge & 0xFF, green = (edge >> 8) & 0xFF, red = (edge >> 16) & 0xFF;
    EXPECT_GT(blue, red + 40) << std::hex << edge;
    EXPECT_GT(blue, 100) << std::hex << edge;
    (void)green;
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
  }
}

TEST(MainWindow, CreatedEventRanOnceOnTheGuiThreadAfterTheControlsAndBeforeShowing) {
  int created = 0;
  for (const HandlerCall& call : HandlerCalls()) {
    if (call.name != "created") continue;
    ++created;
    EXPECT_EQ(call.threadId, TestGuiThreadId());
    EXPECT_EQ(call.nativeControls, 8) << "controls with a window when the event ran";
    EXPECT_TRUE(call.controlsShown) << "visible controls were not shown, or hidden ones were";
    EXPECT_FALSE(call.windowVisible) << "the window showed before its created event";
    EXPECT_EQ(call.source, kMainWindow);
    EXPECT_EQ(call.text, "") << "the common dialog's file name before any dialog";
  }
  EXPECT_EQ(created, 1);
  EXPECT_TRUE(IsWindowVisible(MainWindowHandle()));
}

TEST(MainWindow, LoadingTheSameWindowAgainLeavesTheLoadedOne) {
  const HWND window = MainWindowHandle();
  ClearHandlerCalls();
  RunOnGui([] { LoadMainForm(MainFormHandlers{}); });
  EXPECT_EQ(MainWindowHandle(), window);
  int mainWindows = 0;
  for (const HWND top : TopLevelWindowsOf(GetCurrentProcessId(), L"_QX_Form")) {
    if (WindowTextOf(top) == L"图片转换by:quibrox") ++mainWindows;
  }
  EXPECT_EQ(mainWindows, 1);
  EXPECT_TRUE(HandlerCalls().empty());
}
