// The common dialog: an open-file dialog on the calling thread, driven here
// from the test thread as a user would (Wine's dialog: the file-name Edit has
// id 0x47c, nested inside a ComboBoxEx and a ComboBox).

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "form_test_support.h"
#include "base/runtime_memory.h"
#include "base/wide_text_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "unicode_file_names.h"

namespace {

constexpr int kFileNameEditId = 0x47c;

struct DialogRun {
  std::atomic<bool> done{false};
  bool confirmed = false;
  std::string path = "<untouched>";
};

void ShowOn(DialogRun& run) {
  run.confirmed = ShowCommonDialog(kCommonDialog, &run.path);
  run.done = true;
}

HWND FileNameEdit(HWND dialog) {
  for (const HWND candidate : DescendantsWithId(dialog, kFileNameEditId)) {
    if (ClassNameOf(candidate) == L"Edit") return candidate;
  }
  return nullptr;
}

// Types path into the dialog and presses OK.
void Choose(HWND dialog, const std::wstring& path) {
  const HWND edit = FileNameEdit(dialog);
  ASSERT_NE(edit, nullptr) << "no file-name field in the dialog";
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

void Cancel(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

std::string StoredFileName() {
  char* text = PropertyService::ReadText(kCommonDialog, kPropDialogFileName);
  std::string stored = text;
  RuntimeFree(text);
  return stored;
}

}  // namespace

TEST(CommonDialog, ConfirmedPathIsAnsweredAndStoredAsTheFileName) {
  TempFolder folder;
  const std::wstring file = folder.WideFile(L"蓝色.png");
  ASSERT_TRUE(CreateEmptyFile(file));

  DialogRun run;
  TestThread shower([&] { ShowOn(run); });
  const HWND dialog = WaitForDialogOfThread(shower.Id());
  ASSERT_NE(dialog, nullptr) << "no dialog appeared";
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), MainWindowHandle())
      << "the dialog belongs to the main window, so it stays above it";
  Choose(dialog, file);
  ASSERT_TRUE(shower.Join());
  EXPECT_TRUE(run.confirmed);
  EXPECT_EQ(run.path, Utf8FromWide(file));
  EXPECT_EQ(StoredFileName(), Utf8FromWide(file));
}

TEST(CommonDialog, UnicodeNamesAreAnsweredAndStoredInExactUtf8) {
  TempFolder folder;
  for (const UnicodeFileName& c : kUnicodeFileNames) {
    // The folder and the file both carry the name.
    const std::wstring inner = folder.WideFile(c.wide);
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr)) << c.utf8;
    const std::wstring file = inner + L"\\" + c.wide + L".png";
    ASSERT_TRUE(CreateEmptyFile(file)) << c.utf8;
    const std::string expected = folder.Path() + "\\" + c.utf8 + "\\" + c.utf8 + ".png";

    DialogRun run;
    TestThread shower([&] { ShowOn(run); });
    const HWND dialog = WaitForDialogOfThread(shower.Id());
    ASSERT_NE(dialog, nullptr) << "no dialog appeared";
    Choose(dialog, file);
    ASSERT_TRUE(shower.Join());
    EXPECT_TRUE(run.confirmed) << c.utf8;
    EXPECT_EQ(run.path, expected);
    EXPECT_EQ(StoredFileName(), expected);
  }

  // The next dialog opens on the stored Unicode name.
  DialogRun run;
  TestThread shower([&] { ShowOn(run); });
  const HWND dialog = WaitForDialogOfThread(shower.Id());
  ASSERT_NE(dialog, nullptr);
  const std::wstring shown = WindowTextOf(FileNameEdit(dialog));
  Cancel(dialog);
  ASSERT_TRUE(shower.Join());
  EXPECT_NE(shown.find(L"mix 中文-사진-😀-é.png"), std::wstring::npos) << Utf8FromWide(shown);
}

TEST(CommonDialog, CancelAnswersFalseAndKeepsThePreviousName) {
  TempFolder folder;
  const std::wstring file = folder.WideFile(L"first.bmp");
  ASSERT_TRUE(CreateEmptyFile(file));
  {
    DialogRun run;
    TestThread shower([&] { ShowOn(run); });
    const HWND dialog = WaitForDialogOfThread(shower.Id());
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, file);
    ASSERT_TRUE(shower.Join());
    ASSERT_TRUE(run.confirmed);
  }

  DialogRun run;
  TestThread shower([&] { ShowOn(run); });
  const HWND dialog = WaitForDialogOfThread(shower.Id());
  ASSERT_NE(dialog, nullptr);
  // The dialog opens on the stored name.
  EXPECT_EQ(WindowTextOf(FileNameEdit(dialog)).find(L"first.bmp") != std::wstring::npos, true)
      << WindowTextOf(FileNameEdit(dialog));
  Cancel(dialog);
  ASSERT_TRUE(shower.Join());
  EXPECT_FALSE(run.confirmed);
  EXPECT_EQ(run.path, "<untouched>");
  EXPECT_EQ(StoredFileName(), Utf8FromWide(file));
}

TEST(CommonDialog, TwoThreadsShowingAtOnceEachGetTheirOwnPath) {
  TempFolder folder;
  const std::wstring fileA = folder.WideFile(L"甲.jpg");
  const std::wstring fileB = folder.WideFile(L"乙.tif");
  ASSERT_TRUE(CreateEmptyFile(fileA));
  ASSERT_TRUE(CreateEmptyFile(fileB));

  DialogRun runA;
  DialogRun runB;
  TestThread showerA([&] { ShowOn(runA); });
  TestThread showerB([&] { ShowOn(runB); });
  const HWND dialogA = WaitForDialogOfThread(showerA.Id());
  const HWND dialogB = WaitForDialogOfThread(showerB.Id());
  ASSERT_NE(dialogA, nullptr);
  ASSERT_NE(dialogB, nullptr);
  ASSERT_NE(dialogA, dialogB);

  // B is answered first, then A: each thread still gets the path of its own
  // dialog, and the stored name is the last one confirmed.
  Choose(dialogB, fileB);
  ASSERT_TRUE(showerB.Join());
  Choose(dialogA, fileA);
  ASSERT_TRUE(showerA.Join());
  EXPECT_TRUE(runA.confirmed);
  EXPECT_TRUE(runB.confirmed);
  EXPECT_EQ(runA.path, Utf8FromWide(fileA));
  EXPECT_EQ(runB.path, Utf8FromWide(fileB));
  EXPECT_EQ(StoredFileName(), Utf8FromWide(fileA));
}

TEST(CommonDialog, ShowingAnotherKindOfControlAnswersFalseWithoutADialog) {
  std::string path = "<untouched>";
  EXPECT_FALSE(ShowCommonDialog(kFormatCombo, &path));
  EXPECT_EQ(path, "<untouched>");
}
