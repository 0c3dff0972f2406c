// Names in any script through the runtime's file and event commands: folder
// creation, file search, the orientation read from a picture file, DLL
// lookup by path, and characters dispatched to a Unicode window. The code
// under test takes and gives UTF-8; every check looks through the wide API
// with the compiler's UTF-16 of the same names, so it holds whatever the ANSI
// code page (these tests run under 936 and 1252).

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/command_adapter.h"
#include "base/command_call.h"
#include "base/dll_command_win.h"
#include "base/exif_orientation_win.h"
#include "base/runtime_memory.h"
#include "base/system_commands_win.h"
#include "test_files_win.h"
#include "unicode_file_names.h"

namespace {

// The temporary folder's path is ASCII, so TempFolder::File gives UTF-8 too.

std::wstring WideOfAscii(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

bool IsFolderW(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFileW(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::set<std::string> ListAll(const std::string& pattern, uint32_t mask, bool filesOnly) {
  HANDLE state = nullptr;
  std::set<std::string> names;
  std::optional<std::string> name = FindFiles(pattern, mask, filesOnly, &state);
  for (int guard = 0; name && guard < 1000; ++guard) {
    names.insert(*name);
    name = FindFiles("", mask, filesOnly, &state);
  }
  EXPECT_EQ(state, nullptr) << "the search was not closed at its end";
  return names;
}

// --- CreateFolder and FindFiles ----------------------------------------------

TEST(CreateFolderUnicode, MakesAFolderOfEveryNameOnce) {
  TempFolder temp;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    EXPECT_TRUE(CreateFolder(temp.File(name.utf8)));
    EXPECT_TRUE(IsFolderW(temp.WideFile(name.wide)));
    EXPECT_FALSE(CreateFolder(temp.File(name.utf8))) << "the folder was not found again";
    // One level inside a folder of that name.
    EXPECT_TRUE(CreateFolder(temp.File(std::string(name.utf8) + "\\" + name.utf8)));
    EXPECT_TRUE(IsFolderW(temp.WideFile(std::wstring(name.wide) + L"\\" + name.wide)));
  }
  // Nothing else appeared: no folder under a name mangled through a code page.
  EXPECT_EQ(ListAll(temp.File("*"), FILE_ATTRIBUTE_DIRECTORY, false).size(),
            std::size(kUnicodeFileNames) + 2);  // with "." and ".."

  const std::string path = temp.File("命令 사진 😀");
  const ArgRecord pathArg[] = {MakeText(path.c_str())};
  ArgRecord result = MakeOmitted();
  CmdCreateFolder(&result, 1, pathArg);
  EXPECT_EQ(AsInt32(result), 1);
  EXPECT_TRUE(IsFolderW(temp.WideFile(L"命令 사진 😀")));
}

class FindFilesUnicodeTest : public ::testing::Test {
 protected:
  // For every name a picture file and a folder, made through the wide API.
  void SetUp() override {
    for (const UnicodeFileName& name : kUnicodeFileNames) {
      ASSERT_TRUE(CreateEmptyFile(temp_.WideFile(std::wstring(name.wide) + L".png")));
      ASSERT_TRUE(CreateDirectoryW(temp_.WideFile(name.wide).c_str(), nullptr));
    }
  }

  TempFolder temp_;
};

TEST_F(FindFilesUnicodeTest, ListsEveryNameExactlyInUtf8) {
  std::set<std::string> files, entries = {".", ".."};
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    files.insert(std::string(name.utf8) + ".png");
    entries.insert(std::string(name.utf8) + ".png");
    entries.insert(name.utf8);
  }
  EXPECT_EQ(ListAll(temp_.File("*.*"), 0, true), files);
  EXPECT_EQ(ListAll(temp_.File("*"), 0, false), entries);
}

TEST_F(FindFilesUnicodeTest, PatternsWithNamesInAnyScriptMatchThoseNames) {
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    EXPECT_EQ(ListAll(temp_.File(std::string(name.utf8) + ".*"), 0, true),
              (std::set<std::string>{std::string(name.utf8) + ".png"}));
    EXPECT_EQ(ListAll(temp_.File(name.utf8), FILE_ATTRIBUTE_DIRECTORY, false),
              (std::set<std::string>{name.utf8}));
    // A search inside a folder of that name.
    const std::wstring inside =
        temp_.WideFile(std::wstring(name.wide) + L"\\" + name.wide + L".jpg");
    ASSERT_TRUE(CreateEmptyFile(inside));
    EXPECT_EQ(ListAll(temp_.File(std::string(name.utf8) + "\\*.jpg"), 0, true),
              (std::set<std::string>{std::string(name.utf8) + ".jpg"}));
  }
}

TEST_F(FindFilesUnicodeTest, UniformFormReturnsUtf8Texts) {
  HANDLE state = nullptr;
  const std::string pattern = temp_.File("mix*.png");
  const ArgRecord stateWord =
      MakeInteger(static_cast<int32_t>(reinterpret_cast<uintptr_t>(&state)));
  ArgRecord args[] = {MakeText(pattern.c_str()), MakeInteger(0), MakeBoolean(true), stateWord};
  ArgRecord result = MakeOmitted();
  CmdFindFiles(&result, 4, args);
  ASSERT_TRUE(HasTag(result, TypeTag::Text));
  ASSERT_NE(AsText(result), nullptr);
  EXPECT_EQ(std::string(AsText(result)), "mix 中文-사진-😀-é.png");
  RuntimeFree(AsPointer(result));
  args[0] = MakeText(nullptr);
  CmdFindFiles(&result, 4, args);
  EXPECT_EQ(AsText(result), nullptr);
  EXPECT_EQ(state, nullptr);
}

// --- Files opened by UTF-8 path ----------------------------------------------

TEST(FileOrientationUnicode, IsReadFromPicturesUnderEveryName) {
  TempFolder temp;
  const std::string orientation = WindowsPathOf(std::string(PC_TESTDATA_DIR) + "/orientation/");
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    ASSERT_TRUE(CopyFileW(WideOfAscii(orientation + "jpeg6.jpg").c_str(),
                          temp.WideFile(std::wstring(name.wide) + L".jpg").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(WideOfAscii(orientation + "tiff8.tif").c_str(),
                          temp.WideFile(std::wstring(name.wide) + L".tif").c_str(), TRUE));
    EXPECT_EQ(FileOrientation(temp.File(std::string(name.utf8) + ".jpg").c_str()), 6);
    EXPECT_EQ(FileOrientation(temp.File(std::string(name.utf8) + ".tif").c_str()), 8);
  }
}

TEST(DllCommandUnicode, DllInAFolderOfAnyNameIsLoadedByItsPath) {
  const std::wstring probe = ProgramFolderWide() + L"\\pc_probe_exports.dll";
  ASSERT_TRUE(IsFileW(probe)) << "the probe DLL is built beside the tests";
  TempFolder temp;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    ASSERT_TRUE(CreateDirectoryW(temp.WideFile(name.wide).c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(
        probe.c_str(), temp.WideFile(std::wstring(name.wide) + L"\\pc_probe_exports.dll").c_str(),
        TRUE));
    const std::string path = temp.File(std::string(name.utf8) + "\\pc_probe_exports.dll");
    DllCommand command{path.c_str(), "ProbeAnswer"};
    const auto answer = DllCommandAs<int (*)()>(command);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    wchar_t loaded[MAX_PATH * 2] = {};
    GetModuleFileNameW(command.module, loaded, MAX_PATH * 2);
    EXPECT_EQ(std::wstring(loaded),
              temp.WideFile(std::wstring(name.wide) + L"\\pc_probe_exports.dll"));
    ReleaseDllCommands();
  }
}

// --- ProcessEvents -------------------------------------------------------------

std::vector<WPARAM>* receivedCharacters = nullptr;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CHAR && receivedCharacters != nullptr) {
    receivedCharacters->push_back(wParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Characters of every script, surrogate pairs included, posted to a Unicode
// window arrive as they were sent; dispatched through the ANSI functions, the
// ones outside the code page would come back as '?'.
TEST(ProcessEventsUnicode, CharactersOfAnyScriptReachAUnicodeWindowWhole) {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = RecordingProcedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"PcUnicodeCharacters";
    return RegisterClassW(&description);
  }();
  ASSERT_NE(windowClass, 0);
  const HWND window =
      CreateWindowExW(0, L"PcUnicodeCharacters", L"字符", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  std::vector<WPARAM> sent, received;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    for (const wchar_t* unit = name.wide; *unit != L'\0'; ++unit) {
      sent.push_back(static_cast<WPARAM>(*unit));
      ASSERT_TRUE(PostMessageW(window, WM_CHAR, static_cast<WPARAM>(*unit), 1));
    }
  }
  receivedCharacters = &received;
  ProcessEvents();
  receivedCharacters = nullptr;
  DestroyWindow(window);
  EXPECT_EQ(received, sent);
}

}  // namespace
