// The program's lifecycle seen from outside: a probe program starts the
// runtime and ends in one of the ways a program ends; the test watches its
// boxes and windows, reads its log and checks its exit code.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "gui_test_support.h"

namespace {

constexpr DWORD kFatalExitCode = 0xFFFFFFFF;

// One run of the probe with its own log folder. The child is declared after
// the folder, so it is stopped before the folder goes.
class ProbeRun {
 public:
  explicit ProbeRun(const std::string& scenario, const char* currentDirectory = nullptr)
      : log_(folder_.File("probe.log")),
        child_("\"" + RuntimeProbePath() + "\" " + scenario + " \"" + log_ + "\"",
               currentDirectory) {}

  ChildProcess& Child() { return child_; }
  const std::string& FolderPath() const { return folder_.Path(); }
  std::vector<std::string> Log() const { return ReadLines(log_); }

  bool WaitForLogLine(const std::string& line, DWORD timeoutMs = kWaitMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
      const auto lines = Log();
      if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
      if (GetTickCount() - start >= timeoutMs) return false;
      Sleep(20);
    }
  }

  // The value after "name " of the first line starting so; empty if none.
  std::string LogValue(const std::string& name) const {
    for (const std::string& line : Log()) {
      if (line.rfind(name + " ", 0) == 0) return line.substr(name.size() + 1);
    }
    return std::string();
  }

 private:
  TempFolder folder_;
  std::string log_;
  ChildProcess child_;
};

bool AnyLineStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// Waits for the probe's error box, checks it and closes it; the probe must
// then end with -1 without running its exit routine.
void ExpectFatalReport(ProbeRun& run, const std::wstring& expectedText) {
  ASSERT_TRUE(run.Child().Started());
  const HWND box = WaitForBox(run.Child().Id(), 0, L"错误");
  ASSERT_NE(box, nullptr) << "no error box appeared";
  EXPECT_EQ(BoxMessageOf(box), expectedText);
  EXPECT_TRUE(BoxShowsIcon(box)) << "the error box shows no icon";
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the error box has an owner";
  PressBoxButton(box, IDOK);

  DWORD exitCode = 0;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode)) << "the probe did not end after the box";
  EXPECT_EQ(exitCode, kFatalExitCode);
  const auto lines = run.Log();
  EXPECT_FALSE(AnyLineStartsWith(lines, "exit ")) << "an exit routine ran after a fatal report";
  EXPECT_FALSE(AnyLineStartsWith(lines, "loop ended"));
}

TEST(FatalReport, CodedErrorShowsCodeAndTextThenEndsWithMinusOneWithoutExitRoutines) {
  ProbeRun run("fatal-code1");
  ExpectFatalReport(run,
                    L"运行时出错!\r\n\r\n错误代码：1\r\n\r\n"
                    L"错误信息：数组成员引用下标超出定义范围\r\n");
}

