#include "test_processes_win.h"

#include "test_windows_win.h"

TestThread::TestThread(std::function<void()> body) : body_(std::move(body)) {
  thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, &id_));
}

TestThread::~TestThread() {
  if (!thread_) return;
  if (WaitForSingleObject(thread_.Get(), 0) == WAIT_OBJECT_0) return;
  CloseDialogsOfThread(id_);
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
  std::string line = commandLine;  // CreateProcessA may write into it
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
