#pragma once

// Windows side of the fatal report (ReportFatal itself is declared in
// gui/error_report.h).

// True once a fatal report has started in this process: the runtime is
// failing and no further event is dispatched.
bool IsFatalReportStarted();
