#pragma once

// How windows and their units are named (window id, control id), and the
// numbers of the properties and events every form shares. The application
// names its own windows and controls (for the program: app/main_form_win.h).

#include <cstdint>

// A window or one of its controls: (window id, control id). The window
// itself has the control id kWindowControlId.
struct ControlRef {
  uint32_t windowId;
  uint32_t controlId;
};

inline bool operator==(const ControlRef& a, const ControlRef& b) {
  return a.windowId == b.windowId && a.controlId == b.controlId;
}

// The control id by which a window addresses itself.
constexpr uint32_t kWindowControlId = 0x06010000;

// Property indexes. 0..7 belong to every unit; from 8 on each unit type
// numbers its own properties (own index = property index - 8).
enum PropertyIndex : int {
  kPropLeft = 0,
  kPropTop = 1,
  kPropWidth = 2,
  kPropHeight = 3,
  kPropTag = 4,
  kPropVisible = 5,
  kPropDisabled = 6,
  kPropCursor = 7,
  kFirstOwnProperty = 8,

  // Window.
  kPropWindowTitle = 8,
  kPropWindowBackgroundColour = 10,
  kPropWindowShownInTaskBar = 26,
  kPropWindowAlwaysOnTop = 29,
  // Checkbox.
  kPropCheckboxChecked = 18,
  // Combo box: the text it shows.
  kPropComboContent = 9,
  // Progress bar.
  kPropProgressMinimum = 11,
  kPropProgressMaximum = 12,
  kPropProgressPosition = 13,
  // Common dialog: the path chosen by the last confirmed dialog.
  kPropDialogFileName = 10,
  // Drop object: whether dropped files raise its files-dropped event.
  kPropDropAcceptFiles = 11,
};

// Event indexes.
constexpr int kEventWindowCreated = 0;
constexpr int kEventClicked = 0;           // buttons, checkboxes, labels
constexpr int kEventSelectionChanged = 0;  // combo box
constexpr int kEventFilesDropped = 3;      // drop object, one text argument

// Colour value that stands for the default colour (the system button face).
constexpr uint32_t kDefaultColour = 0xFF000000;
