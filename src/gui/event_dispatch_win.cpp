// Event dispatch: from a unit's event to the handler the form bound to it.

#include "gui/event_dispatch_win.h"

#include "base/error_report.h"
#include "base/error_report_win.h"
#include "gui/form_units_win.h"
#include "gui/gui_thread_call_win.h"
#include "gui/runtime_win.h"

namespace {

// GUI thread only.
ControlRef currentSource{0, 0};

bool EventsStopped() {
  return IsProgramEnding() || IsFatalReportStarted();
}

bool KindRaisesEvents(UnitKind kind) {
  return kind != UnitKind::kCommonDialog;
}

const EventBinding* FindHandler(const LiveUnit& unit, int eventIndex) {
  for (const EventBinding& handler : unit.handlers) {
    if (handler.eventIndex == eventIndex) return &handler;
  }
  return nullptr;
}

// On the GUI thread.
void Deliver(const LiveUnit& unit, ControlRef source, int eventIndex, const char* textArgument) {
  // Checked again here: the end may have begun while the call travelled.
  if (EventsStopped()) return;
  const EventBinding* handler = FindHandler(unit, eventIndex);
  if (handler == nullptr) return;
  const ControlRef outer = currentSource;
  currentSource = source;
  if (handler->withText != nullptr) {
    handler->withText(textArgument != nullptr ? textArgument : "");
  } else if (handler->withoutArgument != nullptr) {
    handler->withoutArgument();
  }
  currentSource = outer;
}

}  // namespace

void RaiseEvent(ControlRef source, int eventIndex, const char* textArgument) {
  if (EventsStopped()) return;
  // The checks run on the raising thread, so a report shows there.
  LoadedWindow* window = FindLoadedWindow(source.windowId);
  if (window == nullptr) ReportFatal("未找到引发事件的窗口", 0);
  const LiveUnit* unit = window->FindUnit(source.controlId);
  if (unit == nullptr) ReportFatal("未找到引发事件的窗口组件", 0);
  if (!KindRaisesEvents(unit->kind)) ReportFatal("引发事件的窗口组件无效", 0);
  RunOnGuiThread([&] { Deliver(*unit, source, eventIndex, textArgument); });
}

ControlRef CurrentEventSource() {
  return currentSource;
}
