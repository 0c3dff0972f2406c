#pragma once

// The program's main window: the names of the window and its controls, its
// form (units, captions, geometry, initial states) and the bindings of its
// events to the program's handlers. The controller addresses the window only
// through these; the window runtime (src/gui) loads it like any other form.

#include <cstdint>

#include "gui/form_ids_win.h"
#include "gui/form_template_win.h"

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

// Title of the folder browser the batch button opens.
constexpr char kBrowseFolderTitle[] = "选择需要转换的图片所在文件夹";

// Id of the window icon in the program's resources (src/app/resources.rc).
constexpr int kMainWindowIconResourceId = 1;

// The handlers of the main window's events. A null handler leaves its event
// without effect.
struct MainFormHandlers {
  void (*onWindowCreated)() = nullptr;
  void (*onAlwaysOnTopClicked)() = nullptr;
  void (*onFilesDropped)(const char* droppedPaths) = nullptr;
  void (*onBatchConvertClicked)() = nullptr;
  void (*onSingleConvertClicked)() = nullptr;
};

// The main window "图片转换by:quibrox" with its nine controls.
const FormTemplate& MainFormTemplate();

// The forms of the program, searched for its start window.
const FormList& ProgramForms();

// Which event of which unit calls which of handlers: the window's created
// event, the checkbox's and the two buttons' clicks, the drop object's
// files-dropped event.
EventBindings MainFormBindings(const MainFormHandlers& handlers);

// On the GUI thread, after RuntimeStart: loads the main window as the
// program starts it (LoadStartWindow with the program's forms), its events
// bound to handlers.
void LoadMainForm(const MainFormHandlers& handlers);
