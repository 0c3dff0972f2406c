// Message boxes, event processing, timing, folder creation and file search.
// Boxes are shown on a helper thread while the test thread finds, reads and
// presses them.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "base/command_adapter.h"
#include "base/command_call.h"
#include "base/runtime_memory.h"
#include "base/system_commands_win.h"
#include "gui/message_commands_win.h"
#include "gui_test_support.h"
#include "unicode_file_names.h"

namespace {

// A plain top-level window class for owners and bystanders.
HWND CreatePlainWindow() {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = DefWindowProcW;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"PcGuiTestPlain";
    return RegisterClassW(&description);
  }();
  (void)windowClass;
  return CreateWindowExW(0, L"PcGuiTestPlain", L"plain", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// What a box looked like while it was up.
struct SeenBox {
  std::wstring caption;
  std::wstring message;
  bool showsIcon = false;
  HWND owner = nullptr;
  LONG exStyle = 0;
};

// Runs show on a helper thread, waits for its box with caption, records how
// it looks and presses button; answers show's result through *answer.
// A bystander window of the helper thread, created before the box, tells
// whether the box disabled the thread's windows (task-modal).
struct BoxRun {
  int answer = -100;
  SeenBox seen;
  bool bystanderEnabledDuringBox = true;
  bool found = false;
};

template <typename Show>
BoxRun RunBox(const std::wstring& caption, int button, Show show) {
  BoxRun run;
  std::atomic<HWND> bystander{nullptr};
  std::atomic<bool> bystanderReady{false};
  TestThread thread([&] {
    const HWND window = CreatePlainWindow();
    bystander = window;
    bystanderReady = true;
    run.answer = show(window);
    DestroyWindow(window);
  });
  const HWND box = WaitForBox(GetCurrentProcessId(), thread.Id(), caption);
  if (box != nullptr) {
    run.found = true;
    run.seen.caption = caption;
    run.seen.message = BoxMessageOf(box);
    run.seen.showsIcon = BoxShowsIcon(box);
    run.seen.owner = GetWindow(box, GW_OWNER);
    run.seen.exStyle = GetWindowLongW(box, GWL_EXSTYLE);
    if (bystanderReady) run.bystanderEnabledDuringBox = IsWindowEnabled(bystander.load()) != 0;
    PressBoxButton(box, button);
  }
  EXPECT_TRUE(thread.Join()) << "the box did not close";
  return run;
}

TEST(ShowMessage, DefaultsShowTextUnderInfoCaptionAndClosingGivesZero) {
  const BoxRun run =
      RunBox(L"信息：", IDOK, [](HWND) { return ShowMessage("支持图片文件拖入直接转换", 0); });
  ASSERT_TRUE(run.found) << "no box with the default caption";
  EXPECT_EQ(run.seen.message, L"支持图片文件拖入直接转换");
  EXPECT_FALSE(run.seen.showsIcon);
  EXPECT_EQ(run.seen.owner, nullptr);
  EXPECT_EQ(run.answer, 0);
}

TEST(ShowMessage, ClosingTheBoxFromItsWindowMenuGivesZero) {
  std::atomic<int> answer{-100};
  TestThread thread([&] { answer = ShowMessage("close me", 0, "关闭测试"); });
  const HWND box = WaitForBox(GetCurrentProcessId(), thread.Id(), L"关闭测试");
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_CLOSE, 0, 0);
  ASSERT_TRUE(thread.Join());
  EXPECT_EQ(answer.load(), 0);
}

TEST(ShowMessage, PressedButtonsMapToTheirCodes) {
  struct Case {
    int flags;
    int button;
    int expected;
  };
  const Case cases[] = {
      {MB_OKCANCEL, IDOK, 0},
      {MB_OKCANCEL, IDCANCEL, 1},
      {MB_ABORTRETRYIGNORE, IDABORT, 2},
      {MB_ABORTRETRYIGNORE, IDRETRY, 3},
      {MB_ABORTRETRYIGNORE, IDIGNORE, 4},
      {MB_YESNO, IDYES, 5},
      {MB_YESNO, IDNO, 6},
      {MB_YESNOCANCEL, IDCANCEL, 1},
      {MB_RETRYCANCEL, IDRETRY, 3},
  };
  for (const Case& c : cases) {
    const BoxRun run =
        RunBox(L"按钮", c.button, [&](HWND) { return ShowMessage("?", c.flags, "按钮"); });
    ASSERT_TRUE(run.found) << "flags " << c.flags;
    EXPECT_EQ(run.answer, c.expected) << "flags " << c.flags << " button " << c.button;
  }
}

TEST(ShowMessage, BoxIsTaskModalUnlessSystemModal) {
  const BoxRun task =
      RunBox(L"任务", IDOK, [](HWND) { return ShowMessage("task", MB_ICONINFORMATION, "任务"); });
  ASSERT_TRUE(task.found);
  EXPECT_FALSE(task.bystanderEnabledDuringBox)
      << "the thread's window stayed enabled: not task-modal";
  EXPECT_TRUE(task.seen.showsIcon);

  const BoxRun system =
      RunBox(L"系统", IDOK, [](HWND) { return ShowMessage("system", MB_SYSTEMMODAL, "系统"); });
  ASSERT_TRUE(system.found);
  EXPECT_TRUE(system.bystanderEnabledDuringBox) << "task-modal added to a system-modal box";
  EXPECT_NE(system.seen.exStyle & WS_EX_TOPMOST, 0);
}

TEST(ShowMessage, UnicodeCaptionAndTextReachTheBoxExactly) {
  // UTF-8 in, the same characters shown, whatever the ANSI code page.
  for (const UnicodeFileName& c : kUnicodeFileNames) {
    const std::string text = std::string("文件 ") + c.utf8 + " 已存在";
    const BoxRun run = RunBox(c.wide, IDOK, [&](HWND) { return ShowMessage(text, 0, c.utf8); });
    ASSERT_TRUE(run.found) << "no box with the caption " << c.utf8;
    EXPECT_EQ(run.seen.message, std::wstring(L"文件 ") + c.wide + L" 已存在") << c.utf8;
  }
}

TEST(ShowMessage, OwnerIsTakenFromTheFourthArgumentOnly) {
  const BoxRun owned = RunBox(L"有主", IDOK, [](HWND window) {
    const ArgRecord args[] = {
        MakeText("owned"), MakeInteger(0), MakeText("有主"),
        MakeInteger(static_cast<int32_t>(reinterpret_cast<uintptr_t>(window)))};
    ArgRecord result = MakeOmitted();
    CmdShowMessage(&result, 4, args);
    return AsInt32(result);
  });
  ASSERT_TRUE(owned.found);
  EXPECT_NE(owned.seen.owner, nullptr);
  EXPECT_EQ(owned.answer, 0);

  // Three arguments: a fourth record beyond the count is not looked at.
  const BoxRun unowned = RunBox(L"无主", IDOK, [](HWND window) {
    const ArgRecord args[] = {
        MakeText("unowned"), MakeInteger(0), MakeText("无主"),
        MakeInteger(static_cast<int32_t>(reinterpret_cast<uintptr_t>(window)))};
    ArgRecord result = MakeOmitted();
    CmdShowMessage(&result, 3, args);
    return AsInt32(result);
  });
  ASSERT_TRUE(unowned.found);
  EXPECT_EQ(unowned.seen.owner, nullptr);
}

TEST(ShowMessage, WindowReferenceOwnerGoesThroughTheResolver) {
  static std::atomic<HWND> resolved{nullptr};
  static std::atomic<uint32_t> askedWindow{0}, askedControl{0};
  SetWindowRefResolver([](uint32_t windowId, uint32_t controlId) -> HWND {
    askedWindow = windowId;
    askedControl = controlId;
    return resolved.load();
  });
  const BoxRun run = RunBox(L"引用", IDOK, [](HWND window) {
    resolved = window;
    const ArgRecord args[] = {MakeText("ref"), MakeInteger(0), MakeText("引用"),
                              MakeControlRef(3, 9)};
    ArgRecord result = MakeOmitted();
    CmdShowMessage(&result, 4, args);
    return AsInt32(result);
  });
  SetWindowRefResolver(nullptr);
  ASSERT_TRUE(run.found);
  EXPECT_NE(run.seen.owner, nullptr);
  EXPECT_EQ(askedWindow.load(), 3u);
  EXPECT_EQ(askedControl.load(), 9u);
}

TEST(ShowMessage, MessagesOfEveryBasicTypeAreShownAsText) {
  struct Case {
    ArgRecord message;
    std::wstring expected;
  };
  uint8_t byteSetBlock[12] = {1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0};
  const Case cases[] = {
      {MakeInteger(-42), L"-42"},
      {MakeDouble(1.5), L"1.5"},
      {MakeDouble(0.1 + 0.2), L"0.3"},
      {MakeBoolean(true), L"真"},
      {MakeByte(200), L"200"},
      {MakeText("文"), L"文"},
      // Only basic types are shown; a byte set gives an empty message.
      {MakeByteSet(byteSetBlock), L""},
      {MakeOmitted(), L""},
  };
  for (const Case& c : cases) {
    const BoxRun run = RunBox(L"类型", IDOK, [&](HWND) {
      const ArgRecord args[] = {c.message, MakeInteger(0), MakeText("类型")};
      ArgRecord result = MakeInteger(-1);
      CmdShowMessage(&result, 3, args);
      return AsInt32(result);
    });
    ASSERT_TRUE(run.found);
    EXPECT_EQ(run.seen.message, c.expected);
    EXPECT_EQ(run.answer, 0);
  }
}

TEST(ShowMessage, OmittedCaptionRecordGivesTheDefaultCaption) {
  const BoxRun run = RunBox(L"信息：", IDOK, [](HWND) {
    const ArgRecord args[] = {MakeText("x"), MakeInteger(0), MakeOmitted()};
    ArgRecord result = MakeOmitted();
    CmdShowMessage(&result, 3, args);
    return AsInt32(result);
  });
  EXPECT_TRUE(run.found);
}

// --- ProcessEvents ----------------------------------------------------------

std::atomic<int> dispatched{0};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1) {
    ++dispatched;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateCountingWindow() {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = CountingProc;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"PcGuiTestCounting";
    return RegisterClassW(&description);
  }();
  (void)windowClass;
  return CreateWindowExW(0, L"PcGuiTestCounting", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(ProcessEvents, DispatchesWaitingMessagesAndLeavesQuitQueued) {
  const HWND window = CreateCountingWindow();
  ASSERT_NE(window, nullptr);
  dispatched = 0;
  PostMessageW(window, WM_APP + 1, 0, 0);
  PostMessageW(window, WM_APP + 1, 0, 0);
  // Posted from another thread too: it joins the same queue.
  TestThread poster([&] { PostMessageW(window, WM_APP + 1, 0, 0); });
  ASSERT_TRUE(poster.Join());
  PostQuitMessage(17);

  ProcessEvents();
  EXPECT_EQ(dispatched.load(), 3);

  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT was taken";
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 17u);
  DestroyWindow(window);
}

TEST(ProcessEvents, ReturnsAtOnceWhenQuitIsNextAndOnAnEmptyQueue) {
  MSG drain;
  while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {
  }
  ProcessEvents();  // empty queue

  const HWND window = CreateCountingWindow();
  dispatched = 0;
  PostQuitMessage(4);
  ProcessEvents();
  ProcessEvents();
  PostMessageW(window, WM_APP + 1, 0, 0);
  // A message posted after the quit still comes first; then the quit waits again.
  ProcessEvents();
  EXPECT_EQ(dispatched.load(), 1);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 4u);
  DestroyWindow(window);
}

