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

std::string TestProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}
