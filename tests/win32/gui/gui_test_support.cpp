#include "gui_test_support.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr DWORD kPollMs = 20;
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
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (*search->caption != caption) return TRUE;
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

BOOL CALLBACK CloseThreadBox(HWND window, LPARAM) {
  if (ClassNameOf(window) == L"#32770") PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

std::string WindowsPathOf(std::string path) {
  // CMake hands over Unix paths; Wine maps the Unix root to drive Z:.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = folder + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

HWND WaitForBox(DWORD processId, DWORD threadId, const std::wstring& caption, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search{processId, threadId, &caption, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
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

TestThread::TestThread(std::function<void()> body) : body_(std::move(body)) {
  thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, &id_));
}

TestThread::~TestThread() {
  if (!thread_) return;
  if (WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0) return;
  EnumThreadWindows(id_, CloseThreadBox, 0);
  if (WaitForSingleObject(thread_.Get(), kWaitMs) != WAIT_OBJECT_0) {
    TerminateThread(thread_.Get(), 1);
  }
}

bool TestThread::Join(DWORD timeoutMs) {
  return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI TestThread::Run(void* parameter) {
  static_cast<TestThread*>(parameter)->body_();
  return 0;
}

ChildProcess::ChildProcess(const std::string& commandLine, const char* currentDirectory) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, currentDirectory,
                     &startup, &info)) {
    process_.Reset(info.hProcess);
    CloseHandle(info.hThread);
    id_ = info.dwProcessId;
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.Get(), 99);
    WaitForSingleObject(process_.Get(), kWaitMs);
  }
}

bool ChildProcess::WaitForExit(DWORD* exitCode, DWORD timeoutMs) {
  if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_.Get(), exitCode) != 0;
}

std::string RuntimeProbePath() { return WindowsPathOf(RUNTIME_PROBE_PATH); }

std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className) {
  std::vector<HWND> found;
  ClassSearch search{processId, &className, &found};
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return found;
}

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "pc_gui_test_%lu_%ld\\",
                  static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<long>(InterlockedIncrement(&counter)));
    const std::string candidate = std::string(base) + name;
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_.substr(0, path_.size() - 1));
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
}