// --- Timing -----------------------------------------------------------------

TEST(Delay, NegativeDelayReturnsAtOnce) {
  TestThread sleeper([] { Delay(-5); });
  // A negative value taken as unsigned would sleep for weeks.
  EXPECT_TRUE(sleeper.Join(5000));
}

TEST(Delay, SleepsAtLeastTheRequestedTimeMeasuredByTickCount) {
  const uint32_t before = TickCount();
  Delay(60);
  const uint32_t elapsed = TickCount() - before;
  // Tick resolution on real Windows is about 16 ms.
  EXPECT_GE(elapsed, 44u);

  ArgRecord result = MakeOmitted();
  CmdTickCount(&result, 0, nullptr);
  EXPECT_TRUE(HasTag(result, TypeTag::Integer));
  EXPECT_LE(static_cast<uint32_t>(AsInt32(result)) - before, 60000u);
}

// --- CreateFolder -----------------------------------------------------------

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(CreateFolder, CreatesOneLevelAndRefusesExistingFolderOrMissingParent) {
  TempFolder temp;
  const std::string created = temp.File("新建");  // UTF-8, as every path in the program
  EXPECT_TRUE(CreateFolder(created));
  EXPECT_TRUE(IsFolder(temp.WideFile(L"新建")));
  EXPECT_FALSE(CreateFolder(created)) << "an existing folder counts as created";

  const std::string deep = temp.File("missing\\child");
  EXPECT_FALSE(CreateFolder(deep));
  EXPECT_FALSE(IsFolder(temp.WideFile(L"missing"))) << "a parent folder was created";

  const std::string path = temp.File("cmd");
  const ArgRecord pathArg[] = {MakeText(path.c_str())};
  ArgRecord result = MakeOmitted();
  CmdCreateFolder(&result, 1, pathArg);
  EXPECT_TRUE(HasTag(result, TypeTag::Boolean));
  EXPECT_EQ(AsInt32(result), 1);
  CmdCreateFolder(&result, 1, pathArg);
  EXPECT_EQ(AsInt32(result), 0);
}

