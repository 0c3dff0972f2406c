#pragma once

// Internal to the visual style: what is kept per styled window, and the
// painters that draw it.

#include <windows.h>

#include <cstdint>

#include "gui/visual_style_win.h"

struct StyledWindow {
  HWND window = nullptr;
  StyleKind kind = StyleKind::kPushButton;
  uint32_t state = 0;  // StyleState bits
  WNDPROC previousProc = nullptr;
  // Colours the parent answers WM_CTLCOLORBTN with, read at each erase.
  COLORREF background = 0;
  COLORREF text = 0;
  // Up-down controls.
  bool horizontal = false;
  bool buddyIsEdit = false;
  int hotHalf = -1;  // -1 none, 0 up (or left), 1 down (or right)
  // Someone subclassed the window after us, so our procedure could not be
  // taken out of its chain: it only passes messages on until the window goes.
  bool passThrough = false;
};

// Paints the whole control (for edits and drop-down lists, its frame) in the
// look of option, from the state in styled. Does nothing for a hidden window.
void PaintStyledWindow(const StyledWindow& styled, int option);
