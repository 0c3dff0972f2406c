// Painters of the runtime's flat control look: light faces, one-pixel
// frames, a blue accent for hot, focused, default and checked states, and
// grey for disabled controls. Each painter draws into a memory bitmap first,
// so a control never shows half-painted.

#include "gui/visual_style_paint_win.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/win_handles_win.h"

namespace {

// --- GDI owners ---------------------------------------------------------------

// A window's device context, released to the window.
class WindowDc {
 public:
  WindowDc(HWND window, bool wholeWindow)
      : window_(window), dc_(wholeWindow ? GetWindowDC(window) : GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// An off-screen bitmap of the target's size; Present copies it to the target.
class OffscreenCanvas {
 public:
  OffscreenCanvas(HDC target, int width, int height)
      : target_(target), width_(width), height_(height), dc_(CreateCompatibleDC(target)) {
    if (dc_ != nullptr) {
      bitmap_.Reset(CreateCompatibleBitmap(target, std::max(width, 1), std::max(height, 1)));
      if (bitmap_) previous_ = SelectObject(dc_, bitmap_.Get());
    }
  }
  ~OffscreenCanvas() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    bitmap_.Reset();
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  OffscreenCanvas(const OffscreenCanvas&) = delete;
  OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

  bool IsReady() const { return previous_ != nullptr; }
  HDC Dc() const { return dc_; }
  void Present() const { BitBlt(target_, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY); }

 private:
  HDC target_;
  int width_, height_;
  HDC dc_;
  UniqueGdiObject bitmap_;
  HGDIOBJ previous_ = nullptr;
};

// --- Colours ------------------------------------------------------------------

constexpr COLORREF kAccent = RGB(0, 120, 215);
constexpr COLORREF kAccentDark = RGB(0, 84, 153);
constexpr COLORREF kFace = RGB(251, 251, 251);
constexpr COLORREF kFaceHot = RGB(229, 241, 251);
constexpr COLORREF kFacePressed = RGB(204, 228, 247);
constexpr COLORREF kFaceDisabled = RGB(244, 244, 244);
constexpr COLORREF kFrame = RGB(173, 173, 173);
constexpr COLORREF kFrameDisabled = RGB(204, 204, 204);
constexpr COLORREF kTextDisabled = RGB(160, 160, 160);
constexpr COLORREF kField = RGB(255, 255, 255);
constexpr COLORREF kGlyph = RGB(96, 96, 96);
constexpr COLORREF kGroupFrame = 0x00BFB8BF;

// Face and frame of a clickable part, by its state.
struct PartColours {
  COLORREF face;
  COLORREF frame;
  COLORREF text;
};

PartColours ButtonColours(uint32_t state, COLORREF text) {
  if (state & kStateDisabled) return {kFaceDisabled, kFrameDisabled, kTextDisabled};
  if (state & (kStatePressed | kStateChecked)) return {kFacePressed, kAccentDark, text};
  if (state & kStateHot) return {kFaceHot, kAccent, text};
  if (state & (kStateDefault | kStateFocused)) return {kFace, kAccent, text};
  return {kFace, kFrame, text};
}

// Face and frame of a check box's box or a radio button's circle.
PartColours MarkColours(uint32_t state) {
  if (state & kStateDisabled) {
    return {(state & kStateChecked) ? kFrameDisabled : kFaceDisabled, kFrameDisabled, kField};
  }
  if (state & kStatePressed) return {kFacePressed, kAccentDark, kField};
  if (state & kStateChecked) return {(state & kStateHot) ? kAccentDark : kAccent, kAccent, kField};
  if (state & kStateHot) return {kFaceHot, kAccent, kField};
  return {kField, (state & kStateFocused) ? kAccent : kFrame, kField};
}

// --- Drawing helpers ----------------------------------------------------------

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, COLORREF colour) {
  const RECT top{rect.left, rect.top, rect.right, rect.top + 1};
  const RECT bottom{rect.left, rect.bottom - 1, rect.right, rect.bottom};
  const RECT left{rect.left, rect.top, rect.left + 1, rect.bottom};
  const RECT right{rect.right - 1, rect.top, rect.right, rect.bottom};
  Fill(dc, top, colour);
  Fill(dc, bottom, colour);
  Fill(dc, left, colour);
  Fill(dc, right, colour);
}

RECT Inset(RECT rect, int by) {
  InflateRect(&rect, -by, -by);
  return rect;
}

void FilledPolygon(HDC dc, const POINT* points, int count, COLORREF colour) {
  UniqueGdiObject brush(CreateSolidBrush(colour));
  UniqueGdiObject pen(CreatePen(PS_SOLID, 1, colour));
  Selection brushSelection(dc, brush.Get());
  Selection penSelection(dc, pen.Get());
  Polygon(dc, points, count);
}

enum class Direction { kUp, kDown, kLeft, kRight };

// A small solid triangle centred in rect.
void Arrow(HDC dc, const RECT& rect, Direction direction, COLORREF colour) {
  const int cx = (rect.left + rect.right) / 2;
  const int cy = (rect.top + rect.bottom) / 2;
  const int size =
      std::max<int>(2, std::min<int>(rect.right - rect.left, rect.bottom - rect.top) / 4);
  POINT points[3];
  switch (direction) {
    case Direction::kDown:
      points[0] = {cx - size, cy - size / 2};
      points[1] = {cx + size, cy - size / 2};
      points[2] = {cx, cy + size / 2 + 1};
      break;
    case Direction::kUp:
      points[0] = {cx - size, cy + size / 2};
      points[1] = {cx + size, cy + size / 2};
      points[2] = {cx, cy - size / 2 - 1};
      break;
    case Direction::kLeft:
      points[0] = {cx + size / 2, cy - size};
      points[1] = {cx + size / 2, cy + size};
      points[2] = {cx - size / 2 - 1, cy};
      break;
    case Direction::kRight:
      points[0] = {cx - size / 2, cy - size};
      points[1] = {cx - size / 2, cy + size};
      points[2] = {cx + size / 2 + 1, cy};
      break;
  }
  FilledPolygon(dc, points, 3, colour);
}

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

HFONT FontOf(HWND window) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Draws text in rect with the button-style alignment bits of style; answers
// the rectangle the text took.
RECT DrawAlignedText(HDC dc, const std::wstring& text, RECT rect, LONG style, UINT horizontal,
                     UINT vertical) {
  const LONG horizontalBits = style & (BS_LEFT | BS_RIGHT | BS_CENTER);
  if (horizontalBits == BS_LEFT) horizontal = DT_LEFT;
  if (horizontalBits == BS_RIGHT) horizontal = DT_RIGHT;
  if (horizontalBits == BS_CENTER) horizontal = DT_CENTER;
  const LONG verticalBits = style & (BS_TOP | BS_BOTTOM | BS_VCENTER);
  if (verticalBits == BS_TOP) vertical = DT_TOP;
  if (verticalBits == BS_BOTTOM) vertical = DT_BOTTOM;
  if (verticalBits == BS_VCENTER) vertical = DT_VCENTER;

  const bool multiline = (style & BS_MULTILINE) != 0;
  const UINT lineFlags = multiline ? DT_WORDBREAK : DT_SINGLELINE;
  RECT measured = rect;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
            lineFlags | horizontal | DT_CALCRECT);
  const int textHeight = measured.bottom - measured.top;
  const int textWidth = std::min(measured.right - measured.left, rect.right - rect.left);
  RECT placed = rect;
  if (vertical == DT_VCENTER) placed.top = rect.top + (rect.bottom - rect.top - textHeight) / 2;
  if (vertical == DT_BOTTOM) placed.top = rect.bottom - textHeight;
  placed.bottom = placed.top + textHeight;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &placed, lineFlags | horizontal);

