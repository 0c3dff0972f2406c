#pragma once

// Helpers for the pool and delay tests: thread counting, bounded waits, a
// window that records the messages it gets, and helper threads that are
// always joined with a time limit.

#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

#include "base/win_handles_win.h"

// Generous limit for anything that should happen "soon" under Wine.
constexpr DWORD kWaitMs = 15000;

// Threads of this process right now.
int ProcessThreadCount();

// Polls condition every few ms until it holds (true) or timeoutMs pass (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// Milliseconds on the performance counter, for measuring elapsed time.
double NowMs();

// Body runs on a new thread. The owner joins it with a time limit and
// terminates it if it has not ended by then.
class HelperThread {
 public:
  explicit HelperThread(std::function<void()> body);
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  bool Join(DWORD timeoutMs = kWaitMs);

 private:
  static DWORD WINAPI Run(void* parameter);
  std::function<void()> body_;
  UniqueHandle thread_;
};

// A message-only window made on the constructing thread. Messages from
// WM_APP on are recorded with the time and thread they were handled at; a
// message WM_APP + n is answered with n + 1000.
class RecordingWindow {
 public:
  struct Handled {
    UINT message;
    double atMs;
    DWORD threadId;
  };

  RecordingWindow();
  HWND Get() const { return window_.Get(); }
  std::vector<Handled> HandledMessages() const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  mutable std::mutex mutex_;
  std::vector<Handled> handled_;
  UniqueWindow window_;
};
