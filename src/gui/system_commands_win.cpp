// The runtime's window, timing, folder and file-search commands on Windows.

#include "gui/system_commands_win.h"

#include <algorithm>
#include <atomic>

#include "gui/command_adapter.h"
#include "gui/runtime_memory.h"
#include "gui/value_commands.h"

namespace {

std::atomic<WindowRefResolver> windowRefResolver{nullptr};

int ButtonCodeOf(int pressed) {
  switch (pressed) {
    case IDOK:
      return kButtonOk;
    case IDCANCEL:
      return kButtonCancel;
    case IDABORT:
      return kButtonAbort;
    case IDRETRY:
      return kButtonRetry;
    case IDIGNORE:
      return kButtonIgnore;
    case IDYES:
      return kButtonYes;
    case IDNO:
      return kButtonNo;
    default:
      return kButtonOk;
  }
}

bool IsNumberOrDateTag(uint32_t tag) {
  switch (static_cast<TypeTag>(tag)) {
    case TypeTag::Byte:
    case TypeTag::Short:
    case TypeTag::Integer:
    case TypeTag::LongInteger:
    case TypeTag::Float:
    case TypeTag::Double:
    case TypeTag::Boolean:
    case TypeTag::DateTime:
      return true;
    default:
      return false;
  }
}

// The message argument as shown: numbers, booleans and date-times as ToText
// renders them, a text as it stands, anything else nothing.
std::string MessageTextOf(const ArgRecord& record) {
  if (HasTag(record, TypeTag::Text)) return std::string(TextOfRecord(record));
  if (IsNumberOrDateTag(record.tag)) return ToText(ValueOfRecord(record));
  return std::string();
}

HWND OwnerOf(const ArgRecord& record) {
  if (HasTag(record, TypeTag::ControlRef)) {
    const WindowRefResolver resolver = windowRefResolver.load();
    return resolver != nullptr ? resolver(LowWord(record), HighWord(record)) : nullptr;
  }
  if (HasTag(record, TypeTag::Integer)) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(LowWord(record)));
  }
  return nullptr;
}

HANDLE* StateWordOf(const ArgRecord& record) {
  return IsOmitted(record) ? nullptr : static_cast<HANDLE*>(AsPointer(record));
}

void SetNoResult(ArgRecord* result) {
  if (result != nullptr) *result = MakeOmitted();
}

bool EntryMatches(const WIN32_FIND_DATAA& entry, uint32_t attributeMask, bool filesOnly) {
  if (filesOnly) return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return attributeMask == 0 || (entry.dwFileAttributes & attributeMask) != 0;
}

}  // namespace

void SetWindowRefResolver(WindowRefResolver resolver) { windowRefResolver = resolver; }

int ShowMessage(std::string_view message, int flags, std::optional<std::string_view> caption,
                HWND owner) {
  const std::string text(message);
  const std::string title(caption ? *caption : std::string_view(kDefaultMessageCaption));
  UINT style = static_cast<UINT>(flags);
  if ((style & MB_SYSTEMMODAL) == 0) style |= MB_TASKMODAL;
  const int pressed = MessageBoxA(owner, text.c_str(), title.c_str(), style);
  // A box with an OK button alone can only be acknowledged. Windows answers
  // IDOK however it is closed; Wine answers IDCANCEL when it is closed from
  // its window menu, which must not read as "cancelled".
  if ((style & MB_TYPEMASK) == MB_OK) return kButtonOk;
  return ButtonCodeOf(pressed);
}

void ProcessEvents() {
  MSG message;
  // Look before taking: WM_QUIT must stay queued for the message loop.
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // put it back
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

uint32_t TickCount() { return GetTickCount(); }

void Delay(int milliseconds) { Sleep(static_cast<DWORD>(std::max(milliseconds, 0))); }

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

std::optional<std::string> FindFiles(std::string_view pattern, uint32_t attributeMask,
                                     bool filesOnly, HANDLE* state) {
  if (state == nullptr) return std::nullopt;
  WIN32_FIND_DATAA entry;
  bool found;
  if (!pattern.empty()) {
    EndFileSearch(state);
    const std::string patternText(pattern);
    const HANDLE search = FindFirstFileA(patternText.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    *state = search;
    found = true;
  } else {
    if (*state == nullptr) return std::nullopt;
    found = FindNextFileA(*state, &entry) != 0;
  }
  while (found) {
    if (EntryMatches(entry, attributeMask, filesOnly)) return std::string(entry.cFileName);
    found = FindNextFileA(*state, &entry) != 0;
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

void CmdShowMessage(ArgRecord* result, int argCount, const ArgRecord* args) {
  const std::string message = MessageTextOf(ArgAt(argCount, args, 0));
  const int flags = IntegerOfRecord(ArgAt(argCount, args, 1));
  const ArgRecord captionRecord = ArgAt(argCount, args, 2);
  std::optional<std::string_view> caption;
  if (!IsOmitted(captionRecord)) caption = TextOfRecord(captionRecord);
  const HWND owner = argCount >= 4 ? OwnerOf(ArgAt(argCount, args, 3)) : nullptr;
  const int button = ShowMessage(message, flags, caption, owner);
  if (result != nullptr) *result = MakeInteger(button);
}

void CmdProcessEvents(ArgRecord* result, int, const ArgRecord*) {
  ProcessEvents();
  SetNoResult(result);
}

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
