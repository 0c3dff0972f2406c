// The program's entry: start the runtime, run the start-up routine, then the
// message loop until the program's windows are gone.

#include <windows.h>

#include "app/startup_win.h"
#include "gui/runtime_win.h"

void RunStartupRoutine() {
  RunControllerStartup();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RuntimeStart();
  RunStartupRoutine();
  RunMessageLoop();
  EndProgram(0);
}
