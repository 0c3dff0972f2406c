// The program's entry: start the runtime, run the start-up routine, then the
// message loop until the program's windows are gone.

#include <windows.h>

#include "gui/runtime_win.h"

// The controller's start-up sequence. Empty until the controller exists: the
// program then runs with its hidden owner window alone.
void RunStartupRoutine() {}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RuntimeStart();
  RunStartupRoutine();
  RunMessageLoop();
  EndProgram(0);
}
