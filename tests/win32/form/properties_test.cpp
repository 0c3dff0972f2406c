// The numbered properties, read and written from the GUI thread and from a
// worker thread alike.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form_test_support.h"
#include "base/command_adapter.h"
#include "base/runtime_memory.h"
#include "gui/form_template_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"

namespace {

enum class Caller { kGuiThread, kWorkerThread };

std::string CallerName(const testing::TestParamInfo<Caller>& info) {
  return info.param == Caller::kGuiThread ? "FromGuiThread" : "FromWorkerThread";
}

bool IsTopmost(HWND window) {
  return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

class PropertyRows : public testing::TestWithParam<Caller> {
 protected:
  void SetUp() override {
    window_ = MainWindowHandle();
    ASSERT_NE(window_, nullptr);
  }

  // Runs work on the thread this instance of the test stands for.
  void As(const std::function<void()>& work) {
    if (GetParam() == Caller::kGuiThread) {
      RunOnGui(work);
    } else {
      TestThread worker(work);
      ASSERT_TRUE(worker.Join());
    }
  }

  int32_t ReadInteger(ControlRef ref, int index) {
    int32_t value = -12345;
    As([&] { value = PropertyService::ReadInteger(ref, index); });
    return value;
  }
  void WriteInteger(ControlRef ref, int index, int32_t value) {
    As([&] { PropertyService::WriteInteger(ref, index, value); });
  }
  std::string ReadText(ControlRef ref, int index) {
    std::string text = "<not read>";
    As([&] {
      char* read = PropertyService::ReadText(ref, index);
      text = read;
      RuntimeFree(read);
    });
    return text;
  }
  void WriteText(ControlRef ref, int index, const char* text) {
    As([&] { PropertyService::WriteText(ref, index, text); });
  }

  LRESULT Send(uint32_t controlId, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(ChildWithId(window_, controlId), message, wParam, lParam);
  }

  HWND window_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Callers, PropertyRows,
                         testing::Values(Caller::kGuiThread, Caller::kWorkerThread), CallerName);

// Puts the bar back to its start-up state however a test ends.
struct ProgressReset {
  ~ProgressReset() {
    PropertyService::WriteInteger(kProgressBar, kPropProgressMinimum, 0);
    PropertyService::WriteInteger(kProgressBar, kPropProgressMaximum, 100);
    PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 0);
  }
};

}  // namespace

TEST_P(PropertyRows, ProgressPositionAboveMaximumShowsAFullBarAndReadsBackAsWritten) {
  ProgressReset reset;
  WriteInteger(kProgressBar, kPropProgressMinimum, 0);
  WriteInteger(kProgressBar, kPropProgressMaximum, 100);
  WriteInteger(kProgressBar, kPropProgressPosition, 150);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), 150);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 100);

  WriteInteger(kProgressBar, kPropProgressPosition, 37);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), 37);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 37);
}

// Runs of more than 65,535 pictures: the range travels in 32 bits.
TEST_P(PropertyRows, ProgressValuesAboveSixteenBitsShowAndNegativesClampToZero) {
  ProgressReset reset;
  WriteInteger(kProgressBar, kPropProgressMaximum, 100000);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressMaximum), 100000);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, FALSE), 100000);
  WriteInteger(kProgressBar, kPropProgressPosition, 70000);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), 70000);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 70000);
  WriteInteger(kProgressBar, kPropProgressPosition, -5);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), 0);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 0);
  WriteInteger(kProgressBar, kPropProgressMinimum, -7);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressMinimum), 0);
}

TEST_P(PropertyRows, ProgressWithEmptyRangeShowsZeroForAnyPosition) {
  ProgressReset reset;
  WriteInteger(kProgressBar, kPropProgressMinimum, 0);
  WriteInteger(kProgressBar, kPropProgressMaximum, 0);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, TRUE), 0);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, FALSE), 0);
  for (const int position : {0, 1, 50, 32767}) {
    WriteInteger(kProgressBar, kPropProgressPosition, position);
    EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 0) << position;
    EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), position);
  }
}

TEST_P(PropertyRows, ProgressMaximumBelowMinimumSwapsTheRangeOnScreenOnly) {
  ProgressReset reset;
  WriteInteger(kProgressBar, kPropProgressMinimum, 50);
  WriteInteger(kProgressBar, kPropProgressMaximum, 10);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressMinimum), 50);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressMaximum), 10);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, TRUE), 10);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, FALSE), 50);
  // min(maximum, max(position, minimum)) is the maximum here.
  WriteInteger(kProgressBar, kPropProgressPosition, 30);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 10);
  EXPECT_EQ(ReadInteger(kProgressBar, kPropProgressPosition), 30);

  // With the range the right way round the position shows as written, and
  // below the minimum as the minimum.
  WriteInteger(kProgressBar, kPropProgressMaximum, 90);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, TRUE), 50);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETRANGE, FALSE), 90);
  WriteInteger(kProgressBar, kPropProgressPosition, 60);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 60);
  WriteInteger(kProgressBar, kPropProgressPosition, 20);
  EXPECT_EQ(Send(kProgressBarId, PBM_GETPOS), 50);
}

