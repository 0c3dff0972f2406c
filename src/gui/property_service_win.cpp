// The property service: reads and writes numbered properties of loaded units
// on the GUI thread.

#include "gui/property_service_win.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/command_adapter.h"
#include "base/error_report.h"
#include "base/runtime_memory.h"
#include "base/wide_text_win.h"
#include "gui/form_units_win.h"
#include "gui/gui_thread_call_win.h"

namespace {

enum class ValueType { kNone, kInteger, kBoolean, kText, kBytes, kColour };

ValueType TypeOf(UnitKind kind, int index) {
  switch (index) {
    case kPropLeft:
    case kPropTop:
    case kPropWidth:
    case kPropHeight:
      return ValueType::kInteger;
    case kPropTag:
      return ValueType::kText;
    case kPropVisible:
    case kPropDisabled:
      return ValueType::kBoolean;
    case kPropCursor:
      return ValueType::kBytes;
    default:
      break;
  }
  switch (kind) {
    case UnitKind::kWindow:
      if (index == kPropWindowTitle) return ValueType::kText;
      if (index == kPropWindowBackgroundColour) return ValueType::kColour;
      if (index == kPropWindowShownInTaskBar) return ValueType::kBoolean;
      if (index == kPropWindowAlwaysOnTop) return ValueType::kBoolean;
      return ValueType::kNone;
    case UnitKind::kCheckbox:
      return index == kPropCheckboxChecked ? ValueType::kInteger : ValueType::kNone;
    case UnitKind::kComboBox:
      return index == kPropComboContent ? ValueType::kText : ValueType::kNone;
    case UnitKind::kProgressBar:
      return (index >= kPropProgressMinimum && index <= kPropProgressPosition) ? ValueType::kInteger
                                                                               : ValueType::kNone;
    case UnitKind::kCommonDialog:
      return index == kPropDialogFileName ? ValueType::kText : ValueType::kNone;
    case UnitKind::kDropObject:
      return index == kPropDropAcceptFiles ? ValueType::kBoolean : ValueType::kNone;
    default:
      return ValueType::kNone;
  }
}

uint64_t IntegerValue(int32_t value) {
  return static_cast<uint32_t>(value);
}

// Texts and byte buffers travel as whole addresses: in the 64-bit program
// they lie above 4 GiB, so no part of the value may be cut off.
uint64_t AddressValue(const void* address) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address));
}

void* AddressOf(uint64_t value) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(value));
}

uint64_t TextValue(const std::string& text) {
  return AddressValue(RuntimeTextCopy(text));
}

uint64_t BytesValue(const std::string& bytes) {
  return AddressValue(NewByteSetBlock(bytes.data(), bytes.size()));
}

int32_t LowInteger(uint64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string TextOfValue(uint64_t value) {
  const char* text = static_cast<const char*>(AddressOf(value));
  return text != nullptr ? std::string(text) : std::string();
}

std::string BytesOfValue(uint64_t value) {
  const void* block = AddressOf(value);
  const uint32_t length = ByteSetBlockLength(block);
  return length != 0 ? std::string(reinterpret_cast<const char*>(ByteSetBlockData(block)), length)
                     : std::string();
}

int32_t ClampProgress(int32_t value) {
  return std::max(value, 0);
}

// The native window while the unit is live; null otherwise.
HWND LiveNative(const LiveUnit& unit) {
  return unit.closed.load() ? nullptr : unit.native.load();
}

// Window rectangle in the parent's client coordinates (the screen for a
// top-level window).
RECT RectInParent(HWND window) {
  RECT bounds;
  GetWindowRect(window, &bounds);
  if (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&bounds), 2);
  }
  return bounds;
}

void SendProgressRange(HWND bar, const LiveUnit& unit) {
  SendProgressRangeOf(bar, unit.progressMinimum, unit.progressMaximum);
}

// --- Reads (GUI thread) -----------------------------------------------------

