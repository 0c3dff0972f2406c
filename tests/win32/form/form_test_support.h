#pragma once

// Helpers for the main window's tests. The test program runs the window on a
// GUI thread of its own (FormEnvironment): the runtime is started there, the
// main window loaded with recording handlers, and the message loop runs
// there. The tests drive the window from the test thread, which therefore
// stands for a worker thread; RunOnGui carries a piece of test code to the
// GUI thread by the test's own window, not by the runtime's.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_form_win.h"
#include "base/win_handles_win.h"

constexpr DWORD kWaitMs = 15000;

// --- Handler log ------------------------------------------------------------

struct HandlerCall {
  std::string name;         // "created", "alwaysOnTop", "dropped", "batch", "single"
  DWORD threadId = 0;       // thread the handler ran on
  ControlRef source{0, 0};  // CurrentEventSource() inside the handler
  int checked = -1;         // alwaysOnTop: the checkbox as the handler read it
  std::string text;         // dropped: the text argument
  // created: what existed when it ran.
  int nativeControls = 0;      // controls with a native window
  bool windowVisible = true;   // the main window was already visible
  bool controlsShown = false;  // the visible controls had WS_VISIBLE
};

std::vector<HandlerCall> HandlerCalls();
void ClearHandlerCalls();

// --- The GUI thread ---------------------------------------------------------

DWORD TestGuiThreadId();

// Runs work on the GUI thread and waits for it.
void RunOnGui(const std::function<void()>& work);

// Posts work to the GUI thread without waiting.
void PostToGui(std::function<void()> work);

HWND MainWindowHandle();  // this process's, by class and title, not through the runtime

// --- Windows ----------------------------------------------------------------

std::wstring WindowTextOf(HWND window);  // WM_GETTEXT
std::wstring ClassNameOf(HWND window);
RECT RectInParentClient(HWND child);
HWND ChildWithId(HWND parent, uint32_t id);  // direct child whose GWLP_ID is id
std::vector<HWND> DescendantsWithId(HWND parent, int id);
std::vector<HWND> VisibleChildren(HWND parent);

// Top-level dialogs (#32770) of this process on threadId, visible.
std::vector<HWND> DialogsOfThread(DWORD threadId);
HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs = kWaitMs);

// The system code page's form of a UTF-16 text.
std::string AnsiOf(const std::wstring& text);

// --- Threads and processes --------------------------------------------------

class TestThread {
 public:
  explicit TestThread(std::function<void()> body);
  ~TestThread();
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  DWORD Id() const { return id_; }
  bool Join(DWORD timeoutMs = kWaitMs);

 private:
  static DWORD WINAPI Run(void* parameter);
  std::function<void()> body_;
  UniqueHandle thread_;
  DWORD id_ = 0;
};

class ChildProcess {
 public:
  explicit ChildProcess(const std::string& commandLine);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_.IsValid(); }
  DWORD Id() const { return id_; }
  bool WaitForExit(DWORD* exitCode, DWORD timeoutMs = kWaitMs);

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

// A visible #32770 of processId with this caption; null after timeoutMs.
HWND WaitForBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs = kWaitMs);
std::wstring BoxMessageOf(HWND box);
// Top-level windows of processId with this class.
std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className);

// A fresh folder under the temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& Path() const { return path_; }  // ends with a backslash

 private:
  std::wstring path_;
};

// Creates an empty file; false when it could not.
bool CreateEmptyFile(const std::wstring& path);

std::vector<std::string> ReadLines(const std::string& path);
std::string FormProbePath();  // Windows path of the probe program
