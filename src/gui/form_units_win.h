#pragma once

// The loaded windows and their units as the runtime keeps them: shared by the
// form loader, the property service and the event dispatch.
//
// Threads: the list of loaded windows and each window's unit list are built
// on the GUI thread before the window is published, and never shrink, so any
// thread may look units up. A unit's native handle and its created/closed
// state are atomics; every other stored value is read and written on the GUI
// thread only (calls from other threads are carried there, RunOnGuiThread).

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/win_handles_win.h"
#include "gui/form_template_win.h"
#include "gui/form_window_win.h"

enum class UnitKind {
  kWindow,
  kLabel,
  kButton,
  kCheckbox,
  kComboBox,
  kProgressBar,
  kCommonDialog,
  kDropObject,
};

UnitKind KindOfUnitType(uint32_t unitType);

struct LoadedWindow;

struct LiveUnit {
  LiveUnit(const UnitTemplate& form, LoadedWindow& window);

  const UnitTemplate& form;
  LoadedWindow& window;
  const UnitKind kind;
  std::vector<EventBinding> handlers;  // the bindings whose source is this unit

  // Null for units without a native window (the drop object), before the
  // unit is created and after its window is destroyed.
  std::atomic<HWND> native{nullptr};
  std::atomic<bool> created{false};  // the unit's runtime object exists
  std::atomic<bool> closed{false};   // its window has been destroyed

  // Stored values, GUI thread only.
  int left, top, width, height;
  std::string tag;
  uint32_t flags;
  std::string cursorBytes;
  uint32_t backgroundColour;
  UniqueGdiObject backgroundBrush;  // for a colour other than the default
  UniqueIcon bigIcon, smallIcon;    // a window's icons
  bool alwaysOnTop;
  bool shownInTaskBar;
  HFONT font = nullptr;  // a top-level window keeps the font it was sent
  int checked;
  int progressMinimum, progressMaximum, progressPosition;
  std::string comboText;  // last text the combo box showed
  std::string fileName;   // common dialog: last confirmed path
  bool acceptFiles;
};

struct LoadedWindow {
  LoadedWindow(const FormTemplate& form, const EventBindings& bindings);

  const FormTemplate& form;
  std::vector<std::unique_ptr<LiveUnit>> units;  // units[0]: the window

  uint32_t Id() const { return form.windowId; }
  LiveUnit& WindowUnit() const { return *units.front(); }
  LiveUnit* FindUnit(uint32_t controlId) const;
};

// Lookups, callable from any thread. Null when not found.
LoadedWindow* FindLoadedWindow(uint32_t windowId);
LiveUnit* FindLiveUnit(ControlRef ref);

// The unit named by ref for a property access or a control operation:
// a window that is not loaded is fatal "未载入欲访问窗口组件所在的窗口", an unknown
// control of a loaded window fatal "指定窗口尚未载入". Any thread.
LiveUnit& UnitForAccess(ControlRef ref);

// Every loaded window, in load order.
std::vector<LoadedWindow*> LoadedWindows();

// GUI thread: the unit whose native window is this one.
LiveUnit* UnitOfNativeWindow(HWND window);

// The window's text in UTF-8 (a combo box: the text shown).
std::string NativeWindowText(HWND window);
std::wstring WideWindowText(HWND window);

// The brush a unit's stored background colour paints with: the system
// button face for the default colour.
HBRUSH BackgroundBrushOf(LiveUnit& unit);
COLORREF ResolvedColour(uint32_t colour);

// Applies the always-on-top value to a window unit (the value 1 raises it,
// any other value releases it; after 0 the other loaded windows that are on
// top without a task-bar button are raised again). GUI thread.
void ApplyAlwaysOnTop(LiveUnit& windowUnit, int32_t value);

// Shows the range smaller..larger of the two values on a progress bar, with
// the 32-bit range message (the 16-bit one wraps above 65,535).
void SendProgressRangeOf(HWND bar, int minimum, int maximum);
