// The runtime's control look: subclassing, state tracking and the hook that
// styles controls created later.

#include "gui/visual_style_win.h"

#include <commctrl.h>

#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/command_adapter.h"
#include "gui/visual_style_paint_win.h"

namespace {

// The look's state. Process-wide but used on the GUI thread only; never
// destroyed, since the program ends through ExitProcess.
struct VisualStyleState {
  int option = 0;
  std::map<HWND, std::unique_ptr<StyledWindow>> styled;
  HHOOK hook = nullptr;
};

VisualStyleState& State() {
  static VisualStyleState* const state = new VisualStyleState;
  return *state;
}

StyledWindow* FindStyled(HWND window) {
  auto& styled = State().styled;
  const auto found = styled.find(window);
  return found != styled.end() ? found->second.get() : nullptr;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[64] = {};
  const int length = GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool SameClass(const std::wstring& name, const wchar_t* other) {
  return lstrcmpiW(name.c_str(), other) == 0;
}

// Classes the look knows, in the order their kinds are numbered; those of
// kinds 6 to 10 are recognised but left alone.
std::optional<StyleKind> KnownClassKind(const std::wstring& name) {
  if (SameClass(name, L"Button")) return StyleKind::kPushButton;  // refined by style
  if (SameClass(name, L"Edit")) return StyleKind::kEdit;
  if (SameClass(name, L"ComboBox")) return StyleKind::kComboBox;
  if (SameClass(name, L"ComboLBox")) return StyleKind::kDropDownList;
  if (SameClass(name, L"msctls_updown32")) return StyleKind::kUpDown;
  if (SameClass(name, L"ScrollBar")) return StyleKind::kScrollBar;
  if (SameClass(name, L"SysMonthCal32")) return StyleKind::kMonthCalendar;
  if (SameClass(name, L"SysTabControl32")) return StyleKind::kTabControl;
  if (SameClass(name, L"msctls_progress32")) return StyleKind::kProgressBar;
  if (SameClass(name, L"msctls_trackbar32")) return StyleKind::kTrackBar;
  return std::nullopt;
}

std::optional<StyleKind> ButtonKind(HWND window, LONG style) {
  // Bitmap and icon buttons show pictures the painters cannot draw.
  if (style & (BS_BITMAP | BS_ICON)) return std::nullopt;
  const bool pushLike = (style & BS_PUSHLIKE) != 0;
  switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
      // An empty button that is nothing but a child tab stop is a placeholder.
      if ((style & ~WS_VISIBLE) == (WS_CHILD | WS_TABSTOP) && GetWindowTextLengthW(window) == 0) {
        return std::nullopt;
      }
      return StyleKind::kPushButton;
    case BS_DEFPUSHBUTTON:
      return StyleKind::kPushButton;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
      return pushLike ? StyleKind::kPushButton : StyleKind::kCheckBox;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return pushLike ? StyleKind::kPushButton : StyleKind::kRadioButton;
    case BS_GROUPBOX:
      return StyleKind::kGroupBox;
    default:
      return std::nullopt;  // owner-drawn, user buttons and newer types
  }
}

bool IsStyledKind(StyleKind kind) {
  switch (kind) {
    case StyleKind::kPushButton:
    case StyleKind::kCheckBox:
    case StyleKind::kRadioButton:
    case StyleKind::kEdit:
    case StyleKind::kComboBox:
    case StyleKind::kUpDown:
    case StyleKind::kGroupBox:
    case StyleKind::kDropDownList:
      return true;
    default:
      return false;
  }
}

bool IsButtonKind(StyleKind kind) {
  return kind == StyleKind::kPushButton || kind == StyleKind::kCheckBox ||
         kind == StyleKind::kRadioButton;
}

void Redraw(HWND window) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME);
}

void SetBit(StyledWindow& styled, uint32_t bit, bool on) {
  styled.state = on ? (styled.state | bit) : (styled.state & ~bit);
}

// The colours the parent paints this control's surroundings with, as it
// answers WM_CTLCOLORBTN on dc.
void ReadParentColours(StyledWindow& styled, HDC dc) {
  styled.background = GetSysColor(COLOR_BTNFACE);
  styled.text = GetSysColor(COLOR_BTNTEXT);
  const HWND parent = GetParent(styled.window);
  if (parent == nullptr || dc == nullptr) return;
  const auto brush =
      reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                            reinterpret_cast<LPARAM>(styled.window)));
  LOGBRUSH description{};
  if (brush != nullptr &&
      GetObjectW(brush, sizeof description, &description) == sizeof description &&
      description.lbStyle == BS_SOLID) {
    styled.background = description.lbColor;
  }
  styled.text = GetTextColor(dc);
}

