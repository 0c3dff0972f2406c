// Run-time lookup of DLL functions. Failures end the program, so they are
// tested in a child program (lifecycle_test.cpp).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/dll_command_win.h"

namespace {

// The ordinal under which module exports name, read from its export table.
int OrdinalOf(HMODULE module, const char* name) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0) return -1;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) == 0) {
      return static_cast<int>(exports->Base + ordinals[i]);
    }
  }
  return -1;
}

FARPROC Expected(const char* dll, const char* name) {
  return GetProcAddress(GetModuleHandleA(dll), name);
}

TEST(DllCommand, WithoutFileNameTheSystemDllsAreSearchedInOrder) {
  DllCommand tick{nullptr, "GetTickCount"};
  EXPECT_EQ(ResolveDllCommand(tick), Expected("kernel32.dll", "GetTickCount"));
  // Found in the third candidate, after Kernel32 and Gdi32 do not have it.
  DllCommand box{nullptr, "MessageBoxA"};
  EXPECT_EQ(ResolveDllCommand(box), Expected("user32.dll", "MessageBoxA"));
  DllCommand shell{"", "ShellExecuteA"};
  const FARPROC shellExecute = ResolveDllCommand(shell);
  EXPECT_EQ(shellExecute, Expected("shell32.dll", "ShellExecuteA"));
  ReleaseDllCommands();
}

TEST(DllCommand, ResolvedAddressIsCachedAndCallable) {
  DllCommand tick{"kernel32.dll", "GetTickCount"};
  const auto getTickCount = DllCommandAs<DWORD(WINAPI*)()>(tick);
  ASSERT_NE(getTickCount, nullptr);
  EXPECT_NE(tick.module, nullptr);
  EXPECT_EQ(reinterpret_cast<FARPROC>(getTickCount), tick.address.load());
  const DWORD before = GetTickCount();
  EXPECT_LE(getTickCount() - before, 60000u);
  EXPECT_EQ(ResolveDllCommand(tick), reinterpret_cast<FARPROC>(getTickCount));
  ReleaseDllCommands();
  EXPECT_EQ(tick.module, nullptr);
}

TEST(DllCommand, NumberSignNamesAnExportByOrdinal) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const int ordinal = OrdinalOf(kernel, "GetTickCount");
  ASSERT_GT(ordinal, 0);
  const std::string name = "#" + std::to_string(ordinal);
  DllCommand byOrdinal{"kernel32.dll", name.c_str()};
  EXPECT_EQ(ResolveDllCommand(byOrdinal), Expected("kernel32.dll", "GetTickCount"));
  ReleaseDllCommands();
}

TEST(DllCommand, FileNameWithColonIsLoadedAsGiven) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string path = std::string(system) + "\\kernel32.dll";
  DllCommand command{path.c_str(), "GetTickCount"};
  EXPECT_EQ(ResolveDllCommand(command), Expected("kernel32.dll", "GetTickCount"));
  ReleaseDllCommands();
}

TEST(DllCommand, DllInTheProgramFolderIsFoundAndFreedAtTheEnd) {
  ASSERT_EQ(GetModuleHandleA("pc_probe_exports.dll"), nullptr);
  // Another current directory: the DLL must be found through the program's folder.
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  SetCurrentDirectoryA(temp);

  DllCommand command{"pc_probe_exports.dll", "ProbeAnswer"};
  const auto answer = DllCommandAs<int (*)()>(command);
  SetCurrentDirectoryA(previous);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_NE(GetModuleHandleA("pc_probe_exports.dll"), nullptr);

  ReleaseDllCommands();
  EXPECT_EQ(GetModuleHandleA("pc_probe_exports.dll"), nullptr) << "the module was not freed";
  EXPECT_EQ(command.address.load(), nullptr);
}

}  // namespace
