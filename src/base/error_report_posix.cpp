// The fatal report of native builds: there is no message box, so the report
// text goes to stderr. The Windows program ends with exit code -1; a POSIX
// exit status is 8 bits, so the native form ends with 255, the same low byte.
// Like the Windows report, no exit routine or static destructor runs (_exit).

#include <unistd.h>

#include <string>

#include "base/error_report.h"

void ReportFatal(std::string_view message, int code) {
  CountReportStarted();
  const std::string text = FormatRuntimeErrorText(message, code);
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(STDERR_FILENO, text.data() + written, text.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  _exit(255);
}
