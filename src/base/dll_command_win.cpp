// Run-time lookup of DLL functions.

#include "base/dll_command_win.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "base/error_report.h"
#include "base/system_commands_win.h"
#include "base/wide_text_win.h"
#include "base/win_handles_win.h"

namespace {

// Where a command without a DLL file name is looked for, in this order.
const wchar_t* const kSystemDlls[] = {L"Kernel32.dll", L"Gdi32.dll", L"User32.dll",
                                      L"Advapi32.dll", L"Mpr.dll",   L"Shell32.dll"};

struct Resolutions {
  std::mutex lock;
  std::vector<DllCommand*> resolved;  // commands holding a module reference
};

// Never destroyed: commands may still be resolved while the process ends.
Resolutions& ResolutionState() {
  static Resolutions* const state = new Resolutions;
  return *state;
}

// "#" followed by decimal digits names an export by its 16-bit ordinal.
bool ParseOrdinal(const char* name, WORD* ordinal) {
  if (name == nullptr || name[0] != '#' || name[1] == '\0') return false;
  unsigned value = 0;
  for (const char* p = name + 1; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = (value * 10 + static_cast<unsigned>(*p - '0')) & 0xFFFFu;
  }
  *ordinal = static_cast<WORD>(value);
  return true;
}

FARPROC LookUp(HMODULE module, const char* exportName) {
  WORD ordinal;
  if (ParseOrdinal(exportName, &ordinal)) {
    return GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  }
  return GetProcAddress(module, exportName != nullptr ? exportName : "");
}

UniqueModule LoadNamedDll(const char* fileName) {
  const std::wstring name = WideFromUtf8(fileName);
  if (name.find(L':') == std::wstring::npos) {
    std::wstring local = ProgramFolderWide();
    if (!local.empty()) {
      if (local.back() != L'\\') local += L'\\';
      local += name;
      UniqueModule module(LoadLibraryW(local.c_str()));
      if (module) return module;
    }
  }
  return UniqueModule(LoadLibraryW(name.c_str()));
}

std::string FormatText(const char* format, const char* first, const char* second = nullptr) {
  const int length = std::snprintf(nullptr, 0, format, first, second);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, first, second);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

FARPROC ResolveDllCommand(DllCommand& command) {
  FARPROC address = command.address.load();
  if (address != nullptr) return address;

  const char* const exportName = command.exportName != nullptr ? command.exportName : "";
  const bool hasFileName = command.fileName != nullptr && command.fileName[0] != '\0';
  std::string failure;
  {
    Resolutions& state = ResolutionState();
    std::lock_guard<std::mutex> lock(state.lock);
    address = command.address.load();
    if (address != nullptr) return address;

    UniqueModule found;
    if (!hasFileName) {
      for (const wchar_t* dll : kSystemDlls) {
        UniqueModule module(LoadLibraryW(dll));
        if (!module) continue;
        address = LookUp(module.Get(), exportName);
        if (address != nullptr) {
          found = std::move(module);
          break;
        }
      }
    } else {
      UniqueModule module = LoadNamedDll(command.fileName);
      if (module) address = LookUp(module.Get(), exportName);
      if (address != nullptr) found = std::move(module);
    }

    if (address != nullptr) {
      command.module = found.Release();
      command.address = address;
      state.resolved.push_back(&command);
      return address;
    }
    failure = hasFileName ? FormatText("无法找到指定DLL库文件“%s”中的输出命令“%s”",
                                       command.fileName, exportName)
                          : FormatText("无法找到指定DLL库文件中的输出命令“%s”", exportName);
  }
  // Reported outside the lock: the end of the program releases the modules.
  ReportFatal(failure, 0);
}

void ReleaseDllCommands() {
  Resolutions& state = ResolutionState();
  std::lock_guard<std::mutex> lock(state.lock);
  for (DllCommand* command : state.resolved) {
    command->address = nullptr;
    UniqueModule module(command->module);
    command->module = nullptr;
  }
  state.resolved.clear();
}
