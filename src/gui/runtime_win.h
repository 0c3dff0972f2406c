#pragma once

// Program lifecycle on Windows: runtime start, exit routines, the message
// loop and the program's end.

#include <windows.h>

#include <string>

// Routine run when the program ends normally, called with its index in the
// exit list (0 for the first registered).
using ExitRoutine = void (*)(int index);

// Private message that asks the GUI thread to end the program; wParam is the
// exit code. Sent to the hidden owner window by EndProgram on other threads.
constexpr UINT kEndProgramMessage = 0x83E7;

// Class of the hidden top-level window that owns the program's windows.
constexpr wchar_t kHiddenOwnerClass[] = L"_QX_HideOwner";

// Once, on the GUI thread, before any of the program's own code: records the
// process heap, initialises OLE, makes the program's folder the current
// directory, creates the hidden owner window and records the GUI thread.
void RuntimeStart();

// Appends routine to the exit list unless it is already there.
void RegisterExitRoutine(ExitRoutine routine);

// Empties the exit list (a fatal report ends the program without them).
void ClearExitRoutines();

// Runs the GUI thread's message loop until WM_QUIT arrives. The hidden owner
// window alone keeps it running; the quit comes when the last program window
// is unregistered.
void RunMessageLoop();

// The program's own windows (the forms), as opposed to the hidden owner and
// dialogs: when the last one is unregistered, the message loop ends.
void RegisterProgramWindow(HWND window);
void UnregisterProgramWindow(HWND window);
int ProgramWindowCount();

// Ends the program with exitCode. On the GUI thread: marks the program as
// ending, runs the exit routines in registration order, releases the runtime's
// resources and exits the process. On any other thread: the GUI thread is
// asked to do that through the hidden owner window; if it does not, the
// process exits at once.
[[noreturn]] void EndProgram(int exitCode);

// True once the GUI thread has started ending the program; no event is
// dispatched after that.
bool IsProgramEnding();

HWND HiddenOwnerWindow();
DWORD GuiThreadId();
HANDLE RuntimeHeap();
