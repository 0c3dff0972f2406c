#pragma once

// Helpers for tests that watch message boxes, run code on other threads and
// start child programs. Every wait has a time limit, and whatever a test
// leaves running is stopped by its owner.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win_handles_win.h"

// Generous limit for anything that should happen "soon" under Wine.
constexpr DWORD kWaitMs = 15000;

// --- Message boxes ----------------------------------------------------------

// A visible top-level dialog (#32770) with exactly this caption, belonging to
// processId (and to threadId when it is not 0). Polls until timeoutMs;
// null when none appeared.
HWND WaitForBox(DWORD processId, DWORD threadId, const std::wstring& caption,
                DWORD timeoutMs = kWaitMs);

std::wstring WindowTextOf(HWND window);     // WM_GETTEXT, UTF-16
std::string WindowTextAnsiOf(HWND window);  // WM_GETTEXT, ANSI code page
std::wstring BoxMessageOf(HWND box);        // text of the Static with id 0xFFFF
std::string BoxMessageAnsiOf(HWND box);
std::wstring ClassNameOf(HWND window);

// True when the box shows an icon: a visible SS_ICON static holding one.
bool BoxShowsIcon(HWND box);

// Presses the button with this id (posted, so a box of another thread or
// process closes without blocking the caller).
void PressBoxButton(HWND box, int buttonId);

// --- Threads ----------------------------------------------------------------

// Runs body on a new thread. If it is still running when the owner goes, its
// boxes are closed; if even that does not end it, it is terminated.
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

// --- Child programs ---------------------------------------------------------

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

// Windows path of the runtime probe program built beside the tests.
std::string RuntimeProbePath();

// Top-level windows of this class belonging to processId (all when the
// class is empty).
std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className);

// A fresh empty folder under the temporary folder, removed with everything in
// it by its owner.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }  // ends with a backslash
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Lines of a text file (CR LF or LF), empty when it is missing.
std::vector<std::string> ReadLines(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
