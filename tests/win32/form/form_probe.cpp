// A program that loads the main window and plays one scenario, chosen by its
// command line, for the tests to watch from outside (the scenarios end the
// process, which a test inside the test program could not survive):
//   form_probe SCENARIO LOGFILE [FLAGFILE]
// It appends what happens to LOGFILE, one line per event, closing the file
// after each line so the test can read it while the probe runs.

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/main_form_win.h"
#include "base/error_report.h"
#include "base/runtime_memory.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "gui/runtime_win.h"

namespace {

const char* logPath = nullptr;
const char* flagPath = nullptr;

void Log(const std::string& line) {
  FILE* file = std::fopen(logPath, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
}

void OnBatch() {
  Log("batch");
}

DWORD WINAPI FailOnWorker(void*) {
  Log("worker failing");
  ReportFatal("worker failed", 0);
}

void OnSingleStartFailingWorker() {
  Log("single");
  CloseHandle(CreateThread(nullptr, 0, FailOnWorker, nullptr, 0, nullptr));
}

void ExitRoutineRaisingAClick(int index) {
  RaiseEvent(kBatchButton, kEventClicked);
  Log("exit " + std::to_string(index) + " raised a click");
}

MainFormHandlers LoggingHandlers() {
  MainFormHandlers handlers;
  handlers.onWindowCreated = [] { Log("created"); };
  handlers.onBatchConvertClicked = OnBatch;
  handlers.onSingleConvertClicked = OnSingleStartFailingWorker;
  return handlers;
}

void StartWithWindow() {
  RuntimeStart();
  LoadMainForm(LoggingHandlers());
  Log("ready");
}

DWORD WINAPI ReadUnknownWindowOnWorker(void*) {
  Log("worker " + std::to_string(GetCurrentThreadId()));
  PropertyService::ReadInteger(ControlRef{0x52019999, kWindowControlId}, kPropLeft);
  Log("read returned");
  return 0;
}

// Closes the main window once the flag file exists.
VOID CALLBACK CloseWhenFlagged(HWND, UINT, UINT_PTR, DWORD) {
  if (GetFileAttributesA(flagPath) == INVALID_FILE_ATTRIBUTES) return;
  PostMessageA(GetWindowHandle(kMainWindow), WM_CLOSE, 0, 0);
}

// What a late caller sees of the units once the window is gone.
void LogUnitsAfterClose(const std::string& who) {
  char* content = PropertyService::ReadText(kFormatCombo, kPropComboContent);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 5);
  const int position = PropertyService::ReadInteger(kProgressBar, kPropProgressPosition);
  PropertyService::WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, 0);
  const HWND handle = GetWindowHandle(kMainWindow);
  Log(who + " " + content + " " + std::to_string(position) + " " +
      (handle == nullptr ? "no-window" : "window"));
  RuntimeFree(content);
}

DWORD WINAPI LogUnitsAfterCloseOnWorker(void*) {
  LogUnitsAfterClose("worker");
  return 0;
}

// Waits for thread while answering the calls it sends to this thread.
void WaitPumping(HANDLE thread) {
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
}

FormTemplate BadForm() {
  FormTemplate form;
  form.windowId = 0x52010055;
  UnitTemplate window;
  window.controlId = kWindowControlId;
  window.unitType = kUnitTypeWindow;
  form.units.push_back(window);
  UnitTemplate unknown;
  unknown.controlId = 0x16010099;
  unknown.unitType = 0x00990001;  // a unit type the runtime does not know
  form.units.push_back(unknown);
  return form;
}

// A window alone, and a binding for a control it does not have.
FormTemplate LoneWindowForm() {
  FormTemplate form;
  form.windowId = 0x52010056;
  UnitTemplate window;
  window.controlId = kWindowControlId;
  window.unitType = kUnitTypeWindow;
  form.units.push_back(window);
  return form;
}

void Unreachable() {
  Log("unreachable handler");
}

int Play(const std::string& scenario) {
  if (scenario == "close") {
    // As the program's entry does it: the loop ends with the window.
    StartWithWindow();
    RegisterExitRoutine(ExitRoutineRaisingAClick);
    RunMessageLoop();
    Log("loop ended");
    EndProgram(0);
  }
  if (scenario == "use-after-close") {
    StartWithWindow();
    RunMessageLoop();
    Log("loop ended");
    LogUnitsAfterClose("gui");
    const HANDLE worker = CreateThread(nullptr, 0, LogUnitsAfterCloseOnWorker, nullptr, 0, nullptr);
    WaitPumping(worker);
    CloseHandle(worker);
    EndProgram(0);
  }
  if (scenario == "screenshot") {
    StartWithWindow();
    SetTimer(nullptr, 0, 50, CloseWhenFlagged);
    RunMessageLoop();
    EndProgram(0);
  }
  if (scenario == "fatal-then-click") {
    StartWithWindow();
    RunMessageLoop();
    EndProgram(3);
  }
  if (scenario == "read-unknown-window") {
    StartWithWindow();
    PropertyService::ReadInteger(ControlRef{0x52019999, kWindowControlId}, kPropLeft);
    Log("read returned");
    EndProgram(3);
  }
  if (scenario == "read-unknown-window-on-worker") {
    StartWithWindow();
    Log("gui " + std::to_string(GetCurrentThreadId()));
    CloseHandle(CreateThread(nullptr, 0, ReadUnknownWindowOnWorker, nullptr, 0, nullptr));
    RunMessageLoop();
    EndProgram(3);
  }
  if (scenario == "write-unknown-control") {
    StartWithWindow();
    PropertyService::WriteInteger(ControlRef{kMainWindowId, 0x16019999}, kPropProgressPosition, 1);
    Log("write returned");
    EndProgram(3);
  }
  if (scenario == "handle-unknown-control") {
    StartWithWindow();
    GetWindowHandle(ControlRef{kMainWindowId, 0x16019999});
    Log("handle returned");
    EndProgram(3);
  }
  if (scenario == "event-unknown-window") {
    StartWithWindow();
    RaiseEvent(ControlRef{0x52019999, kWindowControlId}, 0);
    Log("event returned");
    EndProgram(3);
  }
  if (scenario == "event-unknown-control") {
    StartWithWindow();
    RaiseEvent(ControlRef{kMainWindowId, 0x16019999}, 0);
    Log("event returned");
    EndProgram(3);
  }
  if (scenario == "event-from-common-dialog") {
    StartWithWindow();
    RaiseEvent(kCommonDialog, 0);
    Log("event returned");
    EndProgram(3);
  }
  if (scenario == "load-unknown-window") {
    RuntimeStart();
    LoadStartWindow(ProgramForms(), 0x52019999, MainFormBindings(LoggingHandlers()));
    Log("load returned");
    EndProgram(3);
  }
  if (scenario == "load-bad-form") {
    RuntimeStart();
    static const FormTemplate* const form = new FormTemplate(BadForm());
    LoadFormWindow(*form, MainFormBindings(LoggingHandlers()));
    Log("load returned");
    EndProgram(3);
  }
  if (scenario == "load-binding-unknown-control") {
    RuntimeStart();
    static const FormTemplate* const form = new FormTemplate(LoneWindowForm());
    const EventBindings bindings = {{{form->windowId, 0x16010099}, kEventClicked, Unreachable}};
    LoadFormWindow(*form, bindings);
    Log("load returned");
    EndProgram(3);
  }
  Log("unknown scenario " + scenario);
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 2;
  logPath = __argv[2];
  flagPath = __argc > 3 ? __argv[3] : "";
  return Play(__argv[1]);
}