  if (horizontal == DT_CENTER) placed.left = rect.left + (rect.right - rect.left - textWidth) / 2;
  if (horizontal == DT_RIGHT) placed.left = rect.right - textWidth;
  placed.right = placed.left + textWidth;
  return placed;
}

// --- Painters -----------------------------------------------------------------

void PaintPushButton(HDC dc, const RECT& client, const StyledWindow& styled) {
  const LONG style = GetWindowLongW(styled.window, GWL_STYLE);
  const PartColours colours = ButtonColours(styled.state, styled.text);
  Fill(dc, client, styled.background);
  const RECT face = Inset(client, 1);
  Fill(dc, face, colours.face);
  Frame(dc, face, colours.frame);
  // The default button carries a second accent line.
  if ((styled.state & kStateDefault) && !(styled.state & kStateDisabled)) {
    Frame(dc, Inset(face, 1), kAccent);
  }

  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colours.text);
  Selection font(dc, FontOf(styled.window));
  RECT textRect = Inset(face, 4);
  if (styled.state & kStatePressed) OffsetRect(&textRect, 1, 1);
  DrawAlignedText(dc, TextOf(styled.window), textRect, style, DT_CENTER, DT_VCENTER);
  if (styled.state & kStateFocused) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    const RECT focus = Inset(face, 3);
    DrawFocusRect(dc, &focus);
  }
}

