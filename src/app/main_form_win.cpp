// The main window's form, written out as a table of units, and the table of
// its event bindings.

#include "app/main_form_win.h"

#include "gui/form_window_win.h"

namespace {

UnitTemplate Unit(uint32_t controlId, uint32_t unitType, const char* name, int left, int top,
                  int width, int height, uint32_t flags) {
  UnitTemplate unit;
  unit.controlId = controlId;
  unit.unitType = unitType;
  unit.name = name;
  unit.left = left;
  unit.top = top;
  unit.width = width;
  unit.height = height;
  unit.flags = flags;
  return unit;
}

constexpr uint32_t kShownFocusable = kUnitVisible | kUnitTakesFocus;

FormTemplate BuildMainForm() {
  FormTemplate form;
  form.windowId = kMainWindowId;

  UnitTemplate window = Unit(kWindowControlId, kUnitTypeWindow, "", 50, 50, 302, 150, kUnitVisible);
  window.settings.caption = "图片转换by:quibrox";
  window.settings.borderStyle = 2;
  window.settings.backgroundColour = kDefaultColour;
  window.settings.controlBox = true;
  window.settings.maximiseButton = false;
  window.settings.minimiseButton = true;
  window.settings.startPosition = 1;
  window.settings.movable = true;
  window.settings.shownInTaskBar = true;
  window.settings.alwaysOnTop = true;
  window.settings.iconResourceId = kMainWindowIconResourceId;
  form.units.push_back(window);

  UnitTemplate checkbox =
      Unit(kAlwaysOnTopCheckboxId, kUnitTypeCheckbox, "选择框1", 119, 81, 80, 28, kShownFocusable);
  checkbox.settings.caption = "窗口置顶";
  checkbox.settings.checked = true;
  form.units.push_back(checkbox);

  UnitTemplate dropHint =
      Unit(kDropHintLabelId, kUnitTypeLabel, "标签2", 3, 83, 120, 24, kUnitVisible);
  dropHint.settings.caption = "支持直接拖入转换";
  form.units.push_back(dropHint);

  UnitTemplate dropObject =
      Unit(kDropObjectId, kUnitTypeDropObject, "拖放对象1", 11, 60, 24, 24, 0);
  form.units.push_back(dropObject);

  form.units.push_back(
      Unit(kProgressBarId, kUnitTypeProgressBar, "进度条1", 16, 60, 168, 16, kUnitVisible));

  UnitTemplate dialog =
      Unit(kCommonDialogId, kUnitTypeCommonDialog, "通用对话框1", 128, 53, 30, 30, 0);
  dialog.settings.dialogType = 0;
  dialog.settings.dialogFileMustExist = true;
  dialog.settings.dialogOverwritePrompt = true;
  dialog.settings.dialogPathMustExist = true;
  dialog.settings.dialogCreatePrompt = false;
  dialog.settings.dialogKeepCurrentDirectory = false;
  form.units.push_back(dialog);

  UnitTemplate formatLabel =
      Unit(kFormatLabelId, kUnitTypeLabel, "标签1", 16, 10, 96, 16, kUnitVisible);
  formatLabel.settings.caption = "选择转换后格式";
  form.units.push_back(formatLabel);

  UnitTemplate combo =
      Unit(kFormatComboId, kUnitTypeComboBox, "组合框1", 16, 30, 168, 20, kShownFocusable);
  combo.settings.items = {"jpg", "tif", "png"};
  combo.settings.selectedIndex = 0;
  combo.settings.backgroundColour = 0xFFFFFF;
  form.units.push_back(combo);

  UnitTemplate batch =
      Unit(kBatchButtonId, kUnitTypeButton, "按钮2_被批量转换", 200, 16, 80, 40, kShownFocusable);
  batch.settings.caption = "批量转换";
  form.units.push_back(batch);

  UnitTemplate single =
      Unit(kSingleButtonId, kUnitTypeButton, "按钮1_单个转换", 200, 65, 80, 40, kShownFocusable);
  single.settings.caption = "单个转换";
  form.units.push_back(single);

  return form;
}

}  // namespace

const FormTemplate& MainFormTemplate() {
  // Built once and never destroyed: the loaded window refers to it until the
  // process exits.
  static const FormTemplate* const form = new FormTemplate(BuildMainForm());
  return *form;
}

const FormList& ProgramForms() {
  static const auto* const forms = new FormList{&MainFormTemplate()};
  return *forms;
}

EventBindings MainFormBindings(const MainFormHandlers& handlers) {
  return {
      {kMainWindow, kEventWindowCreated, handlers.onWindowCreated, nullptr},
      {kAlwaysOnTopCheckbox, kEventClicked, handlers.onAlwaysOnTopClicked, nullptr},
      {kDropObject, kEventFilesDropped, nullptr, handlers.onFilesDropped},
      {kBatchButton, kEventClicked, handlers.onBatchConvertClicked, nullptr},
      {kSingleButton, kEventClicked, handlers.onSingleConvertClicked, nullptr},
  };
}

void LoadMainForm(const MainFormHandlers& handlers) {
  LoadStartWindow(ProgramForms(), kMainWindowId, MainFormBindings(handlers));
}
