#pragma once

// Starting a routine on a thread of its own.

#include <windows.h>

#include "base/command_call.h"

using ThreadRoutine = DWORD(WINAPI*)(void* parameter);

// Starts routine(parameter) on a new thread (default security and stack, no
// creation flags). With a handle variable the thread's handle is stored there
// and the caller owns it; without one the handle is closed at once, so the
// thread runs detached and nothing can wait for it. True when the thread was
// created. Any thread.
bool StartThread(ThreadRoutine routine, void* parameter = nullptr,
                 HANDLE* handleVariable = nullptr);

// Uniform calling form: StartThread(routine, [parameter: integer or address],
// [handle variable: address of a 32-bit variable]) answering a boolean. The
// parameter is passed only when given; the handle is stored only when the
// third argument is given.
void CmdStartThread(ArgRecord* result, int argCount, const ArgRecord* args);
