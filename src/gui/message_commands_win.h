#pragma once

// The runtime's message box on Windows, typed and in the
// uniform calling form.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/command_call.h"

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

// MessageBoxW of the UTF-8 message and caption, with flags (MB_TASKMODAL
// added unless MB_SYSTEMMODAL is set), caption (default "信息：") and owner;
// answers the pressed button's code (always kButtonOk for a box with the OK
// button alone, however it closed).
int ShowMessage(std::string_view message, int flags, std::optional<std::string_view> caption = {},
                HWND owner = nullptr);

// --- Uniform calling form ---------------------------------------------------
// ShowMessage: message (any basic type), flags, [caption text], [owner: an
//   integer window handle or a window reference]; integer result.

void CmdShowMessage(ArgRecord* result, int argCount, const ArgRecord* args);

// Resolves a window reference argument to its native window. The form module
// installs it; until then a window reference gives no owner.
using WindowRefResolver = HWND (*)(uint32_t windowId, uint32_t controlId);
void SetWindowRefResolver(WindowRefResolver resolver);
