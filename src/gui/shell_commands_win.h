#pragma once

// The shell's folder browser and ShellExecute, as runtime commands.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/command_call.h"

// Shows the shell's folder browser (with its edit box; files listed too when
// includeFiles) under title and answers the chosen folder's path, both in
// UTF-8: a drive root keeps its trailing backslash, any other folder has
// none. Empty when the user cancels or the choice has no file-system path.
//
// While it is open the program's loaded top-level windows are disabled, and
// the window active before owns the browser; afterwards each gets back its
// earlier enabled state, and the earlier foreground and active windows are
// restored if they still exist. GUI thread.
std::string BrowseForFolder(const std::string& title, bool includeFiles = false);

// ShellExecuteW of the UTF-8 texts without owner window: the verb of
// verbNumber (1 "edit", 2 "explore", 3 "find", 4 "open", 5 "print", any other
// the target's default verb) on target, with parameters (null when omitted), in folder (the empty
// text when omitted), shown as showMode says (1 SW_HIDE, 2 SW_SHOWNORMAL,
// 3 SW_SHOWMINIMIZED, 4 SW_SHOWMAXIMIZED, 5 SW_SHOWNA, 6 SW_MINIMIZE; omitted
// or any other value SW_SHOWNORMAL). Answers the shell's result (above 32 on success);
// the program itself ignores it, and shows nothing on failure. Any thread.
intptr_t ShellOpen(int verbNumber, const std::string& target,
                   const std::optional<std::string>& parameters = std::nullopt,
                   const std::optional<std::string>& folder = std::nullopt,
                   std::optional<int> showMode = std::nullopt);

// --- Uniform calling form ---------------------------------------------------
// BrowseForFolder(title text, [include files boolean]): a new text, or the
//   null text when nothing was chosen.
// ShellOpen(verb number, target text, [parameters text], [folder text],
//   [show mode]): no result. The show mode is read only when five arguments
//   are passed.
void CmdBrowseForFolder(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdShellOpen(ArgRecord* result, int argCount, const ArgRecord* args);
