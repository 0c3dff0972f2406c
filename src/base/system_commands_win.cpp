// The runtime's event pumping, timing, folder and file-search commands on Windows.

#include "base/system_commands_win.h"

#include <algorithm>

#include "base/command_adapter.h"
#include "base/runtime_memory.h"
#include "base/wide_text_win.h"

namespace {

HANDLE* StateWordOf(const ArgRecord& record) {
  return IsOmitted(record) ? nullptr : static_cast<HANDLE*>(AsPointer(record));
}

void SetNoResult(ArgRecord* result) {
  if (result != nullptr) *result = MakeOmitted();
}

bool EntryMatches(const WIN32_FIND_DATAW& entry, uint32_t attributeMask, bool filesOnly) {
  if (filesOnly) return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return attributeMask == 0 || (entry.dwFileAttributes & attributeMask) != 0;
}

}  // namespace

std::wstring ProgramFolderWide() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  path.resize(slash);
  if (path.size() == 2 && path[1] == L':') path += L'\\';  // "C:" alone means another folder
  return path;
}

void ProcessEvents() {
  MSG message;
  // Look before taking: WM_QUIT must stay queued for the message loop.
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // put it back
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

uint32_t TickCount() { return GetTickCount(); }

void Delay(int milliseconds) { Sleep(static_cast<DWORD>(std::max(milliseconds, 0))); }

bool CreateFolder(const std::string& path) {
  return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != 0;
}

std::optional<std::string> FindFiles(std::string_view pattern, uint32_t attributeMask,
                                     bool filesOnly, HANDLE* state) {
  if (state == nullptr) return std::nullopt;
  WIN32_FIND_DATAW entry;
  bool found;
  if (!pattern.empty()) {
    EndFileSearch(state);
    const HANDLE search = FindFirstFileW(WideFromUtf8(pattern).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    *state = search;
    found = true;
  } else {
    if (*state == nullptr) return std::nullopt;
    found = FindNextFileW(*state, &entry) != 0;
  }
  while (found) {
    if (EntryMatches(entry, attributeMask, filesOnly)) return Utf8FromWide(entry.cFileName);
    found = FindNextFileW(*state, &entry) != 0;
  }
  EndFileSearch(state);
  return std::nullopt;
}

void EndFileSearch(HANDLE* state) {
  if (state == nullptr) return;
  const HANDLE search = *state;
  *state = nullptr;
  if (search != nullptr && search != INVALID_HANDLE_VALUE) FindClose(search);
}

// --- Uniform calling form ---------------------------------------------------

void CmdTickCount(ArgRecord* result, int, const ArgRecord*) {
  if (result != nullptr) *result = MakeInteger(static_cast<int32_t>(TickCount()));
}

void CmdDelay(ArgRecord* result, int argCount, const ArgRecord* args) {
  Delay(IntegerOfRecord(ArgAt(argCount, args, 0)));
  SetNoResult(result);
}

void CmdCreateFolder(ArgRecord* result, int argCount, const ArgRecord* args) {
  const bool created = CreateFolder(std::string(TextOfRecord(ArgAt(argCount, args, 0))));
  if (result != nullptr) *result = MakeBoolean(created);
}

void CmdFindFiles(ArgRecord* result, int argCount, const ArgRecord* args) {
  const std::string_view pattern = TextOfRecord(ArgAt(argCount, args, 0));
  const uint32_t mask = static_cast<uint32_t>(IntegerOfRecord(ArgAt(argCount, args, 1)));
  const bool filesOnly = IntegerOfRecord(ArgAt(argCount, args, 2)) != 0;
  const std::optional<std::string> name =
      FindFiles(pattern, mask, filesOnly, StateWordOf(ArgAt(argCount, args, 3)));
  if (result == nullptr) return;
  *result = name ? NewTextRecord(*name) : MakeText(nullptr);
}

void CmdEndFileSearch(ArgRecord* result, int argCount, const ArgRecord* args) {
  EndFileSearch(StateWordOf(ArgAt(argCount, args, 0)));
  SetNoResult(result);
}

void CmdProcessEvents(ArgRecord* result, int, const ArgRecord*) {
  ProcessEvents();
  SetNoResult(result);
}
