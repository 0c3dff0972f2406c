#pragma once

// Fatal runtime error reports: one report, then the program ends without
// running its exit routines. Coded errors (1..11) have fixed texts; the
// runtime's own services report a message with code 0 (no code line).

#include <string>
#include <string_view>

// The text of a coded error, or nullptr for a code outside 1..11.
const char* ErrorCodeText(int code);

// The report text: "运行时出错!\r\n\r\n", then "错误代码：<code>\r\n\r\n" when
// code is not 0, then "错误信息：<message>\r\n" when message is not empty.
std::string FormatRuntimeErrorText(std::string_view message, int code);

// Reports the coded error with its table text; does not return.
[[noreturn]] void ReportRuntimeError(int code);

// Reports message with code (0: no code line) and ends the process.
// Windows (error_report_win.cpp): message box "错误" with the error icon, then
// the end the program runtime installed (exit routines cleared,
// EndProgram(-1)). Native (error_report_posix.cpp): the text
// on stderr, then _exit(255).
[[noreturn]] void ReportFatal(std::string_view message, int code);

// Report bookkeeping shared by the platform report and the program's end:
// the count of reports started; once one has started the runtime is failing
// and no further event is dispatched.
int CountReportStarted();  // adds one, returns the new count
int ReportsStarted();
