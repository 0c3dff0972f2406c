// The shell's folder browser and ShellExecute.

#include "gui/shell_commands_win.h"

#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "base/com_ptr_win.h"
#include "base/command_adapter.h"
#include "base/wide_text_win.h"
#include "gui/form_units_win.h"

namespace {

// Frees an item list from the shell through the shell's allocator.
class ItemList {
 public:
  explicit ItemList(PIDLIST_ABSOLUTE list) : list_(list) {}
  ~ItemList() {
    if (list_ == nullptr) return;
    ComPtr<IMalloc> allocator;
    if (SUCCEEDED(SHGetMalloc(allocator.Receive())) && allocator) allocator->Free(list_);
  }
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;

  PIDLIST_ABSOLUTE Get() const { return list_; }

 private:
  PIDLIST_ABSOLUTE list_;
};

// The program's loaded top-level windows, disabled for the life of this
// object; each gets back its earlier enabled state (one that was disabled
// stays so), then the earlier foreground and active windows come back.
class ProgramWindowsDisabled {
 public:
  ProgramWindowsDisabled() {
    const HWND active = GetActiveWindow();
    active_ = IsWindow(active) ? active : nullptr;
    foreground_ = GetForegroundWindow();
    for (LoadedWindow* loaded : LoadedWindows()) {
      const HWND window = loaded->WindowUnit().native.load();
      if (window == nullptr || !IsWindow(window) || GetParent(window) != nullptr) continue;
      windows_.push_back(Remembered{window, IsWindowEnabled(window) != FALSE});
      EnableWindow(window, FALSE);
    }
  }
  ~ProgramWindowsDisabled() {
    for (const Remembered& remembered : windows_) {
      if (IsWindow(remembered.window)) EnableWindow(remembered.window, remembered.wasEnabled);
    }
    if (foreground_ != nullptr && IsWindow(foreground_)) SetForegroundWindow(foreground_);
    if (active_ != nullptr && IsWindow(active_)) SetActiveWindow(active_);
  }
  ProgramWindowsDisabled(const ProgramWindowsDisabled&) = delete;
  ProgramWindowsDisabled& operator=(const ProgramWindowsDisabled&) = delete;

  HWND Owner() const { return active_; }

 private:
  struct Remembered {
    HWND window;
    bool wasEnabled;
  };
  HWND active_ = nullptr;
  HWND foreground_ = nullptr;
  std::vector<Remembered> windows_;
};

const wchar_t* ShellVerbOf(int verbNumber) {
  switch (verbNumber) {
    case 1:
      return L"edit";
    case 2:
      return L"explore";
    case 3:
      return L"find";
    case 4:
      return L"open";
    case 5:
      return L"print";
    default:
      return nullptr;  // the target's default verb
  }
}

int ShowCommandOf(std::optional<int> showMode) {
  switch (showMode.value_or(0)) {
    case 1:
      return SW_HIDE;
    case 2:
      return SW_SHOWNORMAL;
    case 3:
      return SW_SHOWMINIMIZED;
    case 4:
      return SW_SHOWMAXIMIZED;
    case 5:
      return SW_SHOWNA;
    case 6:
      return SW_MINIMIZE;
    default:
      return SW_SHOWNORMAL;
  }
}

std::optional<std::string> OptionalText(const ArgRecord& record) {
  if (IsOmitted(record)) return std::nullopt;
  return std::string(TextOfRecord(record));
}

}  // namespace

std::string BrowseForFolder(const std::string& title, bool includeFiles) {
  const std::wstring wideTitle = WideFromUtf8(title);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = displayName;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_EDITBOX | (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);

  PIDLIST_ABSOLUTE chosen = nullptr;
  {
    // The disabled windows are the only guard against starting another
    // handler from them while the browser runs its own message loop.
    ProgramWindowsDisabled disabled;
    info.hwndOwner = disabled.Owner();
    chosen = SHBrowseForFolderW(&info);
  }
  const ItemList list(chosen);
  if (list.Get() == nullptr) return std::string();  // cancelled

  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(list.Get(), path)) return std::string();  // a virtual folder
  return Utf8FromWide(path);
}

intptr_t ShellOpen(int verbNumber, const std::string& target,
                   const std::optional<std::string>& parameters,
                   const std::optional<std::string>& folder, std::optional<int> showMode) {
  const std::wstring wideTarget = WideFromUtf8(target);
  const std::wstring wideParameters = parameters ? WideFromUtf8(*parameters) : std::wstring();
  const std::wstring wideFolder = folder ? WideFromUtf8(*folder) : std::wstring();
  const HINSTANCE answer = ShellExecuteW(nullptr, ShellVerbOf(verbNumber), wideTarget.c_str(),
                                         parameters ? wideParameters.c_str() : nullptr,
                                         wideFolder.c_str(), ShowCommandOf(showMode));
  return reinterpret_cast<intptr_t>(answer);
}

void CmdBrowseForFolder(ArgRecord* result, int argCount, const ArgRecord* args) {
  const std::string title(TextOfRecord(ArgAt(argCount, args, 0)));
  const ArgRecord includeRecord = ArgAt(argCount, args, 1);
  const bool includeFiles = !IsOmitted(includeRecord) && IntegerOfRecord(includeRecord) != 0;
  const std::string path = BrowseForFolder(title, includeFiles);
  if (result == nullptr) return;
  *result = path.empty() ? MakeText(nullptr) : NewTextRecord(path);
}

void CmdShellOpen(ArgRecord* result, int argCount, const ArgRecord* args) {
  const int verbNumber = IntegerOfRecord(ArgAt(argCount, args, 0));
  const std::string target(TextOfRecord(ArgAt(argCount, args, 1)));
  const std::optional<std::string> parameters = OptionalText(ArgAt(argCount, args, 2));
  const std::optional<std::string> folder = OptionalText(ArgAt(argCount, args, 3));
  std::optional<int> showMode;
  const ArgRecord showRecord = ArgAt(argCount, args, 4);
  if (argCount == 5 && !IsOmitted(showRecord)) showMode = IntegerOfRecord(showRecord);
  ShellOpen(verbNumber, target, parameters, folder, showMode);
  if (result != nullptr) *result = MakeOmitted();
}