TEST_P(PropertyRows, CheckedChecksOnlyForOneAndReadsTheControl) {
  WriteInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked, 0);
  EXPECT_EQ(Send(kAlwaysOnTopCheckboxId, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 0);
  WriteInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked, 1);
  EXPECT_EQ(Send(kAlwaysOnTopCheckboxId, BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 1);
  WriteInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked, 2);
  EXPECT_EQ(Send(kAlwaysOnTopCheckboxId, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 0);

  // A change made on the control itself is what the next read reports.
  Send(kAlwaysOnTopCheckboxId, BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 1);
  Send(kAlwaysOnTopCheckboxId, BM_SETCHECK, BST_UNCHECKED);
  EXPECT_EQ(ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked), 0);
  WriteInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked, 1);
}

TEST_P(PropertyRows, AlwaysOnTopRaisesTheWindowOnlyForOne) {
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 0);
  EXPECT_FALSE(IsTopmost(window_));
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 1);
  EXPECT_TRUE(IsTopmost(window_));
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 2);
  EXPECT_FALSE(IsTopmost(window_));
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 1);
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, -1);
  EXPECT_FALSE(IsTopmost(window_));
  WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 1);
  EXPECT_TRUE(IsTopmost(window_));
}

TEST_P(PropertyRows, ComboContentIsTheTextShownReturnedAsANewText) {
  EXPECT_EQ(ReadText(kFormatCombo, kPropComboContent), "jpg");
  Send(kFormatComboId, CB_SETCURSEL, 2);  // no notification: the read asks the control
  EXPECT_EQ(ReadText(kFormatCombo, kPropComboContent), "png");
  Send(kFormatComboId, CB_SETCURSEL, 1);
  EXPECT_EQ(ReadText(kFormatCombo, kPropComboContent), "tif");
  Send(kFormatComboId, CB_SETCURSEL, 0);

  char* first = nullptr;
  char* second = nullptr;
  As([&] {
    first = PropertyService::ReadText(kFormatCombo, kPropComboContent);
    second = PropertyService::ReadText(kFormatCombo, kPropComboContent);
  });
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second) << "a read must hand out a text of its own";
  EXPECT_STREQ(first, "jpg");
  first[0] = 'X';  // the caller owns it
  EXPECT_STREQ(second, "jpg");
  RuntimeFree(first);
  RuntimeFree(second);
}

TEST_P(PropertyRows, DialogFileNameAndDropAcceptanceAreStored) {
  const std::string before = ReadText(kCommonDialog, kPropDialogFileName);
  WriteText(kCommonDialog, kPropDialogFileName, "C:\\图片\\猫.png");
  EXPECT_EQ(ReadText(kCommonDialog, kPropDialogFileName), "C:\\图片\\猫.png");
  WriteText(kCommonDialog, kPropDialogFileName, before.c_str());

  WriteInteger(kDropObject, kPropDropAcceptFiles, 1);
  EXPECT_EQ(ReadInteger(kDropObject, kPropDropAcceptFiles), 1);
  WriteInteger(kDropObject, kPropDropAcceptFiles, 7);
  EXPECT_EQ(ReadInteger(kDropObject, kPropDropAcceptFiles), 1);
  WriteInteger(kDropObject, kPropDropAcceptFiles, 0);
  EXPECT_EQ(ReadInteger(kDropObject, kPropDropAcceptFiles), 0);
}

namespace {

// What a window paints as its background (the form) or its client area (a
// label), read from a memory bitmap: other programs' windows on the display
// cannot cover it.
class PaintedPixels {
 public:
  PaintedPixels(int width, int height) : width_(width) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~PaintedPixels() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  PaintedPixels(const PaintedPixels&) = delete;
  PaintedPixels& operator=(const PaintedPixels&) = delete;

  HDC Dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    const uint32_t bgr = static_cast<const uint32_t*>(bits_)[y * width_ + x];
    return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
  }

 private:
  int width_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  void* bits_ = nullptr;
};

// Pixels of the bare window and of both labels right of their text.
std::vector<COLORREF> BackgroundSamples(HWND window) {
  std::vector<COLORREF> samples;
  RunOnGui([&] {
    PaintedPixels form(300, 150);
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(form.Dc()), 0);
    samples.push_back(form.At(5, 40));
    samples.push_back(form.At(190, 5));
    for (const uint32_t labelId : {kFormatLabelId, kDropHintLabelId}) {
      PaintedPixels label(120, 24);
      SendMessageW(ChildWithId(window, labelId), WM_PRINTCLIENT,
                   reinterpret_cast<WPARAM>(label.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
      samples.push_back(label.At(92, 1));
    }
  });
  return samples;
}

}  // namespace

