#pragma once

// The runtime's own flat look for the standard controls of the GUI thread:
// each styled control is subclassed and painted by a painter for its kind,
// and a WH_CALLWNDPROC hook styles the controls created later.

#include <windows.h>

#include <cstdint>
#include <optional>

#include "base/command_call.h"

// Kinds of controls, from their window class and style.
enum class StyleKind : int {
  kPushButton = 0,
  kCheckBox = 1,
  kRadioButton = 2,
  kEdit = 3,
  kComboBox = 4,
  kUpDown = 5,
  kScrollBar = 6,  // kinds 6 to 10 are known but not styled
  kMonthCalendar = 7,
  kTabControl = 8,
  kProgressBar = 9,
  kTrackBar = 10,
  kGroupBox = 11,
  kDropDownList = 12,  // the list of a combo box (class ComboLBox)
};

// State flags of a styled control.
enum StyleState : uint32_t {
  kStateDisabled = 1u << 0,
  kStatePressed = 1u << 1,
  kStateHot = 1u << 2,  // the mouse is over it
  kStateFocused = 1u << 4,
  kStateDefault = 1u << 16,  // default push button
  kStateChecked = 1u << 17,
  kStateIndeterminate = 1u << 18,
  kStateReadOnly = 1u << 28,  // edit
};

// Switches the look: options 1, 2 and 3 switch it off (if it was on) and on
// again, for every window of the calling thread and those it creates later;
// any other option switches it off, giving every styled control back its
// previous window procedure. The option is kept; the painters read it.
// Answers 1 after switching on (0 if the hook could not be installed); after
// switching off, the result of UnhookWindowsHookEx, or 0 when no hook was
// installed. Call it on the GUI thread: the look belongs to that thread.
bool SetVisualStyle(int option);

// The option last passed to SetVisualStyle (0 before any call).
int CurrentVisualStyleOption();

// The kind window would be styled as, or nullopt when it is not styled.
std::optional<StyleKind> StyleKindOf(HWND window);

// What the look holds about one styled window; nullopt when it is not styled.
struct StyledWindowInfo {
  StyleKind kind;
  uint32_t state;        // StyleState bits
  WNDPROC previousProc;  // the procedure the styled one passes messages on to
};
std::optional<StyledWindowInfo> StyledWindowInfoOf(HWND window);
int StyledWindowCount();
bool IsVisualStyleHookInstalled();

// Uniform calling form: SetVisualStyle(option) answering a boolean.
void CmdSetVisualStyle(ArgRecord* result, int argCount, const ArgRecord* args);
