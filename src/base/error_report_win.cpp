// The fatal report on Windows: one error box, then the end without exit
// routines.

#include "base/error_report_win.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "base/error_report.h"
#include "base/wide_text_win.h"

namespace {
std::atomic<bool> fatalReportStarted{false};
std::atomic<FatalReportEnd> fatalReportEnd{nullptr};
}  // namespace

void SetFatalReportEnd(FatalReportEnd end) { fatalReportEnd = end; }

bool IsFatalReportStarted() { return fatalReportStarted.load(); }

void ReportFatal(std::string_view message, int code) {
  fatalReportStarted = true;
  CountReportStarted();
  const std::string text = FormatRuntimeErrorText(message, code);
  // No owner: the box shows on the reporting thread, also a worker's, and
  // does not depend on any window still being usable.
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), L"错误", MB_ICONERROR);
  const FatalReportEnd end = fatalReportEnd.load();
  if (end != nullptr) end(-1);
  // No program runtime to end through: the process ends here, as it would
  // with no exit routines registered.
  ExitProcess(static_cast<UINT>(-1));
}
