#pragma once

// Helpers for the shell, drop target, thread and control-look tests. The
// test's main thread is the program's GUI thread: the runtime starts there
// and the main window is loaded there, once per test process. Code that must
// act while the GUI thread sits in a modal loop runs on a TestThread.
// Every wait has a time limit.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win_handles_win.h"
#include "test_files_win.h"
#include "test_processes_win.h"
#include "test_windows_win.h"

// Starts the runtime on the calling thread (once).
void StartRuntimeHere();

// Loads the main window on the calling thread (once, after starting the
// runtime) with a handler for the drop object's files-dropped event that
// records its text. Answers the window.
HWND LoadMainWindow();
const std::vector<std::string>& DroppedTexts();
void ClearDroppedTexts();

// Dispatches the calling thread's messages until done() holds or timeoutMs
// passed; answers done().
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);
void PumpMessagesFor(DWORD milliseconds);

// Folder of the test program, without trailing backslash.
std::string TestProgramFolder();
