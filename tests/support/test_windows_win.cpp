#include "test_windows_win.h"

namespace {

constexpr DWORD kBoxPollMs = 20;
constexpr DWORD kDialogPollMs = 10;
constexpr UINT kSendTimeoutMs = 5000;

struct BoxSearch {
  DWORD processId;
  DWORD threadId;
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD processId = 0;
  const DWORD threadId = GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId) return TRUE;
  if (search->threadId != 0 && threadId != search->threadId) return TRUE;
  if (ClassNameOf(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  // GetWindowTextW reads the caption without a message for other processes.
  if (*search->caption != CaptionOf(window)) return TRUE;
  search->found = window;
  return FALSE;
}

struct ClassSearch {
  DWORD processId;
  const std::wstring* className;
  std::vector<HWND>* found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ClassSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId &&
      (search->className->empty() || ClassNameOf(window) == *search->className)) {
    search->found->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM parameter) {
  if (ClassNameOf(window) == L"#32770" && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
  if (ClassNameOf(window) == L"#32770") PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

HWND WaitForBox(DWORD processId, DWORD threadId, const std::wstring& caption, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search{processId, threadId, &caption, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kBoxPollMs);
  }
}

std::wstring WindowTextOf(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return L"<no answer>";
  }
  return std::wstring(text, copied);
}

std::string WindowTextAnsiOf(HWND window) {
  char text[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return "<no answer>";
  }
  return std::string(text, copied);
}

std::wstring CaptionOf(HWND window) {
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  return caption;
}

std::wstring BoxMessageOf(HWND box) {
  const HWND message = GetDlgItem(box, 0xFFFF);
  return message != nullptr ? WindowTextOf(message) : L"<no message>";
}

std::string BoxMessageAnsiOf(HWND box) {
  const HWND message = GetDlgItem(box, 0xFFFF);
  return message != nullptr ? WindowTextAnsiOf(message) : "<no message>";
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

bool BoxShowsIcon(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassNameOf(child) != L"Static") continue;
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) continue;
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &icon) &&
        icon != 0) {
      return true;
    }
  }
  return false;
}

void PressBoxButton(HWND box, int buttonId) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className) {
  std::vector<HWND> found;
  ClassSearch search{processId, &className, &found};
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return found;
}

std::vector<HWND> DialogsOfThread(DWORD threadId) {
  std::vector<HWND> found;
  EnumThreadWindows(threadId, CollectVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const std::vector<HWND> dialogs = DialogsOfThread(threadId);
    if (!dialogs.empty()) return dialogs.front();
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kDialogPollMs);
  }
}

void CloseDialogsOfThread(DWORD threadId) {
  EnumThreadWindows(threadId, CloseDialog, 0);
}
