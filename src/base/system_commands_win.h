#pragma once

// The runtime's event pumping, timing, folder and file-search commands on
// Windows, typed and in the uniform calling form.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/command_call.h"

// Dispatches the calling thread's waiting messages (as wide messages, so the
// program's Unicode windows get their texts whole); returns when the queue is
// empty or WM_QUIT is next, leaving WM_QUIT queued.
void ProcessEvents();

// Milliseconds since the system started (wraps after 2^32).
uint32_t TickCount();

// Sleeps the calling thread for max(milliseconds, 0).
void Delay(int milliseconds);

// Folder of the program's own .exe, without trailing backslash (a drive root
// keeps its backslash).
std::wstring ProgramFolderWide();

// Creates the last element of path (UTF-8); false when it exists, its parent is
// missing or the platform refuses.
bool CreateFolder(const std::string& path);

// Directory search over a caller-held state word (a find handle, null when no
// search is open). A non-empty pattern closes any open search and starts a
// new one; an empty pattern continues. Pattern and names are UTF-8, so a name
// in any script comes back whole. With filesOnly, entries with the
// directory attribute are skipped; without it, an entry is returned when
// attributeMask is 0 or shares an attribute with it. Answers the next
// entry's name (no folder), or nullopt at the end, when the search has been
// closed and the state set to null.
std::optional<std::string> FindFiles(std::string_view pattern, uint32_t attributeMask,
                                     bool filesOnly, HANDLE* state);

// Closes the search in state, if one is open, and sets it to null.
void EndFileSearch(HANDLE* state);

// --- Uniform calling form ---------------------------------------------------
// ProcessEvents, Delay(ms), EndFileSearch(address of the state word): no result.
// TickCount: integer. CreateFolder(path): boolean.
// FindFiles(pattern text, attribute mask, files-only boolean, address of the
//   state word): a new text, or a null text at the end.

void CmdProcessEvents(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdTickCount(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdDelay(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdCreateFolder(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdFindFiles(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdEndFileSearch(ArgRecord* result, int argCount, const ArgRecord* args);