// --- FindFiles --------------------------------------------------------------

std::set<std::string> ListAll(const std::string& pattern, uint32_t mask, bool filesOnly,
                              HANDLE* state) {
  std::set<std::string> names;
  std::optional<std::string> name = FindFiles(pattern, mask, filesOnly, state);
  for (int guard = 0; name && guard < 1000; ++guard) {
    names.insert(*name);
    name = FindFiles("", mask, filesOnly, state);
  }
  return names;
}

class FindFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTextFile(first_.File("a.jpg"), "a");
    WriteTextFile(first_.File("b.png"), "b");
    WriteTextFile(first_.File("h.tif"), "h");
    SetFileAttributesA(first_.File("h.tif").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA(first_.File("sub.jpg").c_str(), nullptr);
    WriteTextFile(second_.File("x.bmp"), "x");
    WriteTextFile(second_.File("y.pcx"), "y");
  }

  TempFolder first_;
  TempFolder second_;
};

TEST_F(FindFilesTest, FilesOnlyListsEveryFileAndNoFolderThenClosesTheSearch) {
  HANDLE state = nullptr;
  EXPECT_EQ(ListAll(first_.File("*.*"), 0, true, &state),
            (std::set<std::string>{"a.jpg", "b.png", "h.tif"}));
  EXPECT_EQ(state, nullptr) << "the search was not closed at its end";
  EXPECT_FALSE(FindFiles("", 0, true, &state)) << "continuing a closed search found something";
}

