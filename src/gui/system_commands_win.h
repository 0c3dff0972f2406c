#pragma once

// The runtime's window, timing, folder and file-search commands on Windows,
// typed and in the uniform calling form.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gui/command_call.h"

// Button codes ShowMessage answers with.
enum MessageButton : int {
  kButtonOk = 0,
  kButtonCancel = 1,
  kButtonAbort = 2,
  kButtonRetry = 3,
  kButtonIgnore = 4,
  kButtonYes = 5,
  kButtonNo = 6,
};

// Caption of a message box shown without one.
constexpr char kDefaultMessageCaption[] = "信息：";

// MessageBoxA with flags (MB_TASKMODAL added unless MB_SYSTEMMODAL is set),
// caption (default "信息：") and owner; answers the pressed button's code
// (always kButtonOk for a box with the OK button alone, however it closed).
int ShowMessage(std::string_view message, int flags, std::optional<std::string_view> caption = {},
                HWND owner = nullptr);

// Dispatches the calling thread's waiting messages; returns when the queue is
// empty or WM_QUIT is next, leaving WM_QUIT queued.
void ProcessEvents();

// Milliseconds since the system started (wraps after 2^32).
uint32_t TickCount();

// Sleeps the calling thread for max(milliseconds, 0).
void Delay(int milliseconds);

// Creates the last element of path; false when it exists, its parent is
// missing or the platform refuses.
bool CreateFolder(const std::string& path);

// Directory search over a caller-held state word (a find handle, null when no
// search is open). A non-empty pattern closes any open search and starts a
// new one; an empty pattern continues. With filesOnly, entries with the
// directory attribute are skipped; without it, an entry is returned when
// attributeMask is 0 or shares an attribute with it. Answers the next
// entry's name (no folder), or nullopt at the end, when the search has been
// closed and the state set to null.
std::optional<std::string> FindFiles(std::string_view pattern, uint32_t attributeMask,
                                     bool filesOnly, HANDLE* state);

// Closes the search in state, if one is open, and sets it to null.
void EndFileSearch(HANDLE* state);

// --- Uniform calling form ---------------------------------------------------
// ShowMessage: message (any basic type), flags, [caption text], [owner: an
//   integer window handle or a window reference]; integer result.
// ProcessEvents, Delay(ms), EndFileSearch(address of the state word): no result.
// TickCount: integer. CreateFolder(path): boolean.
// FindFiles(pattern text, attribute mask, files-only boolean, address of the
//   state word): a new text, or a null text at the end.

void CmdShowMessage(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdProcessEvents(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdTickCount(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdDelay(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdCreateFolder(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdFindFiles(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdEndFileSearch(ArgRecord* result, int argCount, const ArgRecord* args);

// Resolves a window reference argument to its native window. The form module
// installs it; until then a window reference gives no owner.
using WindowRefResolver = HWND (*)(uint32_t windowId, uint32_t controlId);
void SetWindowRefResolver(WindowRefResolver resolver);
