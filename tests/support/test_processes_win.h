#pragma once

// Threads and child programs for the Windows tests. Every wait has a time
// limit, and whatever a test leaves running is stopped by its owner.

#include <windows.h>

#include <functional>
#include <string>

#include "base/win_handles_win.h"

// Generous limit for anything that should happen "soon" under Wine.
constexpr DWORD kWaitMs = 15000;

// Runs body on a new thread. If it is still running when the owner goes, the
// dialogs it shows are closed; if even that does not end it, it is
// terminated, so a stuck thread cannot hang the test program.
class TestThread {
 public:
  explicit TestThread(std::function<void()> body);
  ~TestThread();
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  DWORD Id() const { return id_; }
  bool Join(DWORD timeoutMs = kWaitMs);

 private:
  static DWORD WINAPI Run(void* parameter);
  std::function<void()> body_;
  UniqueHandle thread_;
  DWORD id_ = 0;
};

// A child process started from a command line; terminated by its owner if it
// is still running.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& commandLine, const char* currentDirectory = nullptr);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_.IsValid(); }
  DWORD Id() const { return id_; }
  // True and the exit code when the child ended within timeoutMs.
  bool WaitForExit(DWORD* exitCode, DWORD timeoutMs = kWaitMs);

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};
