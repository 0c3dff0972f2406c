// The main window's life seen from outside: the probe program loads it and
// closes it, or runs into one of the fatal errors of loading, property
// access and event dispatch; the test watches its boxes, windows, log and
// exit code.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "form_test_support.h"

namespace {

constexpr DWORD kFatalExitCode = 0xFFFFFFFF;

// One run of the probe with its own log. The child goes before the folder.
class ProbeRun {
 public:
  explicit ProbeRun(const std::string& scenario)
      : child_("\"" + FormProbePath() + "\" " + scenario + " \"" + folder_.File("probe.log") +
               "\"") {}

  ChildProcess& Child() { return child_; }
  std::vector<std::string> Log() const {
    // The log's name is plain ASCII inside a folder named by this process.
    return ReadLines(folder_.File("probe.log"));
  }
  bool HasLine(const std::string& line) const {
    const auto lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool WaitForLine(const std::string& line, DWORD timeoutMs = kWaitMs) const {
    const DWORD start = GetTickCount();
    while (!HasLine(line)) {
      if (GetTickCount() - start >= timeoutMs) return false;
      Sleep(20);
    }
    return true;
  }
  std::string Value(const std::string& name) const {
    for (const std::string& line : Log()) {
      if (line.rfind(name + " ", 0) == 0) return line.substr(name.size() + 1);
    }
    return std::string();
  }

 private:
  TempFolder folder_;
  ChildProcess child_;
};

HWND ProbeMainWindow(DWORD processId) {
  for (const HWND window : TopLevelWindowsOf(processId, L"_QX_Form")) {
    if (WindowTextOf(window) == L"图片转换by:quibrox") return window;
  }
  return nullptr;
}

// The probe shows the error box with this message and ends with -1.
void ExpectFatal(ProbeRun& run, const std::wstring& message, DWORD threadId = 0) {
  ASSERT_TRUE(run.Child().Started());
  const HWND box = WaitForBox(run.Child().Id(), L"错误");
  ASSERT_NE(box, nullptr) << "no error box appeared";
  EXPECT_EQ(BoxMessageOf(box), L"运行时出错!\r\n\r\n错误信息：" + message + L"\r\n");
  if (threadId != 0) {
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), threadId);
  }
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  DWORD exitCode = 0;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode)) << "the probe did not end after the box";
  EXPECT_EQ(exitCode, kFatalExitCode);
  for (const std::string& line : run.Log()) {
    EXPECT_EQ(line.find("returned"), std::string::npos) << "the failing call came back";
  }
}

}  // namespace

TEST(WindowLifecycle, ClosingTheWindowEndsTheLoopAndTheProgramWithZero) {
  ProbeRun run("close");
  ASSERT_TRUE(run.WaitForLine("ready"));
  const HWND window = ProbeMainWindow(run.Child().Id());
  ASSERT_NE(window, nullptr);
  // Clicks work while the window lives.
  SendMessageW(ChildWithId(window, 0x16010003), BM_CLICK, 0, 0);
  ASSERT_TRUE(run.WaitForLine("batch"));

  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD exitCode = 99;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0u);
  // The exit routine ran after the loop, and the click it raised while the
  // program was ending reached no handler.
  const std::vector<std::string> expected = {"created", "ready", "batch", "loop ended",
                                             "exit 0 raised a click"};
  EXPECT_EQ(run.Log(), expected);
}

TEST(WindowLifecycle, UnitsOfAClosedWindowAnswerWithStoredValuesWithoutAReport) {
  ProbeRun run("use-after-close");
  ASSERT_TRUE(run.WaitForLine("ready"));
  const HWND window = ProbeMainWindow(run.Child().Id());
  ASSERT_NE(window, nullptr);
  // The format list last showed "png".
  const HWND combo = ChildWithId(window, 0x16010004);
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exitCode = 99;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0u) << "a late property call ended the program with a report";
  const std::vector<std::string> expected = {"created", "ready", "loop ended",
                                             "gui png 5 no-window", "worker png 5 no-window"};
  EXPECT_EQ(run.Log(), expected);
}

TEST(WindowLifecycle, NoEventIsDeliveredOnceAFatalReportHasStarted) {
  ProbeRun run("fatal-then-click");
  ASSERT_TRUE(run.WaitForLine("ready"));
  const HWND window = ProbeMainWindow(run.Child().Id());
  ASSERT_NE(window, nullptr);
  // "单个转换" starts a worker that reports a fatal error.
  PostMessageW(ChildWithId(window, 0x16010002), BM_CLICK, 0, 0);
  const HWND box = WaitForBox(run.Child().Id(), L"错误");
  ASSERT_NE(box, nullptr);
  SendMessageW(ChildWithId(window, 0x16010003), BM_CLICK, 0, 0);
  EXPECT_FALSE(run.HasLine("batch")) << "a handler ran while the report was showing";
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  DWORD exitCode = 0;
  ASSERT_TRUE(run.Child().WaitForExit(&exitCode));
  EXPECT_EQ(exitCode, kFatalExitCode);
}

TEST(WindowLifecycle, PropertyOfAWindowNotLoadedIsFatal) {
  ProbeRun run("read-unknown-window");
  ExpectFatal(run, L"未载入欲访问窗口组件所在的窗口");
}

TEST(WindowLifecycle, PropertyFailureOnAWorkerShowsTheBoxOnThatWorker) {
  ProbeRun run("read-unknown-window-on-worker");
  ASSERT_TRUE(run.WaitForLine("ready"));
  const HWND box = WaitForBox(run.Child().Id(), L"错误");
  ASSERT_NE(box, nullptr);
  const std::string worker = run.Value("worker");
  ASSERT_FALSE(worker.empty());
  EXPECT_NE(worker, run.Value("gui"));
  ExpectFatal(run, L"未载入欲访问窗口组件所在的窗口", std::stoul(worker));
}

TEST(WindowLifecycle, PropertyOfAnUnknownControlIsFatal) {
  ProbeRun run("write-unknown-control");
  ExpectFatal(run, L"指定窗口尚未载入");
}

TEST(WindowLifecycle, HandleOfAnUnknownControlIsFatal) {
  ProbeRun run("handle-unknown-control");
  ExpectFatal(run, L"指定窗口尚未载入");
}

TEST(WindowLifecycle, EventFromAWindowNotLoadedIsFatal) {
  ProbeRun run("event-unknown-window");
  ExpectFatal(run, L"未找到引发事件的窗口");
}

TEST(WindowLifecycle, EventFromAnUnknownControlIsFatal) {
  ProbeRun run("event-unknown-control");
  ExpectFatal(run, L"未找到引发事件的窗口组件");
}

TEST(WindowLifecycle, EventFromAUnitThatRaisesNoneIsFatal) {
  ProbeRun run("event-from-common-dialog");
  ExpectFatal(run, L"引发事件的窗口组件无效");
}

TEST(WindowLifecycle, LoadingAWindowIdNotInTheFormsIsFatal) {
  ProbeRun run("load-unknown-window");
  ExpectFatal(run, L"载入启动窗口失败");
}

TEST(WindowLifecycle, LoadingAFormThatCannotBeReadIsFatal) {
  ProbeRun run("load-bad-form");
  ExpectFatal(run, L"载入窗口模板数据段出错!");
}

TEST(WindowLifecycle, LoadingWithABindingForAControlTheFormLacksIsFatal) {
  ProbeRun run("load-binding-unknown-control");
  ExpectFatal(run, L"载入窗口模板数据段出错!");
}
