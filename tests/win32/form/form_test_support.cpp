#include "form_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "gui/event_dispatch_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "base/runtime_memory.h"
#include "gui/runtime_win.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 5000;
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

struct DialogSearch {
  DWORD threadId;
  std::vector<HWND>* found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  DWORD processId = 0;
  const DWORD threadId = GetWindowThreadProcessId(window, &processId);
  if (processId == GetCurrentProcessId() && threadId == search->threadId &&
      ClassNameOf(window) == L"#32770" && IsWindowVisible(window)) {
    search->found->push_back(window);
  }
  return TRUE;
}

struct IdSearch {
  int id;
  std::vector<HWND>* found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<IdSearch*>(parameter);
  if (GetDlgCtrlID(window) == search->id) search->found->push_back(window);
  return TRUE;
}

struct BoxSearch {
  DWORD processId;
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId) return TRUE;
  if (ClassNameOf(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (*search->caption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

struct ClassSearch {
  DWORD processId;
  const std::wstring* className;
  std::vector<HWND>* found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ClassSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && ClassNameOf(window) == *search->className) {
    search->found->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CloseThreadDialog(HWND window, LPARAM) {
  if (ClassNameOf(window) == L"#32770") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

std::string WindowsPathOf(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
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

std::wstring WindowTextOf(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return L"<no answer>";
  }
  return std::wstring(text, copied);
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
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

std::vector<HWND> DialogsOfThread(DWORD threadId) {
  std::vector<HWND> found;
  DialogSearch search{threadId, &found};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return found;
}

HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const std::vector<HWND> dialogs = DialogsOfThread(threadId);
    if (!dialogs.empty()) return dialogs.front();
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

std::string AnsiOf(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &bytes[0], length, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
}

TestThread::TestThread(std::function<void()> body) : body_(std::move(body)) {
  thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, &id_));
}

TestThread::~TestThread() {
  if (!thread_) return;
  if (WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0) return;
  EnumThreadWindows(id_, CloseThreadDialog, 0);
  if (WaitForSingleObject(thread_.Get(), kWaitMs) != WAIT_OBJECT_0) {
    TerminateThread(thread_.Get(), 1);
  }
}

bool TestThread::Join(DWORD timeoutMs) {
  return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI TestThread::Run(void* parameter) {
  static_cast<TestThread*>(parameter)->body_();
  return 0;
}

ChildProcess::ChildProcess(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    process_.Reset(info.hProcess);
    CloseHandle(info.hThread);
    id_ = info.dwProcessId;
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.Get(), 99);
    WaitForSingleObject(process_.Get(), kWaitMs);
  }
}

bool ChildProcess::WaitForExit(DWORD* exitCode, DWORD timeoutMs) {
  if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_.Get(), exitCode) != 0;
}

HWND WaitForBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search{processId, &caption, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

std::wstring BoxMessageOf(HWND box) {
  const HWND message = GetDlgItem(box, 0xFFFF);
  return message != nullptr ? WindowTextOf(message) : L"<no message>";
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className) {
  std::vector<HWND> found;
  ClassSearch search{processId, &className, &found};
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return found;
}

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = std::wstring(base) + L"pc_form_test_" +
                                   std::to_wstring(GetCurrentProcessId()) + L"_" +
                                   std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW((path_ + L"*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") DeleteFileW((path_ + name).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(path_.c_str());
}

bool CreateEmptyFile(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsValid();
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string FormProbePath() {
  return WindowsPathOf(FORM_PROBE_PATH);
}
