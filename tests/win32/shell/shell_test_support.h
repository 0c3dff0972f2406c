#pragma once

// Helpers for the shell, drop target, thread and control-look tests. The
// test's main thread is the program's GUI thread: the runtime starts there
// and the main window is loaded there, once per test process. Code that must
// act while the GUI thread sits in a modal loop runs on a BackgroundThread.
// Every wait has a time limit.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win_handles_win.h"

// Generous limit for anything that should happen "soon" under Wine.
constexpr DWORD kWaitMs = 15000;

// Starts the runtime on the calling thread (once).
void StartRuntimeHere();

// Loads the main window on the calling thread (once, after starting the
// runtime) with a handler for the drop object's files-dropped event that
// records its text. Answers the window.
HWND LoadMainWindow();
const std::vector<std::string>& DroppedTexts();
void ClearDroppedTexts();

// Dispatches the calling thread's messages until done() holds or timeoutMs
// passed; answers done().
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);
void PumpMessagesFor(DWORD milliseconds);

// Runs body on a new thread; the owner waits for it (within a limit).
class BackgroundThread {
 public:
  explicit BackgroundThread(std::function<void()> body);
  ~BackgroundThread();
  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;

  bool Join(DWORD timeoutMs = kWaitMs);

 private:
  static DWORD WINAPI Run(void* parameter);
  std::function<void()> body_;
  UniqueHandle thread_;
};

// Polls until a visible #32770 dialog of threadId (in this process) appears;
// null after timeoutMs.
HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs = kWaitMs);

// Posts WM_CLOSE to every dialog (#32770) of threadId, so a modal loop a
// failed test left open ends.
void CloseDialogsOfThread(DWORD threadId);

// A fresh empty folder under the temporary folder (its name made of the
// prefix, the process id and a counter), removed with its contents.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "pc_shell");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }  // no trailing backslash
  const std::string& Name() const { return name_; }

 private:
  std::string path_;
  std::string name_;
};

// Folder of the test program, without trailing backslash.
std::string TestProgramFolder();

// Class and UTF-16 caption of a window.
std::wstring ClassNameOf(HWND window);
std::wstring CaptionOf(HWND window);

// UTF-16 text of the system code page's bytes.
std::wstring WideOfAnsi(const std::string& text);