void PaintCheckMark(HDC dc, const RECT& box, COLORREF colour) {
  // A tick made of two strokes, two pixels wide.
  UniqueGdiObject pen(CreatePen(PS_SOLID, 2, colour));
  Selection penSelection(dc, pen.Get());
  const int w = box.right - box.left;
  const int h = box.bottom - box.top;
  POINT stroke[3] = {{box.left + w * 3 / 13, box.top + h * 7 / 13},
                     {box.left + w * 5 / 13, box.top + h * 9 / 13},
                     {box.left + w * 10 / 13, box.top + h * 4 / 13}};
  Polyline(dc, stroke, 3);
}

void PaintCheckOrRadio(HDC dc, const RECT& client, const StyledWindow& styled) {
  const LONG style = GetWindowLongW(styled.window, GWL_STYLE);
  const bool radio = styled.kind == StyleKind::kRadioButton;
  Fill(dc, client, styled.background);

  const int markSize = 13;
  const bool markRight = (style & BS_LEFTTEXT) != 0;
  RECT mark;
  mark.left = markRight ? client.right - markSize - 1 : client.left + 1;
  mark.right = mark.left + markSize;
  const LONG verticalBits = style & (BS_TOP | BS_BOTTOM | BS_VCENTER);
  if (verticalBits == BS_TOP) {
    mark.top = client.top + 1;
  } else if (verticalBits == BS_BOTTOM) {
    mark.top = client.bottom - markSize - 1;
  } else {
    mark.top = client.top + (client.bottom - client.top - markSize) / 2;
  }
  mark.bottom = mark.top + markSize;

  const PartColours colours = MarkColours(styled.state);
  if (radio) {
    UniqueGdiObject brush(CreateSolidBrush((styled.state & kStateChecked) ? kField : colours.face));
    UniqueGdiObject pen(CreatePen(PS_SOLID, 1, colours.frame));
    Selection brushSelection(dc, brush.Get());
    Selection penSelection(dc, pen.Get());
    Ellipse(dc, mark.left, mark.top, mark.right, mark.bottom);
    if (styled.state & kStateChecked) {
      UniqueGdiObject dot(CreateSolidBrush(colours.face));
      UniqueGdiObject dotPen(CreatePen(PS_SOLID, 1, colours.face));
      Selection dotSelection(dc, dot.Get());
      Selection dotPenSelection(dc, dotPen.Get());
      const RECT inner = Inset(mark, 3);
      Ellipse(dc, inner.left, inner.top, inner.right, inner.bottom);
    }
  } else if (styled.state & kStateIndeterminate) {
    Fill(dc, mark, (styled.state & kStateDisabled) ? kFaceDisabled : kField);
    Frame(dc, mark, colours.frame);
    Fill(dc, Inset(mark, 3), (styled.state & kStateDisabled) ? kFrameDisabled : kAccent);
  } else {
    Fill(dc, mark, colours.face);
    Frame(dc, mark, colours.frame);
    if (styled.state & kStateChecked) PaintCheckMark(dc, mark, colours.text);
  }

  RECT textRect = client;
  if (markRight) {
    textRect.right = mark.left - 5;
  } else {
    textRect.left = mark.right + 5;
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, (styled.state & kStateDisabled) ? kTextDisabled : styled.text);
  Selection font(dc, FontOf(styled.window));
  const RECT used =
      DrawAlignedText(dc, TextOf(styled.window), textRect, style, DT_LEFT, DT_VCENTER);
  if (styled.state & kStateFocused) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    RECT focus = used;
    InflateRect(&focus, 2, 1);
    IntersectRect(&focus, &focus, &client);
    DrawFocusRect(dc, &focus);
  }
}

