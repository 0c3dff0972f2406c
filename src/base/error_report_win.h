#pragma once

// Windows side of the fatal report (ReportFatal itself is declared in
// base/error_report.h).

// How the program ends after a fatal report's box (called with the exit code
// -1; does not return). The program runtime installs one that ends without
// exit routines; without one the process exits at once.
using FatalReportEnd = void (*)(int exitCode);
void SetFatalReportEnd(FatalReportEnd end);

// True once a fatal report has started in this process: the runtime is
// failing and no further event is dispatched.
bool IsFatalReportStarted();