void ReadParentColoursNow(StyledWindow& styled) {
  const HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return;
  ReadParentColours(styled, dc);
  DeleteDC(dc);
}

uint32_t InitialState(HWND window, StyleKind kind, LONG style) {
  uint32_t state = 0;
  if (style & WS_DISABLED) state |= kStateDisabled;
  if (GetFocus() == window) state |= kStateFocused;
  if (IsButtonKind(kind)) {
    const LRESULT check = SendMessageW(window, BM_GETCHECK, 0, 0);
    if (check == BST_CHECKED) state |= kStateChecked;
    if (check == BST_INDETERMINATE) state |= kStateIndeterminate;
  }
  if (kind == StyleKind::kPushButton && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    state |= kStateDefault;
  }
  if (kind == StyleKind::kEdit && (style & ES_READONLY)) state |= kStateReadOnly;
  return state;
}

LRESULT CALLBACK StyledProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void Subclass(HWND window) {
  if (FindStyled(window) != nullptr) return;
  const std::optional<StyleKind> kind = StyleKindOf(window);
  if (!kind) return;

  auto styled = std::make_unique<StyledWindow>();
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  styled->window = window;
  styled->kind = *kind;
  styled->state = InitialState(window, *kind, style);
  if (*kind == StyleKind::kUpDown) {
    styled->horizontal = (style & UDS_HORZ) != 0;
    const auto buddy = reinterpret_cast<HWND>(SendMessageW(window, UDM_GETBUDDY, 0, 0));
    styled->buddyIsEdit = buddy != nullptr && SameClass(ClassNameOf(buddy), L"Edit");
  }
  ReadParentColoursNow(*styled);
  StyledWindow& kept = *styled;
  State().styled[window] = std::move(styled);
  kept.previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StyledProc)));
  if (kept.previousProc == nullptr) {  // the window refused
    State().styled.erase(window);
    return;
  }
  Redraw(window);
}

// Gives the window back its previous procedure. When another subclass has
// been put on top of ours meanwhile, ours must stay in the chain and only
// pass messages on until the window is gone.
void Unsubclass(HWND window, bool redraw) {
  StyledWindow* styled = FindStyled(window);
  if (styled == nullptr) return;
  const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
  if (current != StyledProc) {
    styled->passThrough = true;
    return;
  }
  const WNDPROC previous = styled->previousProc;
  State().styled.erase(window);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  if (redraw) Redraw(window);
}

BOOL CALLBACK SubclassChild(HWND window, LPARAM) {
  Subclass(window);
  return TRUE;
}

BOOL CALLBACK SubclassTopLevel(HWND window, LPARAM) {
  Subclass(window);
  EnumChildWindows(window, SubclassChild, 0);  // reaches every descendant
  return TRUE;
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call != nullptr && call->message == WM_CREATE && State().hook != nullptr) {
      Subclass(call->hwnd);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// --- Message handling ---------------------------------------------------------

// What the styled procedure does with one message, in this order: the
// previous procedure, DefWindowProc, the painter. The result is the fixed one
// when given, else that of the last procedure called.
struct Actions {
  bool previous = false;
  bool defaultProc = false;
  bool paint = false;
  bool hasFixedResult = false;
  LRESULT fixedResult = 0;
};

Actions PreviousThenPaint() {
  Actions actions;
  actions.previous = true;
  actions.paint = true;
  return actions;
}

Actions DefaultThenPaint() {
  Actions actions;
  actions.defaultProc = true;
  actions.paint = true;
  return actions;
}

Actions PreviousOnly() {
  Actions actions;
  actions.previous = true;
  return actions;
}

// Focus, enabling and hovering, common to every kind.
Actions CommonStateUpdate(StyledWindow& styled, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_SETFOCUS:
      SetBit(styled, kStateFocused, true);
      return PreviousThenPaint();
    case WM_KILLFOCUS:
      SetBit(styled, kStateFocused, false);
      return PreviousThenPaint();
    case WM_ENABLE:
      SetBit(styled, kStateDisabled, wParam == FALSE);
      return PreviousThenPaint();
    case WM_MOUSEMOVE:
      if (!(styled.state & kStateHot) && !(wParam & MK_LBUTTON)) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, styled.window, 0};
        TrackMouseEvent(&track);
        SetBit(styled, kStateHot, true);
        return PreviousThenPaint();
      }
      return PreviousOnly();
    case WM_MOUSELEAVE:
      SetBit(styled, kStateHot, false);
      return PreviousThenPaint();
    default:
      return PreviousOnly();
  }
}

