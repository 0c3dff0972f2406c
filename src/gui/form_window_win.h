#pragma once

// Loading a window from a form and its event bindings, and the native side
// of its units.

#include <windows.h>

#include <string>

#include "gui/form_ids_win.h"
#include "gui/form_template_win.h"

// On the GUI thread, after RuntimeStart: creates the window with id windowId
// and its controls from the form of that id among forms, binds its events
// as bindings say (the bindings of other windows are left out), applies the
// stored properties,
// raises the window's created event (the controls exist, the window is not
// yet shown) and shows the window. The window counts as a program window
// (RunMessageLoop runs while it exists); closing it destroys it.
// A form that cannot be read (IsFormTemplateUsable): fatal "载入窗口模板数据段出错!";
// an unknown id or a window that cannot be created: fatal "载入启动窗口失败". A
// window that is already loaded is left as it is. The forms must live until
// the program ends; the bindings are copied.
void LoadStartWindow(const FormList& forms, uint32_t windowId, const EventBindings& bindings);

// The same for a form given directly.
void LoadFormWindow(const FormTemplate& form, const EventBindings& bindings);

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
