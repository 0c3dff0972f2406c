#pragma once

// Loading the program's window from its form, and the native side of its
// units.

#include <windows.h>

#include <string>

#include "gui/form_ids_win.h"
#include "gui/form_template_win.h"

// The application's handlers, bound to events by the form's handler slots.
// A null handler leaves its event without effect.
struct FormHandlers {
  void (*onWindowCreated)() = nullptr;
  void (*onAlwaysOnTopClicked)() = nullptr;
  void (*onFilesDropped)(const char* droppedPaths) = nullptr;
  void (*onBatchConvertClicked)() = nullptr;
  void (*onSingleConvertClicked)() = nullptr;
};

// On the GUI thread, after RuntimeStart: creates the window with id windowId
// and its controls from the program's forms, applies the stored properties,
// raises the window's created event (the controls exist, the window is not
// yet shown) and shows the window. The window counts as a program window
// (RunMessageLoop runs while it exists); closing it destroys it.
// A form that cannot be read: fatal "载入窗口模板数据段出错!"; an unknown id or a
// window that cannot be created: fatal "载入启动窗口失败". A window that is
// already loaded is left as it is.
void LoadStartWindow(uint32_t windowId, const FormHandlers& handlers);

// The same for a form given directly; it must live until the program ends.
void LoadFormWindow(const FormTemplate& form, const FormHandlers& handlers);

// The native window of a window or control; 0 for a unit without one (the
// drop object) and after its window was destroyed. An unknown window or
// control is fatal as in the property service. Any thread.
HWND GetWindowHandle(ControlRef ref);

// Shows the open-file (or save-file) dialog of a common-dialog control on the
// calling thread, with the stored options. On OK the chosen full path becomes
// the control's file-name property, is put into *chosenPath (when given) and
// the answer is true; on Cancel the answer is false and the stored file name
// stays. Showing and reading the path are one step, so threads showing the
// dialog at the same time each get their own path. Any thread.
bool ShowCommonDialog(ControlRef ref, std::string* chosenPath = nullptr);
