#pragma once

// Functions looked up in a DLL at run time, by (DLL file name, exported name).
// The program calls platform functions through their prototypes; this is for
// the few that must be found while running, such as exports by ordinal.

#include <windows.h>

#include <atomic>

struct DllCommand {
  // DLL file name; null or empty: the function is looked for in the system
  // DLLs Kernel32, Gdi32, User32, Advapi32, Mpr and Shell32, in that order.
  // A name without a colon is tried in the program's folder first. UTF-8.
  const char* fileName;
  // Exported name, or "#" and a decimal number for an export by ordinal.
  const char* exportName;

  // Filled on first use and kept for the rest of the run.
  std::atomic<FARPROC> address{nullptr};
  HMODULE module = nullptr;
};

// The function's address, resolved on first use. A function that cannot be
// found is a fatal report; this does not return then.
FARPROC ResolveDllCommand(DllCommand& command);

template <typename Function>
Function DllCommandAs(DllCommand& command) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(ResolveDllCommand(command)));
}

// Frees the modules loaded for DLL commands (at the program's end).
void ReleaseDllCommands();