// Drawn straight onto the window: a group box is see-through, and the
// controls inside it are usually its siblings, so only the frame band and the
// caption are touched.
void PaintGroupBox(HDC dc, const RECT& client, const StyledWindow& styled, int option) {
  Selection font(dc, FontOf(styled.window));
  SIZE sample{};
  GetTextExtentPoint32W(dc, L"quvomal", 7, &sample);  // caption height
  const COLORREF frameColour = (option >= 1 && option <= 3) ? kGroupFrame : kFrame;
  RECT frame = client;
  frame.top += sample.cy / 2;
  const RECT interior{frame.left + 1, client.top + sample.cy, frame.right - 1, frame.bottom - 1};
  ExcludeClipRect(dc, interior.left, interior.top, interior.right, interior.bottom);
  Fill(dc, client, styled.background);
  Frame(dc, frame, (styled.state & kStateDisabled) ? kFrameDisabled : frameColour);

  const std::wstring caption = TextOf(styled.window);
  if (caption.empty()) return;
  RECT captionRect{client.left + 8, client.top, client.right - 8, client.top + sample.cy};
  RECT measured = captionRect;
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measured,
            DT_SINGLELINE | DT_CALCRECT);
  captionRect.right = std::min(captionRect.right, measured.right + 4);
  captionRect.left -= 2;
  Fill(dc, captionRect, styled.background);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, (styled.state & kStateDisabled) ? kTextDisabled : styled.text);
  captionRect.left += 2;
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &captionRect,
            DT_SINGLELINE | DT_LEFT | DT_TOP);
}