TEST_P(PropertyRows, BackgroundColourRepaintsTheWindowAndItsLabels) {
  WriteInteger(kMainWindow, kPropWindowBackgroundColour, 0x0000FF);
  EXPECT_EQ(ReadInteger(kMainWindow, kPropWindowBackgroundColour), 0x0000FF);
  const std::vector<COLORREF> red = BackgroundSamples(window_);
  for (size_t i = 0; i < red.size(); ++i) EXPECT_EQ(red[i], RGB(255, 0, 0)) << "sample " << i;

  WriteInteger(kMainWindow, kPropWindowBackgroundColour, static_cast<int32_t>(kDefaultColour));
  const std::vector<COLORREF> plain = BackgroundSamples(window_);
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(plain[i], GetSysColor(COLOR_BTNFACE)) << "sample " << i;
  }
}

TEST_P(PropertyRows, CommonPropertiesFollowTheLiveControl) {
  EXPECT_EQ(ReadInteger(kSingleButton, kPropLeft), 200);
  EXPECT_EQ(ReadInteger(kSingleButton, kPropTop), 65);
  EXPECT_EQ(ReadInteger(kSingleButton, kPropWidth), 80);
  EXPECT_EQ(ReadInteger(kSingleButton, kPropHeight), 40);

  WriteInteger(kSingleButton, kPropLeft, 190);
  WriteInteger(kSingleButton, kPropHeight, 30);
  const RECT moved = RectInParentClient(ChildWithId(window_, kSingleButtonId));
  EXPECT_EQ(moved.left, 190);
  EXPECT_EQ(moved.top, 65);
  EXPECT_EQ(moved.right - moved.left, 80);
  EXPECT_EQ(moved.bottom - moved.top, 30);
  WriteInteger(kSingleButton, kPropLeft, 200);
  WriteInteger(kSingleButton, kPropHeight, 40);

  const HWND button = ChildWithId(window_, kSingleButtonId);
  WriteInteger(kSingleButton, kPropVisible, 0);
  EXPECT_FALSE(IsWindowVisible(button));
  EXPECT_EQ(ReadInteger(kSingleButton, kPropVisible), 0);
  WriteInteger(kSingleButton, kPropVisible, 1);
  EXPECT_TRUE(IsWindowVisible(button));
  WriteInteger(kSingleButton, kPropDisabled, 1);
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_EQ(ReadInteger(kSingleButton, kPropDisabled), 1);
  WriteInteger(kSingleButton, kPropDisabled, 0);
  EXPECT_TRUE(IsWindowEnabled(button));

  EXPECT_EQ(ReadText(kSingleButton, kPropTag), "");
  WriteText(kSingleButton, kPropTag, "标记");
  EXPECT_EQ(ReadText(kSingleButton, kPropTag), "标记");
  WriteText(kSingleButton, kPropTag, "");

  EXPECT_EQ(ReadText(kMainWindow, kPropWindowTitle), "图片转换by:quibrox");
}

TEST_P(PropertyRows, UnitWithoutNativeWindowAnswersWithItsStoredValues) {
  EXPECT_EQ(ReadInteger(kDropObject, kPropLeft), 11);
  EXPECT_EQ(ReadInteger(kDropObject, kPropTop), 60);
  EXPECT_EQ(ReadInteger(kDropObject, kPropWidth), 24);
  EXPECT_EQ(ReadInteger(kDropObject, kPropHeight), 24);
  EXPECT_EQ(ReadInteger(kDropObject, kPropVisible), 0);
  EXPECT_EQ(ReadInteger(kDropObject, kPropDisabled), 0);
  WriteInteger(kDropObject, kPropLeft, 30);
  EXPECT_EQ(ReadInteger(kDropObject, kPropLeft), 30);
  WriteInteger(kDropObject, kPropLeft, 11);
}

TEST_P(PropertyRows, CursorBytesComeBackAsANewBlock) {
  const char bytes[] = {1, 0, 2, 0, 3};
  RuntimeBlock written(NewByteSetBlock(bytes, sizeof bytes));
  uint64_t read = 0;
  As([&] {
    PropertyService::Write(kFormatLabel, kPropCursor, -1, reinterpret_cast<uintptr_t>(written.Get()));
    read = PropertyService::Read(kFormatLabel, kPropCursor);
  });
  RuntimeBlock block(reinterpret_cast<void*>(static_cast<uintptr_t>(read)));
  ASSERT_NE(block.Get(), nullptr);
  EXPECT_NE(block.Get(), written.Get());
  ASSERT_EQ(ByteSetBlockLength(block.Get()), sizeof bytes);
  EXPECT_EQ(std::memcmp(ByteSetBlockData(block.Get()), bytes, sizeof bytes), 0);
  As([] { PropertyService::Write(kFormatLabel, kPropCursor, -1, 0); });
}

