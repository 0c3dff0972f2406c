// pcdriver: operates the program's windows from outside for the end-to-end
// scripts. Runs in the same Wine prefix and display as the program; takes
// UTF-8 arguments and prints UTF-8.
//
//   pcdriver waitwin CLASS [TITLE] [timeoutMs]   wait for a top-level window
//   pcdriver closewin CLASS [TITLE]              post WM_CLOSE to it
//   pcdriver listwin [CLASS]                     print top-level windows
//   pcdriver boxtext CAPTION [timeoutMs]         print a message box's text
//   pcdriver clickbox CAPTION [buttonId] [timeoutMs]  press a box button (IDOK)
//   pcdriver waitexit PID|IMAGE timeoutMs        wait for a process, print its exit code
//
// An empty TITLE matches any title. With a single argument after CLASS, an
// argument made of digits is the timeout. Exit status: 0 done, 1 not found
// or timed out, 2 bad usage.

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <tlhelp32.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 5000;

void Print(const std::wstring& text) {
  const std::wstring line = text + L"\n";
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

void PrintError(const std::wstring& text) {
  const std::wstring line = L"pcdriver: " + text + L"\n";
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

bool IsNumber(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (!std::iswdigit(c)) return false;
  }
  return true;
}

DWORD NumberOf(const std::wstring& text) {
  return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Caption of a top-level window (no message is sent to another process).
std::wstring CaptionOf(HWND window) {
  wchar_t caption[1024] = {};
  GetWindowTextW(window, caption, 1024);
  return caption;
}

std::wstring TextOf(HWND window) {
  std::vector<wchar_t> text(8192, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return std::wstring();
  }
  return std::wstring(text.data(), copied);
}

std::wstring HexOf(const void* value) {
  wchar_t text[32];
  wsprintfW(text, L"0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)));
  return text;
}

struct WindowQuery {
  std::wstring className;  // empty: any
  std::wstring title;      // empty: any
  bool titleGiven = false;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* query = reinterpret_cast<WindowQuery*>(parameter);
  if (!query->className.empty() && ClassOf(window) != query->className) return TRUE;
  if (query->titleGiven && !query->title.empty() && CaptionOf(window) != query->title) return TRUE;
  query->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindTopLevel(const std::wstring& className, const std::wstring& title,
                               bool titleGiven) {
  WindowQuery query{className, title, titleGiven, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitTopLevel(const std::wstring& className, const std::wstring& title, bool titleGiven,
                  DWORD timeoutMs, bool visibleOnly) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND window : FindTopLevel(className, title, titleGiven)) {
      if (!visibleOnly || IsWindowVisible(window)) return window;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

int WaitWin(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 3) return 2;
  std::wstring title;
  bool titleGiven = false;
  DWORD timeout = kDefaultTimeoutMs;
  if (args.size() == 2) {
    if (IsNumber(args[1])) {
      timeout = NumberOf(args[1]);
    } else {
      title = args[1];
      titleGiven = true;
    }
  } else if (args.size() == 3) {
    title = args[1];
    titleGiven = true;
    if (!IsNumber(args[2])) return 2;
    timeout = NumberOf(args[2]);
  }
  const HWND window = WaitTopLevel(args[0], title, titleGiven, timeout, false);
  if (window == nullptr) {
    PrintError(L"no window of class " + args[0]);
    return 1;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  Print(HexOf(window) + L" " + std::to_wstring(processId));
  return 0;
}

int CloseWin(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const bool titleGiven = args.size() == 2;
  const std::vector<HWND> windows =
      FindTopLevel(args[0], titleGiven ? args[1] : std::wstring(), titleGiven);
  if (windows.empty()) {
    PrintError(L"no window of class " + args[0]);
    return 1;
  }
  // Posted: a close that opens a box or ends the process must not block us.
  PostMessageW(windows[0], WM_CLOSE, 0, 0);
  Print(HexOf(windows[0]));
  return 0;
}

int ListWin(const std::vector<std::wstring>& args) {
  if (args.size() > 1) return 2;
  for (HWND window : FindTopLevel(args.empty() ? std::wstring() : args[0], L"", false)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    Print(HexOf(window) + L" " + std::to_wstring(processId) + L" " + ClassOf(window) + L" \"" +
          CaptionOf(window) + L"\"" + (IsWindowVisible(window) ? L" visible" : L""));
  }
  return 0;
}

HWND WaitBox(const std::wstring& caption, DWORD timeoutMs) {
  return WaitTopLevel(L"#32770", caption, true, timeoutMs, true);
}

int BoxText(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const DWORD timeout = args.size() == 2 ? NumberOf(args[1]) : kDefaultTimeoutMs;
  const HWND box = WaitBox(args[0], timeout);
  if (box == nullptr) {
    PrintError(L"no message box titled " + args[0]);
    return 1;
  }
  const HWND message = GetDlgItem(box, 0xFFFF);
  Print(message != nullptr ? TextOf(message) : std::wstring());
  return 0;
}

int ClickBox(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 3) return 2;
  const int button = args.size() >= 2 ? static_cast<int>(NumberOf(args[1])) : IDOK;
  const DWORD timeout = args.size() == 3 ? NumberOf(args[2]) : kDefaultTimeoutMs;
  const HWND box = WaitBox(args[0], timeout);
  if (box == nullptr) {
    PrintError(L"no message box titled " + args[0]);
    return 1;
  }
  const HWND control = GetDlgItem(box, button);
  if (control == nullptr) {
    PrintError(L"the box has no button " + std::to_wstring(button));
    return 1;
  }
  // Posted, as pressing a button may open another modal box.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  return 0;
}

DWORD ProcessIdOfImage(const std::wstring& image) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, image.c_str()) == 0) {
      found = entry.th32ProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return found;
}

int WaitExit(const std::vector<std::wstring>& args) {
  if (args.size() != 2 || !IsNumber(args[1])) return 2;
  const DWORD processId = IsNumber(args[0]) ? NumberOf(args[0]) : ProcessIdOfImage(args[0]);
  if (processId == 0) {
    PrintError(L"no process " + args[0]);
    return 1;
  }
  const HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    PrintError(L"cannot open process " + args[0]);
    return 1;
  }
  int status = 1;
  if (WaitForSingleObject(process, NumberOf(args[1])) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    Print(std::to_wstring(static_cast<int>(exitCode)));
    status = 0;
  } else {
    PrintError(L"process " + args[0] + L" still running");
  }
  CloseHandle(process);
  return status;
}

int Usage() {
  PrintError(
      L"usage: waitwin CLASS [TITLE] [timeoutMs] | closewin CLASS [TITLE] | listwin [CLASS] | "
      L"boxtext CAPTION [timeoutMs] | clickbox CAPTION [buttonId] [timeoutMs] | "
      L"waitexit PID|IMAGE timeoutMs");
  return 2;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count < 2) return Usage();
  const std::wstring command = argv[1];
  const std::vector<std::wstring> args(argv + 2, argv + count);
  LocalFree(argv);

  int status = 2;
  if (command == L"waitwin")
    status = WaitWin(args);
  else if (command == L"closewin")
    status = CloseWin(args);
  else if (command == L"listwin")
    status = ListWin(args);
  else if (command == L"boxtext")
    status = BoxText(args);
  else if (command == L"clickbox")
    status = ClickBox(args);
  else if (command == L"waitexit")
    status = WaitExit(args);
  return status == 2 ? Usage() : status;
}
