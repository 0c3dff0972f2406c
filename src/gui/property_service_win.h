#pragma once

// Numbered properties of the loaded windows and their controls.
//
// A value travels in 8 bytes: integers, booleans (0 or 1) and colours
// (0x00BBGGRR, kDefaultColour for the system button face) in the low 32 bits;
// a text as the whole address of a zero-terminated UTF-8 text; a byte buffer as
// the whole address of a byte-set block (command_adapter.h: 32-bit 1, 32-bit
// length, the bytes; null when empty). Texts and byte buffers returned by a
// read are new runtime blocks owned by the caller (RuntimeFree).
//
// Any thread may call. The work is carried out by the GUI thread (calls from
// other threads are sent to it and wait) and has completed when the call
// returns. A window that is not loaded is fatal "未载入欲访问窗口组件所在的窗口";
// an unknown control, or an own property (index 8 and above) of a unit that
// has not been created yet, is fatal "指定窗口尚未载入". After its window has
// been closed a unit answers with its stored values and stores what is
// written, without a report.
//
// Common to every unit: 0 left, 1 top, 2 width, 3 height (window rectangle in
// the parent's client coordinates; the stored form values for a unit without
// a native window), 4 tag (text), 5 visible, 6 disabled, 7 mouse cursor
// (byte buffer). Own properties used by the program:
//   window       8 title (text), 10 background colour, 26 shown in the task
//                bar (read only), 29 always on top (1 raises the window, any
//                other value releases it; after 0 the other loaded windows
//                that stay on top without a task-bar button are raised again)
//   checkbox     18 checked (reads the control; writing checks it exactly
//                for the value 1)
//   combo box    9 content: the text it shows (read only)
//   progress bar 11 minimum, 12 maximum, 13 position: written values are
//                clamped to 0 and above and stored; the bar shows the range
//                smaller..larger and the position min(maximum, max(position,
//                minimum))
//   common dialog 10 file name (text): the last confirmed path
//   drop object  11 accept dropped files (boolean)
// Other own properties read 0 and ignore writes. The array index is -1 for a
// single control; this program passes nothing else.

#include <cstdint>

#include "gui/form_ids_win.h"

class PropertyService {
 public:
  static uint64_t Read(ControlRef ref, int propertyIndex, int arrayIndex = -1);
  static void Write(ControlRef ref, int propertyIndex, int arrayIndex, uint64_t value);

  // Typed forms of the above.
  static int32_t ReadInteger(ControlRef ref, int propertyIndex);
  static char* ReadText(ControlRef ref, int propertyIndex);  // new runtime text
  static void WriteInteger(ControlRef ref, int propertyIndex, int32_t value);
  static void WriteText(ControlRef ref, int propertyIndex, const char* text);
};
