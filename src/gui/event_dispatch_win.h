#pragma once

// Delivery of control events to the handlers bound when their window was
// loaded (LoadFormWindow).

#include "gui/form_ids_win.h"

// Raises event eventIndex of the unit source and calls the handler bound to
// it, with textArgument for handlers that take a text (an empty text when
// null). Runs on the GUI thread: a call from another thread is carried there
// and returns when the handler has returned.
// Nothing happens once the program is ending or a fatal report has started,
// nor for an event without a binding. A window that is not loaded is fatal
// "未找到引发事件的窗口", an unknown control "未找到引发事件的窗口组件", a unit whose
// type raises no events (the common dialog) "引发事件的窗口组件无效".
void RaiseEvent(ControlRef source, int eventIndex, const char* textArgument = nullptr);

// The unit whose event handler is running on the GUI thread, the innermost
// one when handlers nest; {0, 0} when none runs.
ControlRef CurrentEventSource();