TEST(FatalReport, MessageWithCodeZeroShowsNoCodeLine) {
  ProbeRun run("fatal-message");
  ExpectFatalReport(run, L"运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
}

TEST(FatalReport, ReportFromWorkerShowsBoxOnWorkerAndEndsThroughGuiThread) {
  ProbeRun run("fatal-worker");
  ASSERT_TRUE(run.Child().Started());
  const HWND box = WaitForBox(run.Child().Id(), 0, L"错误");
  ASSERT_NE(box, nullptr);
  const std::string worker = run.LogValue("worker");
  const std::string gui = run.LogValue("gui");
  ASSERT_FALSE(worker.empty());
  ASSERT_NE(worker, gui);
  EXPECT_EQ(std::to_string(GetWindowThreadProcessId(box, nullptr)), worker)
      << "the box is not on the reporting thread";
  ExpectFatalReport(run,
                    L"运行时出错!\r\n\r\n错误代码：4\r\n\r\n"
                    L"错误信息：数组成员引用下标必须大于等于1\r\n");
}

TEST(FatalReport, FailedAllocationReportsTheRequestedSize) {
  ProbeRun run("fatal-alloc");
  // 2147483632 in the 32-bit program, 9223372036854775792 in the 64-bit one.
  const std::wstring size = std::to_wstring(SIZE_MAX / 2 - 15);
  ExpectFatalReport(run, L"运行时出错!\r\n\r\n错误信息：分配 " + size + L" 字节内存失败!\r\n");
  EXPECT_FALSE(AnyLineStartsWith(run.Log(), "allocated"));
}

TEST(FatalReport, MissingDllExportIsReportedWithFileAndExportName) {
  ProbeRun run("dll-missing-export");
  ExpectFatalReport(run,
                    L"运行时出错!\r\n\r\n"
                    L"错误信息：无法找到指定DLL库文件“kernel32.dll”中的输出命令“NoSuchExport”\r\n");
}

TEST(FatalReport, MissingExportOfTheSystemDllsIsReportedWithExportName) {
  ProbeRun run("dll-missing-system-export");
  ExpectFatalReport(run,
                    L"运行时出错!\r\n\r\n"
                    L"错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExport”\r\n");
}

TEST(FatalReport, MissingDllFileIsReportedWithFileAndExportName) {
  ProbeRun run("dll-missing-file");
  ExpectFatalReport(
      run,
      L"运行时出错!\r\n\r\n"
      L"错误信息：无法找到指定DLL库文件“no_such_library.dll”中的输出命令“GetTickCount”\r\n");
}

// The report's text is UTF-8 and shown through the wide box, so a DLL name
// outside the ANSI code page (Korean, half-width katakana, an emoji) reads the
// same under any code page.
TEST(FatalReport, UnicodeDllFileNameIsReportedWhole) {
  ProbeRun run("dll-missing-unicode-file");
  ExpectFatalReport(
      run,
      L"运行时出错!\r\n\r\n"
      L"错误信息：无法找到指定DLL库文件“缺少 사진 ｼｬｼﾝ 😀.dll”中的输出命令“GetTickCount”\r\n");
}

TEST(ProgramEnd, ExitRoutinesRunOnceEachInRegistrationOrderWithTheirIndexes) {
  ProbeRun run("end-normal");
  ASSERT_TRUE(run.Child().Started());
  DWORD exitCode = 0;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 7u);
  const std::string gui = run.LogValue("gui");
  ASSERT_FALSE(gui.empty());
  const std::vector<std::string> expected = {"gui " + gui, "exit A 0 " + gui, "exit B 1 " + gui,
                                             "exit C 2 " + gui};
  EXPECT_EQ(run.Log(), expected);
}

TEST(ProgramEnd, EndFromWorkerRunsExitRoutinesOnGuiThread) {
  ProbeRun run("end-worker");
  ASSERT_TRUE(run.Child().Started());
  DWORD exitCode = 0;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 5u);
  const std::string gui = run.LogValue("gui");
  const std::string worker = run.LogValue("worker");
  ASSERT_FALSE(gui.empty());
  ASSERT_FALSE(worker.empty());
  EXPECT_NE(gui, worker);
  const std::vector<std::string> expected = {"gui " + gui, "worker " + worker, "exit A 0 " + gui,
                                             "exit B 1 " + gui};
  EXPECT_EQ(run.Log(), expected);
}

TEST(ProgramStart, HiddenOwnerIsAnInvisibleSizelessToolWindowAndClosingItEndsWithZero) {
  TempFolder elsewhere;
  ProbeRun run("wait-close", elsewhere.Path().c_str());
  ASSERT_TRUE(run.Child().Started());
  ASSERT_TRUE(run.WaitForLogLine("ready")) << "the probe did not start";

  // The runtime made the program's own folder the current directory.
  const std::string probe = RuntimeProbePath();
  const std::string probeFolder = probe.substr(0, probe.find_last_of('\\'));
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, run.LogValue("cwd").c_str(), -1,
                           probeFolder.c_str(), -1),
            CSTR_EQUAL)
      << run.LogValue("cwd") << " vs " << probeFolder;
  const auto lines = run.Log();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ole initialised"), lines.end());

  const std::vector<HWND> owners = TopLevelWindowsOf(run.Child().Id(), L"_QX_HideOwner");
  ASSERT_EQ(owners.size(), 1u);
  const HWND owner = owners[0];
  EXPECT_EQ(std::to_string(GetWindowThreadProcessId(owner, nullptr)), run.LogValue("gui"));
  EXPECT_NE(GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_EQ(GetWindow(owner, GW_OWNER), nullptr);
  EXPECT_EQ(GetAncestor(owner, GA_PARENT), GetDesktopWindow());
  RECT bounds{};
  GetWindowRect(owner, &bounds);
  EXPECT_EQ(bounds.right - bounds.left, 0);
  EXPECT_EQ(bounds.bottom - bounds.top, 0);

  PostMessageW(owner, WM_CLOSE, 0, 0);
  DWORD exitCode = 99;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0u);
  const auto after = run.Log();
  EXPECT_NE(std::find(after.begin(), after.end(), "exit A 0 " + run.LogValue("gui")), after.end())
      << "the exit routine did not run";
  EXPECT_FALSE(AnyLineStartsWith(after, "loop ended"));
}

}  // namespace
