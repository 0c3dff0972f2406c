#include "form_test_support.h"

#include <gtest/gtest.h>

#include <atomic>

#include "base/runtime_memory.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "gui/runtime_win.h"

namespace {

constexpr UINT kRunWorkMessage = WM_APP + 7;
constexpr UINT kRunPostedWorkMessage = WM_APP + 8;
constexpr char kTestCallClass[] = "FormTestCall";

// --- Handler log ------------------------------------------------------------

struct Log {
  std::mutex lock;
  std::vector<HandlerCall> calls;
};

Log& TheLog() {
  static Log* const log = new Log;  // the GUI thread may outlive main's statics
  return *log;
}

void Record(HandlerCall call) {
  call.threadId = GetCurrentThreadId();
  call.source = CurrentEventSource();
  std::lock_guard<std::mutex> guard(TheLog().lock);
  TheLog().calls.push_back(std::move(call));
}

const uint32_t kNativeControlIds[] = {kAlwaysOnTopCheckboxId, kDropHintLabelId, kProgressBarId,
                                      kCommonDialogId,        kFormatLabelId,   kFormatComboId,
                                      kBatchButtonId,         kSingleButtonId};

void OnCreated() {
  HandlerCall call;
  call.name = "created";
  const HWND window = GetWindowHandle(kMainWindow);
  call.windowVisible = IsWindowVisible(window) != 0;
  call.controlsShown = true;
  for (const uint32_t id : kNativeControlIds) {
    const HWND control = GetWindowHandle(ControlRef{kMainWindowId, id});
    if (control != nullptr && GetParent(control) == window) ++call.nativeControls;
    const bool shouldShow = id != kCommonDialogId;
    const bool shown = control != nullptr && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE);
    if (shown != shouldShow) call.controlsShown = false;
  }
  char* fileName = PropertyService::ReadText(kCommonDialog, kPropDialogFileName);
  call.text = fileName;
  RuntimeFree(fileName);
  Record(call);
}

void OnAlwaysOnTop() {
  HandlerCall call;
  call.name = "alwaysOnTop";
  call.checked = PropertyService::ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked);
  Record(call);
}

void OnDropped(const char* text) {
  HandlerCall call;
  call.name = "dropped";
  call.text = text;
  Record(call);
}

void OnBatch() {
  HandlerCall call;
  call.name = "batch";
  Record(call);
}

void OnSingle() {
  HandlerCall call;
  call.name = "single";
  Record(call);
}

// --- The GUI thread ---------------------------------------------------------

std::atomic<DWORD> guiThreadId{0};
std::atomic<HWND> testCallWindow{nullptr};

LRESULT CALLBACK TestCallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunWorkMessage) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
  }
  if (message == kRunPostedWorkMessage) {
    auto* work = reinterpret_cast<std::function<void()>*>(lParam);
    (*work)();
    delete work;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI GuiThreadMain(void* readyEvent) {
  RuntimeStart();
  guiThreadId = GetCurrentThreadId();

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TestCallProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kTestCallClass;
  RegisterClassExA(&windowClass);
  testCallWindow = CreateWindowExA(0, kTestCallClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);

  MainFormHandlers handlers;
  handlers.onWindowCreated = OnCreated;
  handlers.onAlwaysOnTopClicked = OnAlwaysOnTop;
  handlers.onFilesDropped = OnDropped;
  handlers.onBatchConvertClicked = OnBatch;
  handlers.onSingleConvertClicked = OnSingle;
  LoadMainForm(handlers);
  SetEvent(static_cast<HANDLE>(readyEvent));
  RunMessageLoop();
  return 0;
}

class FormEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    guiThread.Reset(CreateThread(nullptr, 0, GuiThreadMain, ready.Get(), 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(ready.Get(), kWaitMs), WAIT_OBJECT_0)
        << "the main window did not load";
  }

  // Closes the window and lets the GUI thread leave its message loop before
  // the process runs its static destructors: a GUI thread still dispatching
  // then could touch the recorded handler calls while they are destroyed.
  void TearDown() override {
    if (guiThread.Get() == nullptr) return;
    if (const HWND window = MainWindowHandle()) PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(guiThread.Get(), kWaitMs);
  }

 private:
  UniqueHandle guiThread;
};

[[maybe_unused]] ::testing::Environment* const formEnvironment =
    ::testing::AddGlobalTestEnvironment(new FormEnvironment);

// --- Windows ----------------------------------------------------------------

struct IdSearch {
  int id;
  std::vector<HWND>* found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<IdSearch*>(parameter);
  if (GetDlgCtrlID(window) == search->id) search->found->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HandlerCall> HandlerCalls() {
  std::lock_guard<std::mutex> guard(TheLog().lock);
  return TheLog().calls;
}

void ClearHandlerCalls() {
  std::lock_guard<std::mutex> guard(TheLog().lock);
  TheLog().calls.clear();
}

DWORD TestGuiThreadId() {
  return guiThreadId.load();
}

void RunOnGui(const std::function<void()>& work) {
  SendMessageW(testCallWindow.load(), kRunWorkMessage, 0, reinterpret_cast<LPARAM>(&work));
}

void PostToGui(std::function<void()> work) {
  auto* posted = new std::function<void()>(std::move(work));
  PostMessageW(testCallWindow.load(), kRunPostedWorkMessage, 0, reinterpret_cast<LPARAM>(posted));
}

HWND MainWindowHandle() {
  // Other test processes may show the same window at the same time.
  for (const HWND window : TopLevelWindowsOf(GetCurrentProcessId(), L"_QX_Form")) {
    if (WindowTextOf(window) == L"图片转换by:quibrox") return window;
  }
  return nullptr;
}

RECT RectInParentClient(HWND child) {
  RECT bounds{};
  GetWindowRect(child, &bounds);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&bounds), 2);
  return bounds;
}

HWND ChildWithId(HWND parent, uint32_t id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (static_cast<uint32_t>(GetWindowLongPtrW(child, GWLP_ID)) == id) return child;
  }
  return nullptr;
}

std::vector<HWND> DescendantsWithId(HWND parent, int id) {
  std::vector<HWND> found;
  IdSearch search{id, &found};
  EnumChildWindows(parent, MatchId, reinterpret_cast<LPARAM>(&search));
  return found;
}

std::vector<HWND> VisibleChildren(HWND parent) {
  std::vector<HWND> found;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) found.push_back(child);
  }
  return found;
}

std::string FormProbePath() {
  return WindowsPathOf(FORM_PROBE_PATH);
}
