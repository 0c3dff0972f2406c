#pragma once

// Watching windows from a Windows test: message boxes and dialogs of a
// process or thread, their texts and classes. Waits poll until a time limit.

#include <windows.h>

#include <string>
#include <vector>

#include "test_processes_win.h"

// A visible top-level dialog (#32770) with exactly this caption, belonging to
// processId (and to threadId when it is not 0). Polls until timeoutMs;
// null when none appeared.
HWND WaitForBox(DWORD processId, DWORD threadId, const std::wstring& caption,
                DWORD timeoutMs = kWaitMs);
inline HWND WaitForBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs = kWaitMs) {
  return WaitForBox(processId, 0, caption, timeoutMs);
}

std::wstring WindowTextOf(HWND window);     // WM_GETTEXT, UTF-16
std::string WindowTextAnsiOf(HWND window);  // WM_GETTEXT, ANSI code page
std::wstring CaptionOf(HWND window);        // GetWindowTextW, no message sent
std::wstring BoxMessageOf(HWND box);        // text of the Static with id 0xFFFF
std::string BoxMessageAnsiOf(HWND box);
std::wstring ClassNameOf(HWND window);

// True when the box shows an icon: a visible SS_ICON static holding one.
bool BoxShowsIcon(HWND box);

// Presses the button with this id (posted, so a box of another thread or
// process closes without blocking the caller).
void PressBoxButton(HWND box, int buttonId);

// Top-level windows of this class belonging to processId (all when the
// class is empty).
std::vector<HWND> TopLevelWindowsOf(DWORD processId, const std::wstring& className);

// Visible dialogs (#32770) of threadId, and the first of them to appear
// within timeoutMs (null when none did).
std::vector<HWND> DialogsOfThread(DWORD threadId);
HWND WaitForDialogOfThread(DWORD threadId, DWORD timeoutMs = kWaitMs);

// Posts WM_CLOSE to every dialog (#32770) of threadId, so a modal loop a
// failed test left open ends.
void CloseDialogsOfThread(DWORD threadId);