Actions ButtonActions(StyledWindow& styled, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_SETTEXT:
    case WM_PAINT:
      return DefaultThenPaint();
    case WM_ERASEBKGND:
      return PreviousOnly();
    case BM_SETCHECK:
      SetBit(styled, kStateChecked, wParam == BST_CHECKED);
      SetBit(styled, kStateIndeterminate, wParam == BST_INDETERMINATE);
      return PreviousThenPaint();
    case BM_SETSTATE:
      SetBit(styled, kStatePressed, wParam != FALSE);
      return PreviousThenPaint();
    case BM_SETSTYLE:
      SetBit(styled, kStateDefault, (wParam & 1) != 0);
      return PreviousThenPaint();
    case WM_UPDATEUISTATE:
      return PreviousThenPaint();  // the button redraws its focus cue itself
    default:
      return CommonStateUpdate(styled, message, wParam);
  }
}

Actions EditActions(StyledWindow& styled, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_HSCROLL:
    case WM_VSCROLL:
      return PreviousThenPaint();
    case WM_NCMOUSEMOVE:
      if (styled.state & kStateHot) break;
      {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, styled.window, 0};
        TrackMouseEvent(&track);
      }
      SetBit(styled, kStateHot, true);
      return DefaultThenPaint();
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE:
      if (!(styled.state & kStateHot)) break;
      SetBit(styled, kStateHot, false);
      return DefaultThenPaint();
    default:
      break;
  }
  return CommonStateUpdate(styled, message, wParam);
}

Actions ComboActions(StyledWindow& styled, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_PAINT:
    case WM_NCPAINT:
      return PreviousThenPaint();
    case WM_LBUTTONDOWN:
      SetBit(styled, kStatePressed, true);
      return PreviousThenPaint();
    case WM_LBUTTONUP:
      SetBit(styled, kStatePressed, false);
      return PreviousThenPaint();
    // The combo box repaints its field at once on these, bypassing WM_PAINT.
    case CB_SETCURSEL:
    case CB_SELECTSTRING:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_MOUSEWHEEL:
    case WM_COMMAND:
    case WM_CAPTURECHANGED:
      return PreviousThenPaint();
    default:
      return CommonStateUpdate(styled, message, wParam);
  }
}

Actions UpDownActions(StyledWindow& styled, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
    case WM_NCPAINT:
      return DefaultThenPaint();
    case WM_ERASEBKGND: {
      Actions actions;
      actions.hasFixedResult = true;
      actions.fixedResult = 1;
      return actions;
    }
    case WM_MOUSEMOVE: {
      RECT client;
      GetClientRect(styled.window, &client);
      const int x = static_cast<short>(LOWORD(lParam));
      const int y = static_cast<short>(HIWORD(lParam));
      const int half = styled.horizontal ? (x >= (client.left + client.right) / 2 ? 1 : 0)
                                         : (y >= (client.top + client.bottom) / 2 ? 1 : 0);
      const bool changed = half != styled.hotHalf;
      styled.hotHalf = half;
      Actions actions = CommonStateUpdate(styled, message, wParam);
      actions.paint = actions.paint || changed;
      return actions;
    }
    case WM_MOUSELEAVE:
      styled.hotHalf = -1;
      return CommonStateUpdate(styled, message, wParam);
    case WM_LBUTTONUP:
      SetBit(styled, kStatePressed, false);
      return PreviousThenPaint();
    default:
      return CommonStateUpdate(styled, message, wParam);
  }
}

Actions GroupBoxActions(StyledWindow& styled, UINT message, WPARAM wParam) {
  if (message == WM_PAINT || message == WM_NCPAINT) return DefaultThenPaint();
  return CommonStateUpdate(styled, message, wParam);
}

Actions DropDownListActions(StyledWindow& styled, UINT message, WPARAM wParam) {
  if (message == WM_NCPAINT) return PreviousThenPaint();  // its frame
  return CommonStateUpdate(styled, message, wParam);
}

Actions ActionsFor(StyledWindow& styled, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (styled.kind) {
    case StyleKind::kPushButton:
    case StyleKind::kCheckBox:
    case StyleKind::kRadioButton:
      return ButtonActions(styled, message, wParam);
    case StyleKind::kEdit:
      return EditActions(styled, message, wParam);
    case StyleKind::kComboBox:
      return ComboActions(styled, message, wParam);
    case StyleKind::kUpDown:
      return UpDownActions(styled, message, wParam, lParam);
    case StyleKind::kGroupBox:
      return GroupBoxActions(styled, message, wParam);
    case StyleKind::kDropDownList:
      return DropDownListActions(styled, message, wParam);
    default:
      return PreviousOnly();
  }
}