TEST_P(PropertyRows, OwnPropertiesOutsideTheTablesReadZeroAndIgnoreWrites) {
  EXPECT_EQ(ReadInteger(kMainWindow, 45), 0);
  WriteInteger(kBatchButton, 30, 5);
  EXPECT_EQ(ReadInteger(kBatchButton, 30), 0);
  EXPECT_EQ(ReadText(kProgressBar, kPropProgressMinimum), "") << "an integer is not a text";
}

// --- Other windows and threads ----------------------------------------------

namespace {

// A second window of the program without a task-bar button, kept on top.
const FormTemplate& ToolWindowForm() {
  static const FormTemplate* const form = [] {
    auto* made = new FormTemplate;
    made->windowId = 0x52010077;
    UnitTemplate window;
    window.controlId = kWindowControlId;
    window.unitType = kUnitTypeWindow;
    window.left = 10;
    window.top = 10;
    window.width = 120;
    window.height = 80;
    window.flags = 0;  // stays hidden
    window.settings.caption = "tool";
    window.settings.startPosition = 0;
    window.settings.shownInTaskBar = false;
    window.settings.alwaysOnTop = true;
    made->units.push_back(window);
    return made;
  }();
  return *form;
}

}  // namespace

TEST(AlwaysOnTop, ZeroRaisesOtherOnTopWindowsAgainButOtherValuesLeaveThem) {
  const HWND main = MainWindowHandle();
  ASSERT_NE(main, nullptr);
  RunOnGui([] { LoadFormWindow(ToolWindowForm(), EventBindings{}); });
  const HWND tool = GetWindowHandle(ControlRef{ToolWindowForm().windowId, kWindowControlId});
  ASSERT_NE(tool, nullptr);
  EXPECT_TRUE(IsTopmost(tool));
  EXPECT_EQ(PropertyService::ReadInteger(ControlRef{ToolWindowForm().windowId, kWindowControlId},
                                         kPropWindowShownInTaskBar),
            0);

  RunOnGui([&] {
    SetWindowPos(tool, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  });
  ASSERT_FALSE(IsTopmost(tool));
  PropertyService::WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 2);
  EXPECT_FALSE(IsTopmost(main));
  EXPECT_FALSE(IsTopmost(tool)) << "a value other than 0 touched another window";

  PropertyService::WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 0);
  EXPECT_FALSE(IsTopmost(main));
  EXPECT_TRUE(IsTopmost(tool)) << "0 did not raise the other on-top window again";

  PropertyService::WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 1);
  EXPECT_TRUE(IsTopmost(main));
}

TEST(PropertyCalls, FromAWorkerWaitForTheGuiThreadAndAreDoneOnReturn) {
  std::atomic<bool> started{false};
  std::atomic<bool> guiFree{false};
  PostToGui([&] {
    started = true;
    Sleep(300);
    guiFree = true;
  });
  while (!started) Sleep(1);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 42);
  EXPECT_TRUE(guiFree) << "the write did not wait for the GUI thread";
  EXPECT_EQ(SendMessageW(GetWindowHandle(kProgressBar), PBM_GETPOS, 0, 0), 42);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 0);
}

TEST(PropertyCalls, ManyWorkersAtOnceReadAndWriteConsistently) {
  constexpr int kWorkers = 6;
  constexpr int kRounds = 200;
  std::atomic<int> wrongTexts{0};
  std::atomic<int> wrongPositions{0};
  std::vector<std::unique_ptr<TestThread>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.push_back(std::make_unique<TestThread>([&] {
      for (int i = 0; i < kRounds; ++i) {
        char* text = PropertyService::ReadText(kFormatCombo, kPropComboContent);
        if (std::strcmp(text, "jpg") != 0) ++wrongTexts;
        RuntimeFree(text);
        PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, i % 101);
        const int read = PropertyService::ReadInteger(kProgressBar, kPropProgressPosition);
        if (read < 0 || read > 100) ++wrongPositions;
      }
    }));
  }
  for (auto& worker : workers) ASSERT_TRUE(worker->Join(60000));
  EXPECT_EQ(wrongTexts, 0);
  EXPECT_EQ(wrongPositions, 0);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 77);
  EXPECT_EQ(SendMessageW(GetWindowHandle(kProgressBar), PBM_GETPOS, 0, 0), 77);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 0);
}
