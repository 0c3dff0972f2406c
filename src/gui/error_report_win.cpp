// The fatal report on Windows: one error box, then the end without exit
// routines.

#include "gui/error_report_win.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "gui/error_report.h"
#include "gui/runtime_win.h"

namespace {
std::atomic<bool> fatalReportStarted{false};
}  // namespace

bool IsFatalReportStarted() { return fatalReportStarted.load(); }

void ReportFatal(std::string_view message, int code) {
  fatalReportStarted = true;
  CountReportStarted();
  const std::string text = FormatRuntimeErrorText(message, code);
  // No owner: the box shows on the reporting thread, also a worker's, and
  // does not depend on any window still being usable.
  MessageBoxA(nullptr, text.c_str(), "错误", MB_ICONERROR);
  ClearExitRoutines();
  EndProgram(-1);
}