LRESULT CALLBACK StyledProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  StyledWindow* styled = FindStyled(window);
  if (styled == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  const WNDPROC previous = styled->previousProc;

  if (styled->passThrough) {
    if (message == WM_NCDESTROY) State().styled.erase(window);
    return CallWindowProcW(previous, window, message, wParam, lParam);
  }
  if (message == WM_DESTROY) {
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    Unsubclass(window, false);
    return result;
  }
  if (styled->kind == StyleKind::kEdit && message == EM_SETREADONLY) {
    return CallWindowProcW(previous, window, message, wParam, lParam);
  }
  if (styled->kind == StyleKind::kUpDown && message == WM_LBUTTONDOWN) {
    SetBit(*styled, kStatePressed, true);
    return CallWindowProcW(previous, window, message, wParam, lParam);
  }
  if (message == WM_ERASEBKGND) ReadParentColours(*styled, reinterpret_cast<HDC>(wParam));

  const Actions actions = ActionsFor(*styled, message, wParam, lParam);
  LRESULT result = 0;
  if (actions.previous) result = CallWindowProcW(previous, window, message, wParam, lParam);
  if (actions.defaultProc) result = DefWindowProcW(window, message, wParam, lParam);
  if (actions.paint) {
    // The calls above may have run code that unstyled or destroyed the window.
    const StyledWindow* still = FindStyled(window);
    if (still != nullptr && !still->passThrough) PaintStyledWindow(*still, State().option);
  }
  return actions.hasFixedResult ? actions.fixedResult : result;
}

// --- Switching ------------------------------------------------------------------

void SwitchOn() {
  VisualStyleState& state = State();
  const DWORD thread = GetCurrentThreadId();
  // The hook first, so that it is in place when subclassing redraws.
  state.hook = SetWindowsHookExW(WH_CALLWNDPROC, CreationHook, nullptr, thread);
  EnumThreadWindows(thread, SubclassTopLevel, 0);
}

bool SwitchOff() {
  VisualStyleState& state = State();
  std::vector<HWND> windows;
  for (const auto& entry : state.styled) {
    if (!entry.second->passThrough) windows.push_back(entry.first);
  }
  for (const HWND window : windows) {
    if (IsWindow(window)) {
      Unsubclass(window, true);
    } else {
      state.styled.erase(window);  // gone without its WM_DESTROY reaching us
    }
  }
  if (state.hook == nullptr) return false;
  const BOOL unhooked = UnhookWindowsHookEx(state.hook);
  state.hook = nullptr;
  return unhooked != FALSE;
}

}  // namespace

std::optional<StyleKind> StyleKindOf(HWND window) {
  if (window == nullptr || !IsWindow(window)) return std::nullopt;
  const std::wstring name = ClassNameOf(window);
  std::optional<StyleKind> kind = KnownClassKind(name);
  if (!kind) return std::nullopt;
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  switch (*kind) {
    case StyleKind::kPushButton:
      kind = ButtonKind(window, style);
      break;
    case StyleKind::kEdit: {
      const HWND parent = GetParent(window);
      if (parent != nullptr && SameClass(ClassNameOf(parent), L"SysIPAddress32"))
        return std::nullopt;
      break;
    }
    case StyleKind::kComboBox:
      if ((style & 3) == CBS_SIMPLE) return std::nullopt;
      break;
    case StyleKind::kDropDownList: {
      // A simple combo box shows its list for good, as a child; that list is
      // no drop-down and stays as its unstyled combo box draws it.
      const HWND parent = GetParent(window);
      if ((style & WS_CHILD) && parent != nullptr && SameClass(ClassNameOf(parent), L"ComboBox") &&
          (GetWindowLongW(parent, GWL_STYLE) & 3) == CBS_SIMPLE) {
        return std::nullopt;
      }
      break;
    }
    default:
      break;
  }
  if (!kind || !IsStyledKind(*kind)) return std::nullopt;
  return kind;
}

bool SetVisualStyle(int option) {
  State().option = option;
  bool result = SwitchOff();
  if (option >= 1 && option <= 3) {
    SwitchOn();
    result = State().hook != nullptr;
  }
  return result;
}

int CurrentVisualStyleOption() {
  return State().option;
}

std::optional<StyledWindowInfo> StyledWindowInfoOf(HWND window) {
  const StyledWindow* styled = FindStyled(window);
  if (styled == nullptr || styled->passThrough) return std::nullopt;
  return StyledWindowInfo{styled->kind, styled->state, styled->previousProc};
}

int StyledWindowCount() {
  int count = 0;
  for (const auto& entry : State().styled) {
    if (!entry.second->passThrough) ++count;
  }
  return count;
}

bool IsVisualStyleHookInstalled() {
  return State().hook != nullptr;
}

void CmdSetVisualStyle(ArgRecord* result, int argCount, const ArgRecord* args) {
  const bool switched = SetVisualStyle(IntegerOfRecord(ArgAt(argCount, args, 0)));
  if (result != nullptr) *result = MakeBoolean(switched);
}
