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
#include "test_files_win.h"
#include "test_processes_win.h"
#include "test_windows_win.h"

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

RECT RectInParentClient(HWND child);
HWND ChildWithId(HWND parent, uint32_t id);  // direct child whose GWLP_ID is id
std::vector<HWND> DescendantsWithId(HWND parent, int id);
std::vector<HWND> VisibleChildren(HWND parent);

std::string FormProbePath();  // Windows path of the probe program
