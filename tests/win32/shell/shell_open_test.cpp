// ShellOpen with the verb "explore": Wine opens its own explorer, a process
// of its own, whose window takes the folder's name as its title. The window
// is closed with WM_CLOSE, which ends that process.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/shell_commands_win.h"
#include "shell_test_support.h"

namespace {

struct ExplorerSearch {
  std::wstring title;
  std::vector<HWND> found;
};

BOOL CALLBACK MatchExplorer(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ExplorerSearch*>(parameter);
  if (ClassNameOf(window) == L"ExplorerWClass" && CaptionOf(window) == search->title) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> ExplorerWindowsTitled(const std::wstring& title) {
  ExplorerSearch search{title, {}};
  EnumWindows(MatchExplorer, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Closes the explorer windows showing this folder and waits until they are
// gone; true when none is left.
bool CloseExplorersTitled(const std::wstring& title) {
  for (HWND window : ExplorerWindowsTitled(title)) PostMessageW(window, WM_CLOSE, 0, 0);
  return PumpMessagesUntil([&] { return ExplorerWindowsTitled(title).empty(); }, kWaitMs);
}

TEST(ShellOpen, ExploringAFolderOpensTheShellsFileBrowserOnIt) {
  StartRuntimeHere();
  TempFolder folder("pc_explore");
  const std::wstring title = WideOfAnsi(folder.Name());

  const intptr_t answer = ShellOpen(2, folder.Path());
  EXPECT_GT(answer, 32);
  const bool opened =
      PumpMessagesUntil([&] { return !ExplorerWindowsTitled(title).empty(); }, kWaitMs);
  EXPECT_TRUE(opened) << "no explorer window titled with the folder's name";
  EXPECT_TRUE(CloseExplorersTitled(title));
}

TEST(ShellOpen, TheCommandFormWithOmittedArgumentsExploresTheFolderToo) {
  StartRuntimeHere();
  TempFolder folder("pc_explore");
  const std::wstring title = WideOfAnsi(folder.Name());
  const ArgRecord args[] = {MakeInteger(2), MakeText(folder.Path().c_str()), MakeOmitted(),
                            MakeOmitted(), MakeOmitted()};
  ArgRecord result = MakeInteger(7);
  CmdShellOpen(&result, 2, args);
  EXPECT_TRUE(IsOmitted(result)) << "ShellOpen answers nothing";
  EXPECT_TRUE(PumpMessagesUntil([&] { return !ExplorerWindowsTitled(title).empty(); }, kWaitMs));
  EXPECT_TRUE(CloseExplorersTitled(title));
}

TEST(ShellOpen, ExploringAFolderWithAUnicodeNameOpensExactlyThatFolder) {
  StartRuntimeHere();
  TempFolder folder("pc_explore");
  const std::wstring name = L"探索 사진 ｼｬｼﾝ 😀 Ünïcødé";
  ASSERT_TRUE(CreateDirectoryW(folder.WideFile(name).c_str(), nullptr));

  const intptr_t answer = ShellOpen(2, folder.Path() + "\\探索 사진 ｼｬｼﾝ 😀 Ünïcødé");
  EXPECT_GT(answer, 32);
  const bool opened =
      PumpMessagesUntil([&] { return !ExplorerWindowsTitled(name).empty(); }, kWaitMs);
  EXPECT_TRUE(opened) << "no explorer window titled with the folder's name";
  EXPECT_TRUE(CloseExplorersTitled(name));
}

TEST(ShellOpen, AMissingFolderFailsQuietly) {
  StartRuntimeHere();
  std::string missing;
  {
    TempFolder gone("pc_missing");
    missing = gone.Path();
  }
  const intptr_t answer = ShellOpen(2, missing);
  EXPECT_LE(answer, 32) << "the shell reports the failure; the program ignores it";
  // Nothing opens for it (and no message box on this thread either).
  PumpMessagesFor(1000);
  const size_t slash = missing.find_last_of('\\');
  EXPECT_TRUE(ExplorerWindowsTitled(WideOfAnsi(missing.substr(slash + 1))).empty());
  EXPECT_EQ(nullptr, WaitForDialogOfThread(GetCurrentThreadId(), 0));
}

}  // namespace
