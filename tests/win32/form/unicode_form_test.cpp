// A form whose texts hold names of every script: the window, label, button,
// checkbox and combo box show exactly those characters and give them back,
// through the wide window functions and through the property service, also
// where the ANSI code page has none of them.

#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/runtime_memory.h"
#include "form_test_support.h"
#include "gui/form_template_win.h"
#include "gui/form_units_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "unicode_file_names.h"

namespace {

const auto& kNames = kUnicodeFileNames;

constexpr uint32_t kUnicodeWindowId = 0x52017101;
constexpr uint32_t kLabelId = 0x16017101;
constexpr uint32_t kButtonId = 0x16017102;
constexpr uint32_t kCheckboxId = 0x16017103;
constexpr uint32_t kComboId = 0x16017104;

constexpr ControlRef kWindowRef{kUnicodeWindowId, kWindowControlId};
constexpr ControlRef kComboRef{kUnicodeWindowId, kComboId};

const wchar_t kCaptionWide[] = L"窗口 mix 中文-사진-😀-é";
const char kCaptionUtf8[] = "窗口 mix 中文-사진-😀-é";
const wchar_t kLabelWide[] = L"标签 사진 ｼｬｼﾝ 😀";
const char kLabelUtf8[] = "标签 사진 ｼｬｼﾝ 😀";
const wchar_t kButtonWide[] = L"按钮 café Ünïcødé";
const char kButtonUtf8[] = "按钮 café Ünïcødé";
const wchar_t kCheckboxWide[] = L"选项 😀 사진";
const char kCheckboxUtf8[] = "选项 😀 사진";

UnitTemplate Unit(uint32_t controlId, uint32_t unitType, const char* caption, int top, int width) {
  UnitTemplate unit;
  unit.controlId = controlId;
  unit.unitType = unitType;
  unit.left = 4;
  unit.top = top;
  unit.width = width;
  unit.height = 22;
  unit.flags = kUnitVisible;
  unit.settings.caption = caption;
  return unit;
}

const FormTemplate& UnicodeFormTemplate() {
  static const FormTemplate* const form = [] {
    auto* made = new FormTemplate;
    made->windowId = kUnicodeWindowId;
    UnitTemplate window = Unit(kWindowControlId, kUnitTypeWindow, kCaptionUtf8, 10, 320);
    window.flags = 0;  // stays hidden
    window.height = 200;
    window.settings.startPosition = 0;
    made->units.push_back(window);
    made->units.push_back(Unit(kLabelId, kUnitTypeLabel, kLabelUtf8, 4, 300));
    made->units.push_back(Unit(kButtonId, kUnitTypeButton, kButtonUtf8, 30, 200));
    made->units.push_back(Unit(kCheckboxId, kUnitTypeCheckbox, kCheckboxUtf8, 56, 200));
    UnitTemplate combo = Unit(kComboId, kUnitTypeComboBox, "", 82, 200);
    for (const UnicodeFileName& name : kNames) combo.settings.items.push_back(name.utf8);
    combo.settings.selectedIndex = 6;
    made->units.push_back(combo);
    return made;
  }();
  return *form;
}

std::string ReadText(ControlRef ref, int index) {
  char* read = PropertyService::ReadText(ref, index);
  std::string text = read;
  RuntimeFree(read);
  return text;
}

std::wstring ComboItem(HWND combo, int index) {
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return L"<no item>";
  std::wstring item(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&item[0]));
  item.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
  return item;
}

// The pixels of a width x height picture drawn by draw into a memory DC.
template <typename Draw>
std::vector<uint32_t> PixelsOf(int width, int height, Draw draw) {
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  draw(memory);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                               static_cast<const uint32_t*>(bits) + width * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The window is loaded by the first test and stays (hidden) for the others
// of the same run: a loaded window is never loaded twice.
class UnicodeForm : public testing::Test {
 protected:
  void SetUp() override {
    RunOnGui([] {
      const FormList forms = {&UnicodeFormTemplate()};
      LoadStartWindow(forms, kUnicodeWindowId, EventBindings());
    });
    window_ = GetWindowHandle(kWindowRef);
    ASSERT_NE(window_, nullptr);
  }
  HWND Child(uint32_t id) const { return ChildWithId(window_, id); }

  HWND window_ = nullptr;
};

}  // namespace

TEST_F(UnicodeForm, UnicodeTextsOfEveryControlReadBackExactlyThroughTheWideFunctions) {
  EXPECT_EQ(CaptionOf(window_), kCaptionWide);
  EXPECT_EQ(WindowTextOf(Child(kLabelId)), kLabelWide);
  EXPECT_EQ(WindowTextOf(Child(kButtonId)), kButtonWide);
  EXPECT_EQ(WindowTextOf(Child(kCheckboxId)), kCheckboxWide);

  const HWND combo = Child(kComboId);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(std::size(kNames)));
  for (int i = 0; i < static_cast<int>(std::size(kNames)); ++i) {
    EXPECT_EQ(ComboItem(combo, i), kNames[i].wide) << kNames[i].utf8;
  }
  EXPECT_EQ(WindowTextOf(combo), kNames[6].wide) << "the selected item shows";
}

TEST_F(UnicodeForm, UnicodeTitleAndComboContentComeBackAsExactUtf8FromThePropertyService) {
  EXPECT_EQ(ReadText(kWindowRef, kPropWindowTitle), kCaptionUtf8);
  EXPECT_EQ(ReadText(kComboRef, kPropComboContent), kNames[6].utf8);
  const HWND combo = Child(kComboId);
  for (int i = 0; i < static_cast<int>(std::size(kNames)); ++i) {
    SendMessageW(combo, CB_SETCURSEL, i, 0);  // no notification: the read asks the control
    EXPECT_EQ(ReadText(kComboRef, kPropComboContent), kNames[i].utf8);
  }

  // A title written in UTF-8 shows its characters and reads back the same,
  // from a worker thread as from the GUI thread.
  for (const UnicodeFileName& name : kNames) {
    const std::string title = std::string("标题 ") + name.utf8;
    TestThread worker(
        [&] { PropertyService::WriteText(kWindowRef, kPropWindowTitle, title.c_str()); });
    ASSERT_TRUE(worker.Join());
    EXPECT_EQ(CaptionOf(window_), std::wstring(L"标题 ") + name.wide);
    std::string read;
    RunOnGui([&] { read = ReadText(kWindowRef, kPropWindowTitle); });
    EXPECT_EQ(read, title);
  }
  PropertyService::WriteText(kWindowRef, kPropWindowTitle, kCaptionUtf8);
  SendMessageW(combo, CB_SETCURSEL, 6, 0);
}

TEST_F(UnicodeForm, TheLabelPaintsItsUnicodeTextLikeDrawTextW) {
  const HWND label = Child(kLabelId);
  RECT client;
  GetClientRect(label, &client);
  const int width = client.right;
  const int height = client.bottom;
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));

  std::vector<uint32_t> painted;
  RunOnGui([&] {
    painted = PixelsOf(width, height, [&](HDC dc) {
      SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
  });
  // The same text drawn directly, on the window's background.
  const std::vector<uint32_t> expected = PixelsOf(width, height, [&](HDC dc) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const HGDIOBJ old = SelectObject(dc, font);
    RECT rect = client;
    DrawTextW(dc, kLabelWide, -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  });
  // The text itself must have drawn something, or the comparison says nothing.
  const std::vector<uint32_t> blank = PixelsOf(
      width, height, [&](HDC dc) { FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE)); });
  ASSERT_NE(expected, blank);
  EXPECT_TRUE(painted == expected) << "the label does not show the characters of its text";
}