TEST_F(FindFilesTest, NewPatternStartsANewSearchInPlaceOfTheOpenOne) {
  HANDLE state = nullptr;
  ASSERT_TRUE(FindFiles(first_.File("*.*"), 0, true, &state));
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(ListAll(second_.File("*.*"), 0, true, &state),
            (std::set<std::string>{"x.bmp", "y.pcx"}));
  EXPECT_EQ(state, nullptr);
}

TEST_F(FindFilesTest, EndFileSearchClosesAnOpenSearch) {
  HANDLE state = nullptr;
  ASSERT_TRUE(FindFiles(first_.File("*.*"), 0, true, &state));
  EndFileSearch(&state);
  EXPECT_EQ(state, nullptr);
  EXPECT_FALSE(FindFiles("", 0, true, &state));
  EndFileSearch(&state);  // nothing open: harmless
  EXPECT_EQ(state, nullptr);
}

TEST_F(FindFilesTest, PatternMatchingNothingLeavesNoSearchOpen) {
  HANDLE state = nullptr;
  EXPECT_FALSE(FindFiles(first_.File("*.gif"), 0, true, &state));
  EXPECT_EQ(state, nullptr);
  EXPECT_FALSE(FindFiles(first_.File("missing\\*.*"), 0, true, &state));
  EXPECT_EQ(state, nullptr);
}

TEST_F(FindFilesTest, WithoutFilesOnlyTheAttributeMaskSelectsEntries) {
  HANDLE state = nullptr;
  EXPECT_EQ(ListAll(first_.File("*"), FILE_ATTRIBUTE_DIRECTORY, false, &state),
            (std::set<std::string>{".", "..", "sub.jpg"}));
  EXPECT_EQ(ListAll(first_.File("*"), FILE_ATTRIBUTE_HIDDEN, false, &state),
            (std::set<std::string>{"h.tif"}));
  EXPECT_EQ(ListAll(first_.File("*"), 0, false, &state),
            (std::set<std::string>{".", "..", "sub.jpg", "a.jpg", "b.png", "h.tif"}));
}

TEST_F(FindFilesTest, UniformFormReturnsNewTextsAndANullTextAtTheEnd) {
  HANDLE state = nullptr;
  const std::string pattern = first_.File("*.jpg");
  const ArgRecord stateWord =
      MakeInteger(static_cast<int32_t>(reinterpret_cast<uintptr_t>(&state)));
  std::vector<std::string> names;
  ArgRecord args[] = {MakeText(pattern.c_str()), MakeInteger(0), MakeBoolean(true), stateWord};
  for (int guard = 0; guard < 10; ++guard) {
    ArgRecord result = MakeOmitted();
    CmdFindFiles(&result, 4, args);
    ASSERT_TRUE(HasTag(result, TypeTag::Text));
    if (AsText(result) == nullptr) break;
    names.push_back(AsText(result));
    RuntimeFree(AsPointer(result));
    args[0] = MakeText(nullptr);  // continue
  }
  EXPECT_EQ(names, std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(state, nullptr);

  ArgRecord result = MakeOmitted();
  CmdFindFiles(&result, 4, args);
  EXPECT_EQ(AsText(result), nullptr);
  const ArgRecord endArgs[] = {stateWord};
  CmdEndFileSearch(&result, 1, endArgs);
  EXPECT_EQ(state, nullptr);
}

}  // namespace
