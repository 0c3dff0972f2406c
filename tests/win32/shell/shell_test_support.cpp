#include "shell_test_support.h"

#include <vector>

#include "app/main_form_win.h"
#include "gui/form_window_win.h"
#include "gui/runtime_win.h"

namespace {

constexpr DWORD kPollMs = 10;

std::vector<std::string>& DroppedLog() {
  static std::vector<std::string>* const log = new std::vector<std::string>;
  return *log;
}

void RecordDrop(const char* text) {
  DroppedLog().push_back(text != nullptr ? text : "");
}

struct DialogSearch {
  DWORD threadId;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  if (ClassNameOf(window) == L"#32770" && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
  if (ClassNameOf(window) == L"#32770") PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

void StartRuntimeHere() {
  static const bool started = [] {
    RuntimeStart();
    return true;
  }();
  (void)started;
}

HWND LoadMainWindow() {
  StartRuntimeHere();
  static const bool loaded = [] {
    MainFormHandlers handlers;
    handlers.onFilesDropped = RecordDrop;
    LoadMainForm(handlers);
    return true;
  }();
  (void)loaded;
  return GetWindowHandle(kMainWindow);
}

const std::vector<std::string>& DroppedTexts() {
  return DroppedLog();
}
void ClearDroppedTexts() {
  DroppedLog().clear();
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
  }
}

void PumpMessagesFor(DWORD milliseconds) {
  PumpMessagesUntil([] { return false; }, milliseconds);
}

BackgroundThread::BackgroundThread(std::function<void()> body) : body_(std::move(body)) {
  thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

BackgroundThread::~BackgroundThread() {
  if (thread_ && WaitForSingleObject(thread_.Get(), kWaitMs) != WAIT_OBJECT_0) {
    TerminateThread(thread_.Get(), 1);  // a stuck helper must not hang the test
  }
}

bool BackgroundThread::Join(DWORD timeoutMs) {
  return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI BackgroundThread::Run(void* parameter) {
  static_cast<BackgroundThread*>(parameter)->body_();
  return 0;
}

HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    DialogSearch search{threadId, nullptr};
    EnumThreadWindows(threadId, MatchDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

void CloseDialogsOfThread(DWORD threadId) {
  EnumThreadWindows(threadId, CloseDialog, 0);
}

TempFolder::TempFolder(const std::string& prefix) {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  static LONG counter = 0;
  for (;;) {
    name_ = prefix + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(InterlockedIncrement(&counter));
    path_ = std::string(base) + name_;
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

std::string TestProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

std::wstring CaptionOf(HWND window) {
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  return caption;
}

std::wstring WideOfAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}