uint64_t ReadCommon(LiveUnit& unit, int index) {
  const HWND native = LiveNative(unit);
  if (native != nullptr && index <= kPropHeight) {
    const RECT bounds = RectInParent(native);
    switch (index) {
      case kPropLeft:
        return IntegerValue(bounds.left);
      case kPropTop:
        return IntegerValue(bounds.top);
      case kPropWidth:
        return IntegerValue(bounds.right - bounds.left);
      default:
        return IntegerValue(bounds.bottom - bounds.top);
    }
  }
  switch (index) {
    case kPropLeft:
      return IntegerValue(unit.left);
    case kPropTop:
      return IntegerValue(unit.top);
    case kPropWidth:
      return IntegerValue(unit.width);
    case kPropHeight:
      return IntegerValue(unit.height);
    case kPropTag:
      return TextValue(unit.tag);
    case kPropVisible:
      if (native != nullptr) return IsWindowVisible(native) ? 1 : 0;
      return (unit.flags & kUnitVisible) ? 1 : 0;
    case kPropDisabled:
      if (native != nullptr) return IsWindowEnabled(native) ? 0 : 1;
      return (unit.flags & kUnitDisabled) ? 1 : 0;
    default:
      return BytesValue(unit.cursorBytes);
  }
}

uint64_t ReadOwn(LiveUnit& unit, int index) {
  const HWND native = LiveNative(unit);
  switch (unit.kind) {
    case UnitKind::kWindow:
      if (index == kPropWindowTitle) {
        return TextValue(native != nullptr ? NativeWindowText(native) : unit.form.settings.caption);
      }
      if (index == kPropWindowBackgroundColour) return unit.backgroundColour;
      if (index == kPropWindowShownInTaskBar) return unit.shownInTaskBar ? 1 : 0;
      if (index == kPropWindowAlwaysOnTop) return unit.alwaysOnTop ? 1 : 0;
      return 0;
    case UnitKind::kCheckbox:
      if (index != kPropCheckboxChecked) return 0;
      if (native != nullptr) unit.checked = SendMessageW(native, BM_GETCHECK, 0, 0) == BST_CHECKED;
      return IntegerValue(unit.checked);
    case UnitKind::kComboBox:
      if (index != kPropComboContent) return 0;
      if (native != nullptr) unit.comboText = NativeWindowText(native);
      return TextValue(unit.comboText);
    case UnitKind::kProgressBar:
      if (index == kPropProgressMinimum) return IntegerValue(unit.progressMinimum);
      if (index == kPropProgressMaximum) return IntegerValue(unit.progressMaximum);
      if (index == kPropProgressPosition) return IntegerValue(unit.progressPosition);
      return 0;
    case UnitKind::kCommonDialog:
      return index == kPropDialogFileName ? TextValue(unit.fileName) : 0;
    case UnitKind::kDropObject:
      return index == kPropDropAcceptFiles ? (unit.acceptFiles ? 1 : 0) : 0;
    default:
      return 0;
  }
}

// --- Writes (GUI thread) ----------------------------------------------------

