// Program lifecycle on Windows.

#include "gui/runtime_win.h"

#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "base/dll_command_win.h"
#include "base/error_report.h"
#include "base/error_report_win.h"
#include "base/system_commands_win.h"

namespace {

// The runtime's state lives on the heap and is never destroyed: the process
// ends through ExitProcess while other threads may still be running, so no
// static destructor should touch it.
struct RuntimeState {
  std::atomic<bool> started{false};
  std::atomic<bool> ending{false};
  std::atomic<DWORD> guiThreadId{0};
  std::atomic<HWND> hiddenOwner{nullptr};
  HANDLE heap = nullptr;
  bool oleInitialized = false;

  std::mutex exitLock;
  std::vector<ExitRoutine> exitRoutines;

  // Touched on the GUI thread only.
  std::vector<HWND> programWindows;
};

RuntimeState& State() {
  static RuntimeState* const state = new RuntimeState;
  return *state;
}

bool OnGuiThread() {
  const DWORD gui = State().guiThreadId.load();
  // Before the runtime starts, the calling thread stands for the GUI thread.
  return gui == 0 || gui == GetCurrentThreadId();
}

LRESULT CALLBACK HiddenOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kEndProgramMessage:
      // A request that arrives while the end is already running (an exit
      // routine pumping messages) is dropped: the end in progress finishes.
      if (!IsProgramEnding()) EndProgram(static_cast<int>(wParam));
      return 0;
    case WM_CLOSE:
      // Closing the owner from outside ends the program, also while it has
      // no window of its own.
      if (!IsProgramEnding()) EndProgram(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND CreateHiddenOwner() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = HiddenOwnerProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kHiddenOwnerClass;
  RegisterClassExW(&windowClass);
  return CreateWindowExW(WS_EX_TOOLWINDOW, kHiddenOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, instance, nullptr);
}

void RunExitRoutines() {
  std::vector<ExitRoutine> routines;
  {
    std::lock_guard<std::mutex> lock(State().exitLock);
    routines = State().exitRoutines;
  }
  for (size_t i = 0; i < routines.size(); ++i) {
    routines[i](static_cast<int>(i));
  }
}

}  // namespace

namespace {

// A fatal report ends the program through its end, without the exit routines.
[[noreturn]] void EndAfterFatalReport(int exitCode) {
  ClearExitRoutines();
  EndProgram(exitCode);
}

[[maybe_unused]] const bool fatalReportEndInstalled =
    (SetFatalReportEnd(EndAfterFatalReport), true);

}  // namespace

void RuntimeStart() {
  RuntimeState& state = State();
  if (state.started.exchange(true)) return;

  state.heap = GetProcessHeap();
  state.oleInitialized = SUCCEEDED(OleInitialize(nullptr));
  // Wide calls: the program's folder may hold any character.
  const std::wstring folder = ProgramFolderWide();
  if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
  state.hiddenOwner = CreateHiddenOwner();
  state.guiThreadId = GetCurrentThreadId();
}

void RegisterExitRoutine(ExitRoutine routine) {
  if (routine == nullptr) return;
  RuntimeState& state = State();
  std::lock_guard<std::mutex> lock(state.exitLock);
  auto& routines = state.exitRoutines;
  if (std::find(routines.begin(), routines.end(), routine) == routines.end()) {
    routines.push_back(routine);
  }
}

void ClearExitRoutines() {
  RuntimeState& state = State();
  std::lock_guard<std::mutex> lock(state.exitLock);
  state.exitRoutines.clear();
}

void RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT, or no usable queue
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void RegisterProgramWindow(HWND window) {
  auto& windows = State().programWindows;
  if (window != nullptr && std::find(windows.begin(), windows.end(), window) == windows.end()) {
    windows.push_back(window);
  }
}

void UnregisterProgramWindow(HWND window) {
  auto& windows = State().programWindows;
  const auto found = std::find(windows.begin(), windows.end(), window);
  if (found == windows.end()) return;
  windows.erase(found);
  if (windows.empty() && !IsProgramEnding()) PostQuitMessage(0);
}

int ProgramWindowCount() {
  return static_cast<int>(State().programWindows.size());
}

void EndProgram(int exitCode) {
  RuntimeState& state = State();
  if (!OnGuiThread()) {
    const HWND owner = state.hiddenOwner.load();
    if (owner != nullptr) {
      SendMessageW(owner, kEndProgramMessage, static_cast<WPARAM>(exitCode), 0);
    }
    if (!state.ending.load()) ExitProcess(static_cast<UINT>(exitCode));
    // The GUI thread is ending the program and exits the process itself.
    ExitThread(static_cast<DWORD>(exitCode));
  }

  // An exit routine that ends the program again ends it at once.
  if (state.ending.exchange(true)) ExitProcess(static_cast<UINT>(exitCode));
  CountReportStarted();
  state.programWindows.clear();
  RunExitRoutines();
  ReleaseDllCommands();
  if (state.oleInitialized) OleUninitialize();
  ExitProcess(static_cast<UINT>(exitCode));
}

bool IsProgramEnding() {
  return State().ending.load();
}

HWND HiddenOwnerWindow() {
  return State().hiddenOwner.load();
}

DWORD GuiThreadId() {
  return State().guiThreadId.load();
}

HANDLE RuntimeHeap() {
  HANDLE heap = State().heap;
  return heap != nullptr ? heap : GetProcessHeap();
}
