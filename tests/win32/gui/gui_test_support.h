#pragma once

// Helpers for tests that watch message boxes, run code on other threads and
// start child programs (shared by the Windows tests), and where the runtime
// probe program of this folder is.

#include <windows.h>

#include <string>

#include "test_files_win.h"
#include "test_processes_win.h"
#include "test_windows_win.h"

// Windows path of the runtime probe program built beside the tests.
std::string RuntimeProbePath();
