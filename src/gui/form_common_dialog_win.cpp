// The common-dialog control: an open-file or save-file dialog shown on the
// calling thread with the control's stored options.

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "gui/form_units_win.h"
#include "gui/form_window_win.h"
#include "gui/gui_thread_call_win.h"

namespace {

constexpr size_t kPathBufferSize = 4096;

// The stored filter "name|pattern|name|pattern" ends with "||", then every
// bar becomes the zero the dialog separates its pairs with.
std::wstring DialogFilterOf(const std::string& filter) {
  if (filter.empty()) return std::wstring();
  std::wstring pairs = WideFromUtf8(filter);
  if (pairs.size() < 2 || pairs.compare(pairs.size() - 2, 2, L"||") != 0) pairs += L"||";
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  return pairs;
}

DWORD DialogFlagsOf(const UnitSettings& settings) {
  DWORD flags = OFN_HIDEREADONLY;
  if (settings.dialogCreatePrompt) flags |= OFN_CREATEPROMPT;
  if (settings.dialogFileMustExist) flags |= OFN_FILEMUSTEXIST;
  if (settings.dialogOverwritePrompt) flags |= OFN_OVERWRITEPROMPT;
  if (settings.dialogPathMustExist) flags |= OFN_PATHMUSTEXIST;
  if (settings.dialogKeepCurrentDirectory) flags |= OFN_NOCHANGEDIR;
  return flags;
}

}  // namespace

bool ShowCommonDialog(ControlRef ref, std::string* chosenPath) {
  LiveUnit& unit = UnitForAccess(ref);
  const UnitSettings& settings = unit.form.settings;
  if (unit.kind != UnitKind::kCommonDialog) return false;
  if (settings.dialogType != 0 && settings.dialogType != 1) return false;

  // The stored name and the owner are read on the GUI thread; the dialog
  // itself runs on this one.
  std::string storedName;
  HWND owner = nullptr;
  RunOnGuiThread([&] {
    storedName = unit.fileName;
    // The dialog belongs to the window, so it stays above it also while the
    // window is on top.
    owner = unit.closed.load() ? nullptr : unit.window.WindowUnit().native.load();
  });

  // Characters, so a name outside the Basic Multilingual Plane takes two.
  std::vector<wchar_t> path(kPathBufferSize, L'\0');
  WideFromUtf8(storedName).copy(path.data(), path.size() - 1);
  const std::wstring filter = DialogFilterOf(settings.dialogFilter);
  const std::wstring initialFolder = WideFromUtf8(settings.dialogInitialFolder);
  const std::wstring title = WideFromUtf8(settings.dialogTitle);
  const std::wstring defaultExtension = WideFromUtf8(settings.dialogDefaultExtension);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  if (!filter.empty()) {
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = settings.dialogFilterIndex < 0 ? 1 : settings.dialogFilterIndex + 1;
  }
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  if (!initialFolder.empty()) dialog.lpstrInitialDir = initialFolder.c_str();
  if (!title.empty()) dialog.lpstrTitle = title.c_str();
  if (!defaultExtension.empty()) dialog.lpstrDefExt = defaultExtension.c_str();
  dialog.Flags = DialogFlagsOf(settings);

  const BOOL confirmed =
      settings.dialogType == 1 ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!confirmed) return false;

  const std::string chosen = Utf8FromWide(path.data());
  RunOnGuiThread([&] { unit.fileName = chosen; });
  if (chosenPath != nullptr) *chosenPath = chosen;
  return true;
}
