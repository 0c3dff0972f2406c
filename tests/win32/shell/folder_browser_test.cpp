// The folder browser, operated from a helper thread while the GUI thread sits
// in its modal loop. Wine ignores text typed into the browser's edit box, so
// the helper selects the folder with BFFM_SETSELECTIONW (in process the path
// is just a pointer) and then presses OK.

#include <gtest/gtest.h>

#include <shlobj.h>
#include <commctrl.h>

#include <functional>
#include <iterator>
#include <string>

#include "app/main_form_win.h"
#include "base/command_adapter.h"
#include "base/runtime_memory.h"
#include "base/wide_text_win.h"
#include "gui/shell_commands_win.h"
#include "shell_test_support.h"

namespace {

// What the helper saw while the browser was open.
struct BrowserSeen {
  HWND dialog = nullptr;
  HWND owner = nullptr;
  bool mainWindowEnabled = true;
  bool showsTitle = false;
};

struct TitleSearch {
  std::wstring title;
  bool found = false;
};

BOOL CALLBACK FindTitle(HWND child, LPARAM parameter) {
  auto* search = reinterpret_cast<TitleSearch*>(parameter);
  wchar_t text[256] = {};
  SendMessageW(child, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  if (search->title == text) search->found = true;
  return TRUE;
}

// Runs BrowseForFolder on this (the GUI) thread while a helper waits for the
// browser, notes what it sees, then acts on it (select and confirm, or
// cancel). Whatever happens, the helper closes the browser in the end, so the
// call returns.
std::string BrowseWhile(const std::function<void(HWND dialog)>& act, BrowserSeen* seen,
                        bool includeFiles = false,
                        const std::function<std::string()>& browse = nullptr) {
  const HWND mainWindow = LoadMainWindow();
  const DWORD guiThread = GetCurrentThreadId();
  TestThread helper([&] {
    const HWND dialog = WaitForDialogOfThread(guiThread);
    if (dialog != nullptr) {
      seen->dialog = dialog;
      seen->owner = GetWindow(dialog, GW_OWNER);
      seen->mainWindowEnabled = IsWindowEnabled(mainWindow) != FALSE;
      TitleSearch search{WideFromUtf8(kBrowseFolderTitle)};
      EnumChildWindows(dialog, FindTitle, reinterpret_cast<LPARAM>(&search));
      seen->showsTitle = search.found;
      act(dialog);
    }
    // A browser still open after the time limit is cancelled.
    const DWORD start = GetTickCount();
    while (dialog != nullptr && IsWindow(dialog) && GetTickCount() - start < kWaitMs) Sleep(10);
    CloseDialogsOfThread(guiThread);
  });
  const std::string chosen = browse ? browse() : BrowseForFolder(kBrowseFolderTitle, includeFiles);
  EXPECT_TRUE(helper.Join());
  EXPECT_NE(nullptr, seen->dialog) << "no folder browser appeared";
  return chosen;
}

constexpr int kFolderTreeId = 14145;  // the browser's tree view

// Selects path in the browser, then presses OK; true when the selection
// took. The tree starts without a selection and gets one when the path has
// been found; under Wine a path in a folder created moments before is
// sometimes not found at the first try, so the selection is asked for again
// until it takes. A browser whose selection never takes is cancelled.
bool SelectAndConfirm(HWND dialog, const std::wstring& path) {
  const HWND tree = GetDlgItem(dialog, kFolderTreeId);
  const DWORD start = GetTickCount();
  bool selected = false;
  while (!selected && GetTickCount() - start < kWaitMs) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
    for (int poll = 0; poll < 25 && !selected; ++poll) {
      selected = tree == nullptr || SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0;
      if (!selected) Sleep(20);
    }
  }
  PostMessageW(dialog, WM_COMMAND, selected ? IDOK : IDCANCEL, 0);
  return selected;
}

// Browses and chooses path. Now and then Wine's shell tree never takes the
// selection on a busy machine (it is still walking the drives); that browser
// is cancelled and a new one opened, three times at most.
std::string BrowseAndChoose(const std::wstring& path, BrowserSeen* seen, bool includeFiles = false,
                            const std::function<std::string()>& browse = nullptr) {
  std::string chosen;
  bool selected = false;
  for (int attempt = 0; attempt < 3 && !selected; ++attempt) {
    *seen = BrowserSeen{};
    chosen = BrowseWhile([&](HWND dialog) { selected = SelectAndConfirm(dialog, path); }, seen,
                         includeFiles, browse);
  }
  EXPECT_TRUE(selected) << path;
  return chosen;
}

// Activation goes through the X server under Wine, so on a busy machine it
// can take a while to show; asked again until it does.
void MakeMainWindowActive(HWND mainWindow) {
  PumpMessagesUntil([mainWindow] {
    SetForegroundWindow(mainWindow);
    SetActiveWindow(mainWindow);
    PumpMessagesFor(50);
    return GetActiveWindow() == mainWindow;
  });
}

TEST(FolderBrowser, ConfirmingAFolderGivesItsPathWithoutTrailingBackslash) {
  const HWND mainWindow = LoadMainWindow();
  MakeMainWindowActive(mainWindow);
  ASSERT_EQ(mainWindow, GetActiveWindow());
  TempFolder folder;
  BrowserSeen seen;

  const std::string chosen = BrowseAndChoose(WideOfAnsi(folder.Path()), &seen);

  EXPECT_EQ(folder.Path(), chosen);
  EXPECT_TRUE(seen.showsTitle) << "the browser shows the title above its tree";
  // Modal to the program: owned by the window that was active, and the
  // program's windows disabled while it was open ...
  EXPECT_EQ(mainWindow, seen.owner);
  EXPECT_FALSE(seen.mainWindowEnabled);
  // ... and enabled and active again afterwards.
  EXPECT_TRUE(IsWindowEnabled(mainWindow));
  EXPECT_EQ(mainWindow, GetActiveWindow());
}

TEST(FolderBrowser, AFolderWithAUnicodeNameIsAnsweredInExactUtf8) {
  MakeMainWindowActive(LoadMainWindow());
  TempFolder folder;
  // One folder inside the other, one level for every name, so one browse
  // covers them all.
  const wchar_t* const wideNames[] = {
      L"中文", L"café", L"사진", L"ｼｬｼﾝ", L"😀", L"Ünïcødé", L"mix 中文-사진-😀-é"};
  const char* const names[] = {"中文", "café", "사진", "ｼｬｼﾝ", "😀", "Ünïcødé", "mix 中文-사진-😀-é"};
  std::wstring widePath = WideOfAnsi(folder.Path());
  std::string expected = folder.Path();
  for (size_t i = 0; i < std::size(names); ++i) {
    widePath += std::wstring(L"\\") + wideNames[i];
    expected += std::string("\\") + names[i];
    ASSERT_TRUE(CreateDirectoryW(widePath.c_str(), nullptr)) << names[i];
  }
  BrowserSeen seen;
  const std::string chosen = BrowseAndChoose(widePath, &seen);
  EXPECT_EQ(expected, chosen);
}

TEST(FolderBrowser, AUnicodeTitleShowsExactlyAboveTheTree) {
  MakeMainWindowActive(LoadMainWindow());
  const std::string title = "选择 사진 ｼｬｼﾝ 😀 Ünïcødé";
  BrowserSeen seen;
  bool titleShown = false;
  BrowseWhile(
      [&](HWND dialog) {
        TitleSearch search{L"选择 사진 ｼｬｼﾝ 😀 Ünïcødé"};
        EnumChildWindows(dialog, FindTitle, reinterpret_cast<LPARAM>(&search));
        titleShown = search.found;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      },
      &seen, false, [&] { return BrowseForFolder(title); });
  EXPECT_TRUE(titleShown);
}

TEST(FolderBrowser, ADriveRootKeepsItsBackslash) {
  MakeMainWindowActive(LoadMainWindow());
  BrowserSeen seen;
  const std::string chosen = BrowseAndChoose(L"C:\\", &seen);
  EXPECT_EQ("C:\\", chosen);
}

TEST(FolderBrowser, CancellingGivesTheEmptyTextAndGivesTheWindowsBack) {
  const HWND mainWindow = LoadMainWindow();
  MakeMainWindowActive(mainWindow);
  BrowserSeen seen;
  const std::string chosen =
      BrowseWhile([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &seen);
  EXPECT_EQ("", chosen);
  EXPECT_FALSE(seen.mainWindowEnabled);
  EXPECT_TRUE(IsWindowEnabled(mainWindow));
  EXPECT_EQ(mainWindow, GetActiveWindow());
}

TEST(FolderBrowser, AWindowDisabledBeforeStaysDisabledAfterwards) {
  const HWND mainWindow = LoadMainWindow();
  MakeMainWindowActive(mainWindow);
  EnableWindow(mainWindow, FALSE);
  BrowserSeen seen;
  BrowseWhile([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &seen);
  EXPECT_FALSE(IsWindowEnabled(mainWindow));
  EnableWindow(mainWindow, TRUE);
}

TEST(FolderBrowser, WithFilesIncludedAFileCanBeChosen) {
  MakeMainWindowActive(LoadMainWindow());
  TempFolder folder;
  const std::string file = folder.Path() + "\\picture.bmp";
  HANDLE created = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, created);
  CloseHandle(created);
  BrowserSeen seen;
  const std::string chosen = BrowseAndChoose(WideOfAnsi(file), &seen, true);
  EXPECT_EQ(file, chosen);
}

TEST(FolderBrowser, TheCommandFormAnswersANewTextOrTheNullText) {
  MakeMainWindowActive(LoadMainWindow());
  TempFolder folder;
  BrowserSeen seen;
  ArgRecord result = MakeOmitted();
  const auto browse = [&] {
    const ArgRecord args[] = {MakeText(kBrowseFolderTitle)};
    CmdBrowseForFolder(&result, 1, args);
    return std::string();
  };
  BrowseAndChoose(WideOfAnsi(folder.Path()), &seen, false, browse);
  ASSERT_EQ(TagValue(TypeTag::Text), result.tag);
  ASSERT_NE(nullptr, AsText(result));
  EXPECT_EQ(folder.Path(), AsText(result));
  FreeResultRecord(result);

  BrowserSeen cancelled;
  BrowseWhile([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &cancelled, false,
              browse);
  EXPECT_EQ(TagValue(TypeTag::Text), result.tag);
  EXPECT_EQ(nullptr, AsText(result));
}

}  // namespace