void WriteCommon(LiveUnit& unit, int index, uint64_t value) {
  const HWND native = LiveNative(unit);
  switch (index) {
    case kPropLeft:
    case kPropTop:
    case kPropWidth:
    case kPropHeight: {
      int* field = index == kPropLeft    ? &unit.left
                   : index == kPropTop   ? &unit.top
                   : index == kPropWidth ? &unit.width
                                         : &unit.height;
      if (native != nullptr) {
        const RECT bounds = RectInParent(native);
        unit.left = bounds.left;
        unit.top = bounds.top;
        unit.width = bounds.right - bounds.left;
        unit.height = bounds.bottom - bounds.top;
      }
      *field = LowInteger(value);
      if (native != nullptr) {
        SetWindowPos(native, nullptr, unit.left, unit.top, unit.width, unit.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return;
    }
    case kPropTag:
      unit.tag = TextOfValue(value);
      return;
    case kPropVisible:
      unit.flags =
          LowInteger(value) != 0 ? (unit.flags | kUnitVisible) : (unit.flags & ~kUnitVisible);
      if (native != nullptr) ShowWindow(native, LowInteger(value) != 0 ? SW_SHOWNA : SW_HIDE);
      return;
    case kPropDisabled:
      unit.flags =
          LowInteger(value) != 0 ? (unit.flags | kUnitDisabled) : (unit.flags & ~kUnitDisabled);
      if (native != nullptr) EnableWindow(native, LowInteger(value) == 0);
      return;
    default:
      unit.cursorBytes = BytesOfValue(value);
      return;
  }
}

void WriteOwn(LiveUnit& unit, int index, uint64_t value) {
  const HWND native = LiveNative(unit);
  const int32_t number = LowInteger(value);
  switch (unit.kind) {
    case UnitKind::kWindow:
      if (index == kPropWindowTitle) {
        if (native != nullptr) SetWindowTextW(native, WideFromUtf8(TextOfValue(value)).c_str());
      } else if (index == kPropWindowBackgroundColour) {
        unit.backgroundColour = static_cast<uint32_t>(number);
        unit.backgroundBrush.Reset();
        if (native != nullptr)
          RedrawWindow(native, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
      } else if (index == kPropWindowAlwaysOnTop) {
        if (LiveNative(unit) != nullptr) {
          ApplyAlwaysOnTop(unit, number);
        } else {
          unit.alwaysOnTop = number != 0;
        }
      }
      return;
    case UnitKind::kCheckbox:
      if (index != kPropCheckboxChecked) return;
      unit.checked = number == 1 ? 1 : 0;
      if (native != nullptr) {
        SendMessageW(native, BM_SETCHECK, number == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      return;
    case UnitKind::kProgressBar:
      if (index == kPropProgressMinimum || index == kPropProgressMaximum) {
        (index == kPropProgressMinimum ? unit.progressMinimum : unit.progressMaximum) =
            ClampProgress(number);
        if (native != nullptr) SendProgressRange(native, unit);
      } else if (index == kPropProgressPosition) {
        unit.progressPosition = ClampProgress(number);
        const int shown =
            std::min(unit.progressMaximum, std::max(unit.progressPosition, unit.progressMinimum));
        if (native != nullptr) SendMessageW(native, PBM_SETPOS, static_cast<WPARAM>(shown), 0);
      }
      return;
    case UnitKind::kCommonDialog:
      if (index == kPropDialogFileName) unit.fileName = TextOfValue(value);
      return;
    case UnitKind::kDropObject:
      if (index == kPropDropAcceptFiles) unit.acceptFiles = number != 0;
      return;
    default:
      return;  // the combo box content and the others are not written
  }
}

// Checks done on the calling thread, so that a report shows there.
LiveUnit& CheckedUnit(ControlRef ref, int index) {
  LiveUnit& unit = UnitForAccess(ref);
  if (index >= kFirstOwnProperty && !unit.created.load()) ReportFatal("指定窗口尚未载入", 0);
  return unit;
}

}  // namespace

uint64_t PropertyService::Read(ControlRef ref, int propertyIndex, int /*arrayIndex*/) {
  LiveUnit& unit = CheckedUnit(ref, propertyIndex);
  uint64_t value = 0;
  if (propertyIndex < 0) return 0;
  RunOnGuiThread([&] {
    value = propertyIndex < kFirstOwnProperty ? ReadCommon(unit, propertyIndex)
                                              : ReadOwn(unit, propertyIndex);
  });
  return value;
}

void PropertyService::Write(ControlRef ref, int propertyIndex, int /*arrayIndex*/, uint64_t value) {
  LiveUnit& unit = CheckedUnit(ref, propertyIndex);
  if (propertyIndex < 0) return;
  RunOnGuiThread([&] {
    if (propertyIndex < kFirstOwnProperty) {
      WriteCommon(unit, propertyIndex, value);
    } else {
      WriteOwn(unit, propertyIndex, value);
    }
  });
}

int32_t PropertyService::ReadInteger(ControlRef ref, int propertyIndex) {
  const uint64_t value = Read(ref, propertyIndex);
  const ValueType type = TypeOf(UnitForAccess(ref).kind, propertyIndex);
  if (type == ValueType::kText || type == ValueType::kBytes) {
    RuntimeFree(AddressOf(value));
    return 0;
  }
  return LowInteger(value);
}

char* PropertyService::ReadText(ControlRef ref, int propertyIndex) {
  const uint64_t value = Read(ref, propertyIndex);
  const ValueType type = TypeOf(UnitForAccess(ref).kind, propertyIndex);
  if (type == ValueType::kText) return static_cast<char*>(AddressOf(value));
  if (type == ValueType::kBytes) RuntimeFree(AddressOf(value));
  return RuntimeTextCopy("");
}

void PropertyService::WriteInteger(ControlRef ref, int propertyIndex, int32_t value) {
  Write(ref, propertyIndex, -1, static_cast<uint32_t>(value));
}

void PropertyService::WriteText(ControlRef ref, int propertyIndex, const char* text) {
  Write(ref, propertyIndex, -1, AddressValue(text));
}
