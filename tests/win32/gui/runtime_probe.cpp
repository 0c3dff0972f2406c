// A small program that starts the runtime and plays one lifecycle scenario,
// chosen by its command line, for the tests to observe from outside:
//   runtime_probe SCENARIO LOGFILE
// It appends what happens to LOGFILE, one line per event, closing the file
// after each line so the test can read it while the probe waits.

#include <windows.h>
// After windows.h.
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>

#include "base/dll_command_win.h"
#include "base/error_report.h"
#include "base/runtime_memory.h"
#include "gui/runtime_win.h"

namespace {

const char* logPath = nullptr;

void Log(const std::string& line) {
  FILE* file = std::fopen(logPath, "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
}

std::string ThreadText() { return std::to_string(GetCurrentThreadId()); }

void ExitRoutineA(int index) { Log("exit A " + std::to_string(index) + " " + ThreadText()); }
void ExitRoutineB(int index) { Log("exit B " + std::to_string(index) + " " + ThreadText()); }
void ExitRoutineC(int index) { Log("exit C " + std::to_string(index) + " " + ThreadText()); }

void StartLogged() {
  RuntimeStart();
  Log("gui " + ThreadText());
}

// Runs routine on a new thread, then the GUI thread's message loop, which
// the scenario ends from the other thread.
void OnWorkerThenLoop(LPTHREAD_START_ROUTINE routine) {
  DWORD id = 0;
  CloseHandle(CreateThread(nullptr, 0, routine, nullptr, 0, &id));
  RunMessageLoop();
  Log("loop ended");
}

DWORD WINAPI ReportFromWorker(void*) {
  Log("worker " + ThreadText());
  ReportRuntimeError(4);
}

DWORD WINAPI EndFromWorker(void*) {
  Log("worker " + ThreadText());
  EndProgram(5);
}

std::string Utf8Of(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length > 0 ? length - 1 : 0), '\0');
  if (length > 1) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], length, nullptr, nullptr);
  }
  return bytes;
}

int Play(const std::string& scenario) {
  if (scenario == "fatal-code1") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    ReportRuntimeError(1);
  }
  if (scenario == "fatal-message") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    ReportFatal("载入启动窗口失败", 0);
  }
  if (scenario == "fatal-worker") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    OnWorkerThenLoop(ReportFromWorker);
    EndProgram(3);
  }
  if (scenario == "fatal-alloc") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    // More than the process can ever hold in one block: 2 GiB less 16 bytes
    // in the 32-bit program, 8 EiB less 16 in the 64-bit one.
    void* block = RuntimeAlloc(SIZE_MAX / 2 - 15);
    Log(block != nullptr ? "allocated" : "null block");
    EndProgram(3);
  }
  if (scenario == "end-normal") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    RegisterExitRoutine(ExitRoutineB);
    RegisterExitRoutine(ExitRoutineA);
    RegisterExitRoutine(ExitRoutineC);
    EndProgram(7);
  }
  if (scenario == "end-worker") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    RegisterExitRoutine(ExitRoutineB);
    OnWorkerThenLoop(EndFromWorker);
    EndProgram(3);
  }
  if (scenario == "wait-close") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    Log("cwd " + Utf8Of(folder));
    // S_FALSE: OLE was already initialised on this thread by the runtime.
    const HRESULT again = OleInitialize(nullptr);
    Log(again == S_FALSE ? "ole initialised" : "ole not initialised");
    if (SUCCEEDED(again)) OleUninitialize();
    Log("ready");
    RunMessageLoop();
    Log("loop ended");
    EndProgram(3);
  }
  if (scenario == "dll-missing-export") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    static DllCommand command{"kernel32.dll", "NoSuchExport"};
    ResolveDllCommand(command);
    Log("resolved");
    EndProgram(3);
  }
  if (scenario == "dll-missing-system-export") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    static DllCommand command{nullptr, "NoSuchExport"};
    ResolveDllCommand(command);
    Log("resolved");
    EndProgram(3);
  }
  if (scenario == "dll-missing-unicode-file") {
    StartLogged();
    static DllCommand command{"缺少 사진 ｼｬｼﾝ 😀.dll", "GetTickCount"};
    ResolveDllCommand(command);
    Log("resolved");
    EndProgram(3);
  }
  if (scenario == "dll-missing-file") {
    StartLogged();
    RegisterExitRoutine(ExitRoutineA);
    static DllCommand command{"no_such_library.dll", "GetTickCount"};
    ResolveDllCommand(command);
    Log("resolved");
    EndProgram(3);
  }
  Log("unknown scenario " + scenario);
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 2;
  logPath = __argv[2];
  return Play(__argv[1]);
}
