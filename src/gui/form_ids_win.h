#pragma once

// Names of the main window and its controls, and the numbers of the
// properties and events the controller uses. The controller addresses the
// window only through these.

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

// The main window and its controls.
constexpr uint32_t kMainWindowId = 0x52010001;
constexpr uint32_t kAlwaysOnTopCheckboxId = 0x16011718;  // 选择框1
constexpr uint32_t kDropHintLabelId = 0x16011719;        // 标签2
constexpr uint32_t kDropObjectId = 0x160116F4;           // 拖放对象1
constexpr uint32_t kProgressBarId = 0x160116F3;          // 进度条1
constexpr uint32_t kCommonDialogId = 0x16010006;         // 通用对话框1
constexpr uint32_t kFormatLabelId = 0x16010005;          // 标签1
constexpr uint32_t kFormatComboId = 0x16010004;          // 组合框1
constexpr uint32_t kBatchButtonId = 0x16010003;          // 按钮2_被批量转换
constexpr uint32_t kSingleButtonId = 0x16010002;         // 按钮1_单个转换

constexpr ControlRef kMainWindow{kMainWindowId, kWindowControlId};
constexpr ControlRef kAlwaysOnTopCheckbox{kMainWindowId, kAlwaysOnTopCheckboxId};
constexpr ControlRef kDropHintLabel{kMainWindowId, kDropHintLabelId};
constexpr ControlRef kDropObject{kMainWindowId, kDropObjectId};
constexpr ControlRef kProgressBar{kMainWindowId, kProgressBarId};
constexpr ControlRef kCommonDialog{kMainWindowId, kCommonDialogId};
constexpr ControlRef kFormatLabel{kMainWindowId, kFormatLabelId};
constexpr ControlRef kFormatCombo{kMainWindowId, kFormatComboId};
constexpr ControlRef kBatchButton{kMainWindowId, kBatchButtonId};
constexpr ControlRef kSingleButton{kMainWindowId, kSingleButtonId};

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