void PaintComboBox(HDC dc, const RECT& client, const StyledWindow& styled) {
  const HWND combo = styled.window;
  const LONG style = GetWindowLongW(combo, GWL_STYLE);
  const bool disabled = (styled.state & kStateDisabled) != 0;
  const bool listOnly = (style & 3) == CBS_DROPDOWNLIST;
  const bool dropped = SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;

  COLORREF frame = kFrame;
  if (disabled) {
    frame = kFrameDisabled;
  } else if (styled.state & (kStateHot | kStateFocused | kStatePressed) || dropped) {
    frame = kAccent;
  }
  const COLORREF field = disabled ? kFaceDisabled : kField;
  const int buttonWidth = GetSystemMetrics(SM_CXVSCROLL);
  RECT button{std::max(client.left + 1, client.right - 1 - buttonWidth), client.top + 1,
              client.right - 1, client.bottom - 1};

  Fill(dc, client, field);
  if (listOnly) {
    RECT textRect{client.left + 2, client.top + 2, button.left - 1, client.bottom - 2};
    const std::wstring text = TextOf(combo);
    Selection font(dc, FontOf(combo));
    SetBkMode(dc, TRANSPARENT);
    COLORREF textColour = disabled ? kTextDisabled : RGB(0, 0, 0);
    if ((styled.state & kStateFocused) && !dropped && !disabled) {
      Fill(dc, textRect, kAccent);
      textColour = RGB(255, 255, 255);
    }
    SetTextColor(dc, textColour);
    RECT inner = textRect;
    inner.left += 3;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  // With an edit field, that child paints the text; the clip keeps it.
  Frame(dc, client, frame);

  COLORREF buttonFace = field;
  if (!disabled && ((styled.state & kStatePressed) || dropped)) {
    buttonFace = kFacePressed;
  } else if (!disabled && (styled.state & kStateHot)) {
    buttonFace = kFaceHot;
  }
  Fill(dc, button, buttonFace);
  Arrow(dc, button, Direction::kDown, disabled ? kFrameDisabled : kGlyph);
}

void PaintUpDown(HDC dc, const RECT& client, const StyledWindow& styled) {
  const bool disabled = (styled.state & kStateDisabled) != 0;
  const bool pressed =
      !disabled && ((styled.state & kStatePressed) || GetCapture() == styled.window);
  RECT halves[2] = {client, client};
  if (styled.horizontal) {
    const int middle = (client.left + client.right) / 2;
    halves[0].right = middle;
    halves[1].left = middle;
  } else {
    const int middle = (client.top + client.bottom) / 2;
    halves[0].bottom = middle;
    halves[1].top = middle;
  }
  Fill(dc, client, styled.buddyIsEdit ? kField : styled.background);
  for (int half = 0; half < 2; ++half) {
    COLORREF face = disabled ? kFaceDisabled : kFace;
    COLORREF frame = disabled ? kFrameDisabled : kFrame;
    if (!disabled && styled.hotHalf == half) {
      face = pressed ? kFacePressed : kFaceHot;
      frame = pressed ? kAccentDark : kAccent;
    }
    Fill(dc, halves[half], face);
    Frame(dc, halves[half], frame);
    const Direction direction = styled.horizontal
                                    ? (half == 0 ? Direction::kLeft : Direction::kRight)
                                    : (half == 0 ? Direction::kUp : Direction::kDown);
    Arrow(dc, halves[half], direction, disabled ? kFrameDisabled : kGlyph);
  }
}

// Edits and drop-down lists: only their frame, in the non-client area, so the
// control's own text painting stays untouched.
void PaintFrameOnly(const StyledWindow& styled) {
  RECT window;
  RECT client;
  GetWindowRect(styled.window, &window);
  GetClientRect(styled.window, &client);
  MapWindowPoints(styled.window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  const int left = client.left - window.left;
  const int top = client.top - window.top;
  const int right = window.right - client.right;
  const int bottom = window.bottom - client.bottom;
  if (left <= 0 && top <= 0 && right <= 0 && bottom <= 0) return;  // no frame to draw on

  WindowDc dc(styled.window, true);
  if (dc.Get() == nullptr) return;
  const RECT whole{0, 0, window.right - window.left, window.bottom - window.top};
  // Leave the scroll bars, which also live in the non-client area, alone.
  const RECT clientInWindow{left, top, whole.right - right, whole.bottom - bottom};
  ExcludeClipRect(dc.Get(), clientInWindow.left, clientInWindow.top, clientInWindow.right,
                  clientInWindow.bottom);

  const LONG style = GetWindowLongW(styled.window, GWL_STYLE);
  const bool hasScrollBars = (style & (WS_HSCROLL | WS_VSCROLL)) != 0;
  const bool disabled = (styled.state & kStateDisabled) != 0;
  COLORREF frame = kFrame;
  if (disabled) {
    frame = kFrameDisabled;
  } else if (styled.kind == StyleKind::kDropDownList || (styled.state & kStateFocused)) {
    frame = kAccent;
  } else if (styled.state & kStateHot) {
    frame = kAccentDark;
  }
  const bool quiet = disabled || (styled.state & kStateReadOnly);
  const COLORREF ring =
      styled.kind == StyleKind::kEdit && !quiet ? kField : GetSysColor(COLOR_WINDOW);
  if (!hasScrollBars) {
    Fill(dc.Get(), whole, quiet ? GetSysColor(COLOR_BTNFACE) : ring);
  }
  Frame(dc.Get(), whole, frame);
}

}  // namespace

void PaintStyledWindow(const StyledWindow& styled, int option) {
  if (!IsWindowVisible(styled.window)) return;
  if (styled.kind == StyleKind::kEdit || styled.kind == StyleKind::kDropDownList) {
    PaintFrameOnly(styled);
    return;
  }

  RECT client;
  GetClientRect(styled.window, &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  WindowDc windowDc(styled.window, false);
  if (windowDc.Get() == nullptr) return;

  // A combo box with an edit field: paint around the field, never over it.
  if (styled.kind == StyleKind::kComboBox) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(styled.window, &info) && info.hwndItem != nullptr &&
        info.hwndItem != styled.window) {
      RECT item = info.rcItem;
      ExcludeClipRect(windowDc.Get(), item.left, item.top, item.right, item.bottom);
    }
  }

  if (styled.kind == StyleKind::kGroupBox) {
    PaintGroupBox(windowDc.Get(), client, styled, option);
    return;
  }

  OffscreenCanvas canvas(windowDc.Get(), client.right, client.bottom);
  if (!canvas.IsReady()) return;
  const HDC dc = canvas.Dc();
  switch (styled.kind) {
    case StyleKind::kPushButton:
      PaintPushButton(dc, client, styled);
      break;
    case StyleKind::kCheckBox:
    case StyleKind::kRadioButton:
      PaintCheckOrRadio(dc, client, styled);
      break;
    case StyleKind::kComboBox:
      PaintComboBox(dc, client, styled);
      break;
    case StyleKind::kUpDown:
      PaintUpDown(dc, client, styled);
      break;
    default:
      return;
  }
  canvas.Present();
}
