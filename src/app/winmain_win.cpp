// The program's entry: start the runtime, run the start-up routine, then the
// message loop until the program's windows are gone.

#include <windows.h>

#include "app/startup_win.h"
#include "gui/runtime_win.h"

// The controller's start-up sequence; until the controller exists, the main
// window is loaded without handlers.
void RunStartupRoutine() { LoadMainWindowForNow(); }

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RuntimeStart();
  RunStartupRoutine();
  RunMessageLoop();
  EndProgram(0);
}
