// Loading a window from its form: the native window, its controls, the
// runtime's label and common-dialog classes, and the notifications that
// become events.

#include "gui/form_window_win.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "base/error_report.h"
#include "base/wide_text_win.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_units_win.h"
#include "gui/gui_thread_call_win.h"
#include "gui/message_commands_win.h"
#include "gui/runtime_win.h"

namespace {

// --- Loaded windows ---------------------------------------------------------

struct WindowRegistry {
  std::mutex lock;
  std::vector<LoadedWindow*> windows;  // never freed: units outlive every caller
};

WindowRegistry& Registry() {
  static WindowRegistry* const registry = new WindowRegistry;
  return *registry;
}

void PublishWindow(LoadedWindow* window) {
  std::lock_guard<std::mutex> guard(Registry().lock);
  Registry().windows.push_back(window);
}

// --- Native classes ---------------------------------------------------------

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Extra bytes of a label window: its font.
constexpr int kLabelFontOffset = 0;

void RegisterRuntimeClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.style = CS_DBLCLKS;
  form.lpfnWndProc = FormWindowProc;
  form.hInstance = instance;
  form.hCursor = LoadCursor(nullptr, IDC_ARROW);
  form.lpszClassName = kFormWindowClass;
  RegisterClassExW(&form);

  WNDCLASSEXW label{};
  label.cbSize = sizeof label;
  label.lpfnWndProc = LabelProc;
  label.cbWndExtra = sizeof(LONG_PTR);
  label.hInstance = instance;
  label.hCursor = LoadCursor(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  RegisterClassExW(&label);

  // The common dialog's host never shows; it only gives the unit a window.
  WNDCLASSEXW dialogHost{};
  dialogHost.cbSize = sizeof dialogHost;
  dialogHost.lpfnWndProc = DefWindowProcW;
  dialogHost.hInstance = instance;
  dialogHost.lpszClassName = kCommonDialogClass;
  RegisterClassExW(&dialogHost);
}

HFONT DefaultFont() {
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// --- The runtime's label ----------------------------------------------------

void PaintLabel(HWND label, HDC dc) {
  RECT client;
  GetClientRect(label, &client);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  // The parent chooses the background (its own, so the label looks
  // transparent) and may change the text colour.
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(label), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(label)));
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));

  const auto font = reinterpret_cast<HFONT>(GetWindowLongPtrW(label, kLabelFontOffset));
  const HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const std::wstring text = WideWindowText(label);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      PaintLabel(window, BeginPaint(window, &paint));
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintLabel(window, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted with the text
    case WM_SETFONT:
      SetWindowLongPtrW(window, kLabelFontOffset, static_cast<LONG_PTR>(wParam));
      if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrW(window, kLabelFontOffset);
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_LBUTTONUP:
      // Reported like a notifying static control; the form turns it into
      // the label's click event.
      SendMessageW(GetParent(window), WM_COMMAND,
                   MAKEWPARAM(GetDlgCtrlID(window) & 0xFFFF, STN_CLICKED),
                   reinterpret_cast<LPARAM>(window));
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// --- The form window --------------------------------------------------------

LiveUnit* FormUnitOf(HWND window) {
  return reinterpret_cast<LiveUnit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The combo box unit whose selection field or drop-down list this is.
LiveUnit* ComboUnitOfPart(LoadedWindow& loaded, HWND part) {
  for (const auto& unit : loaded.units) {
    if (unit->kind != UnitKind::kComboBox) continue;
    const HWND combo = unit->native.load();
    if (combo == nullptr) continue;
    if (combo == part) return unit.get();
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(combo, &info) && (info.hwndList == part || info.hwndItem == part)) {
      return unit.get();
    }
  }
  return nullptr;
}

void OnCommand(LiveUnit& formUnit, WPARAM wParam, LPARAM lParam) {
  const HWND control = reinterpret_cast<HWND>(lParam);
  if (control == nullptr) return;  // a menu or an accelerator
  LiveUnit* unit = UnitOfNativeWindow(control);
  if (unit == nullptr || &unit->window != &formUnit.window) return;
  const ControlRef source{unit->window.Id(), unit->form.controlId};
  const WORD code = HIWORD(wParam);
  switch (unit->kind) {
    case UnitKind::kButton:
    case UnitKind::kCheckbox:
      // An automatic checkbox has flipped its state before this arrives.
      if (code == BN_CLICKED) RaiseEvent(source, kEventClicked);
      break;
    case UnitKind::kLabel:
      if (code == STN_CLICKED) RaiseEvent(source, kEventClicked);
      break;
    case UnitKind::kComboBox:
      if (code == CBN_SELCHANGE) {
        unit->comboText = NativeWindowText(control);
        RaiseEvent(source, kEventSelectionChanged);
      }
      break;
    default:
      break;
  }
}

LRESULT OnControlColour(LiveUnit& formUnit, UINT message, HDC dc, HWND control) {
  LiveUnit* unit = UnitOfNativeWindow(control);
  if (unit == nullptr && (message == WM_CTLCOLORLISTBOX || message == WM_CTLCOLOREDIT)) {
    unit = ComboUnitOfPart(formUnit.window, control);
  }
  if (unit == nullptr) return 0;
  switch (unit->kind) {
    case UnitKind::kLabel:
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(BackgroundBrushOf(formUnit));
    case UnitKind::kCheckbox:
    case UnitKind::kComboBox:
      SetBkColor(dc, ResolvedColour(unit->backgroundColour));
      return reinterpret_cast<LRESULT>(BackgroundBrushOf(*unit));
    default:
      return 0;
  }
}

// The window is gone: its units keep their stored values, and the last text
// of each combo box, for late readers.
void OnFormDestroyed(LiveUnit& formUnit) {
  for (const auto& unit : formUnit.window.units) {
    if (unit->kind == UnitKind::kComboBox) {
      const HWND combo = unit->native.load();
      if (combo != nullptr) unit->comboText = NativeWindowText(combo);
    }
    unit->closed = true;
  }
  UnregisterProgramWindow(formUnit.native.load());
}

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  LiveUnit* formUnit = FormUnitOf(window);
  if (formUnit == nullptr) return DefWindowProcW(window, message, wParam, lParam);

  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, BackgroundBrushOf(*formUnit));
      return 1;
    }
    case WM_SETFONT:
      formUnit->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(formUnit->font);
    case WM_COMMAND:
      OnCommand(*formUnit, wParam, lParam);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT: {
      const LRESULT brush = OnControlColour(*formUnit, message, reinterpret_cast<HDC>(wParam),
                                            reinterpret_cast<HWND>(lParam));
      if (brush != 0) return brush;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_DESTROY:
      OnFormDestroyed(*formUnit);
      return 0;
    case WM_NCDESTROY:
      for (const auto& unit : formUnit->window.units) unit->native = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      formUnit->bigIcon.Reset();
      formUnit->smallIcon.Reset();
      return DefWindowProcW(window, message, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// --- Creation ---------------------------------------------------------------

DWORD FormWindowStyle(const UnitSettings& settings) {
  DWORD style = WS_CLIPCHILDREN;
  if (settings.borderStyle == 0) return style | WS_POPUP;
  style |= WS_CAPTION;
  if (settings.borderStyle == 1 || settings.borderStyle == 3 || settings.borderStyle == 5) {
    style |= WS_THICKFRAME;
  }
  if (settings.controlBox) style |= WS_SYSMENU;
  if (settings.minimiseButton) style |= WS_MINIMIZEBOX;
  if (settings.maximiseButton) style |= WS_MAXIMIZEBOX;
  return style;
}

DWORD FormWindowExStyle(const UnitSettings& settings) {
  DWORD exStyle = 0;
  if (settings.borderStyle == 3 || settings.borderStyle == 4) exStyle |= WS_EX_TOOLWINDOW;
  if (settings.borderStyle == 5 || settings.borderStyle == 6) exStyle |= WS_EX_CLIENTEDGE;
  return exStyle;
}

HICON LoadFormIcon(int resourceId, int sizeMetric) {
  if (resourceId == 0) return nullptr;
  const int size = GetSystemMetrics(sizeMetric);
  return static_cast<HICON>(LoadImageW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(resourceId),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

[[noreturn]] void StartWindowFailed() {
  ReportFatal("载入启动窗口失败", 0);
}

HWND CreateFormWindow(LiveUnit& unit) {
  const UnitTemplate& form = unit.form;
  const UnitSettings& settings = form.settings;
  // Without a task-bar button the runtime's hidden owner owns the window.
  const HWND owner = settings.shownInTaskBar ? nullptr : HiddenOwnerWindow();
  const std::wstring caption = WideFromUtf8(settings.caption);
  const HWND window =
      CreateWindowExW(FormWindowExStyle(settings), kFormWindowClass, caption.c_str(),
                      FormWindowStyle(settings), form.left, form.top, form.width, form.height,
                      owner, nullptr, GetModuleHandleA(nullptr), &unit);
  if (window == nullptr) StartWindowFailed();
  unit.native = window;
  unit.created = true;
  RegisterProgramWindow(window);

  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);
  unit.bigIcon.Reset(LoadFormIcon(settings.iconResourceId, SM_CXICON));
  unit.smallIcon.Reset(LoadFormIcon(settings.iconResourceId, SM_CXSMICON));
  if (unit.bigIcon) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(unit.bigIcon.Get()));
  }
  if (unit.smallIcon) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(unit.smallIcon.Get()));
  }
  if (!settings.movable) {
    const HMENU systemMenu = GetSystemMenu(window, FALSE);
    if (systemMenu != nullptr) DeleteMenu(systemMenu, SC_MOVE, MF_BYCOMMAND);
  }
  return window;
}

// A drop-down list's height is that of its selection field, which follows
// the item height; set it so the field has the stored height. The requested
// value is corrected from the measured height rather than read back, as
// Wine's CB_GETITEMHEIGHT answers more than was set.
void FitComboHeight(HWND combo, int height) {
  LRESULT requested = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (requested == CB_ERR) return;
  for (int attempt = 0; attempt < 4; ++attempt) {
    RECT bounds;
    GetWindowRect(combo, &bounds);
    const int difference = height - (bounds.bottom - bounds.top);
    if (difference == 0 || requested + difference < 1) return;
    requested += difference;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), requested);
  }
}

// Room below the selection field for the drop-down list.
constexpr int kComboListHeight = 120;

void CreateControl(LiveUnit& unit, HWND parent) {
  const UnitTemplate& form = unit.form;
  const UnitSettings& settings = form.settings;
  if (unit.kind == UnitKind::kDropObject) {
    unit.created = true;  // a runtime object without a native window
    return;
  }

  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (form.flags & kUnitDisabled) style |= WS_DISABLED;
  if (form.flags & kUnitTakesFocus) style |= WS_TABSTOP;
  DWORD exStyle = 0;
  const wchar_t* className = nullptr;
  std::wstring caption = WideFromUtf8(settings.caption);
  int height = form.height;
  switch (unit.kind) {
    case UnitKind::kLabel:
      className = kLabelClass;
      break;
    case UnitKind::kButton:
      className = L"BUTTON";
      style |= BS_PUSHBUTTON;
      break;
    case UnitKind::kCheckbox:
      className = L"BUTTON";
      style |= BS_AUTOCHECKBOX | BS_MULTILINE | BS_LEFT | BS_VCENTER;
      break;
    case UnitKind::kComboBox:
      className = L"COMBOBOX";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL;
      caption.clear();
      height += kComboListHeight;
      break;
    case UnitKind::kProgressBar:
      className = PROGRESS_CLASSW;
      caption.clear();
      if (settings.progressBorderStyle == 1) exStyle |= WS_EX_CLIENTEDGE;
      if (settings.progressBorderStyle == 3) exStyle |= WS_EX_STATICEDGE;
      if (settings.progressBorderStyle == 5) style |= WS_BORDER;
      break;
    case UnitKind::kCommonDialog:
      className = kCommonDialogClass;
      caption.clear();
      break;
    default:
      StartWindowFailed();
  }

  const HWND control = CreateWindowExW(
      exStyle, className, caption.c_str(), style, form.left, form.top, form.width, height, parent,
      reinterpret_cast<HMENU>(static_cast<uintptr_t>(form.controlId)), GetModuleHandleA(nullptr),
      nullptr);
  if (control == nullptr) StartWindowFailed();
  unit.native = control;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);

  switch (unit.kind) {
    case UnitKind::kCheckbox:
      SendMessageW(control, BM_SETCHECK, settings.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case UnitKind::kComboBox:
      for (const std::string& item : settings.items) {
        const std::wstring wideItem = WideFromUtf8(item);
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wideItem.c_str()));
      }
      SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(settings.selectedIndex), 0);
      unit.comboText = NativeWindowText(control);
      FitComboHeight(control, form.height);
      break;
    case UnitKind::kProgressBar:
      SendProgressRangeOf(control, unit.progressMinimum, unit.progressMaximum);
      SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(unit.progressPosition), 0);
      break;
    default:
      break;
  }
  unit.created = true;
}

void PlaceAtStartPosition(HWND window, int startPosition) {
  if (startPosition != 1) return;
  RECT bounds;
  GetWindowRect(window, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND ResolveWindowRef(uint32_t windowId, uint32_t controlId) {
  const LiveUnit* unit = FindLiveUnit(ControlRef{windowId, controlId});
  return unit != nullptr ? unit->native.load() : nullptr;
}

}  // namespace

// --- Units ------------------------------------------------------------------

UnitKind KindOfUnitType(uint32_t unitType) {
  switch (unitType) {
    case kUnitTypeLabel:
      return UnitKind::kLabel;
    case kUnitTypeButton:
      return UnitKind::kButton;
    case kUnitTypeCheckbox:
      return UnitKind::kCheckbox;
    case kUnitTypeComboBox:
      return UnitKind::kComboBox;
    case kUnitTypeProgressBar:
      return UnitKind::kProgressBar;
    case kUnitTypeCommonDialog:
      return UnitKind::kCommonDialog;
    case kUnitTypeDropObject:
      return UnitKind::kDropObject;
    default:
      return UnitKind::kWindow;
  }
}

LiveUnit::LiveUnit(const UnitTemplate& unitForm, LoadedWindow& owner)
    : form(unitForm),
      window(owner),
      kind(KindOfUnitType(unitForm.unitType)),
      left(unitForm.left),
      top(unitForm.top),
      width(unitForm.width),
      height(unitForm.height),
      tag(unitForm.tag),
      flags(unitForm.flags),
      backgroundColour(unitForm.settings.backgroundColour),
      alwaysOnTop(unitForm.settings.alwaysOnTop),
      shownInTaskBar(unitForm.settings.shownInTaskBar),
      checked(unitForm.settings.checked ? 1 : 0),
      progressMinimum(unitForm.settings.progressMinimum),
      progressMaximum(unitForm.settings.progressMaximum),
      progressPosition(unitForm.settings.progressPosition),
      fileName(unitForm.settings.dialogFileName),
      acceptFiles(unitForm.settings.acceptFiles) {}

LoadedWindow::LoadedWindow(const FormTemplate& windowForm, const EventBindings& bindings)
    : form(windowForm) {
  for (const UnitTemplate& unitForm : windowForm.units) {
    auto unit = std::make_unique<LiveUnit>(unitForm, *this);
    for (const EventBinding& binding : bindings) {
      if (binding.source == ControlRef{windowForm.windowId, unitForm.controlId}) {
        unit->handlers.push_back(binding);
      }
    }
    units.push_back(std::move(unit));
  }
}

LiveUnit* LoadedWindow::FindUnit(uint32_t controlId) const {
  for (const auto& unit : units) {
    if (unit->form.controlId == controlId) return unit.get();
  }
  return nullptr;
}

LoadedWindow* FindLoadedWindow(uint32_t windowId) {
  std::lock_guard<std::mutex> guard(Registry().lock);
  for (LoadedWindow* window : Registry().windows) {
    if (window->Id() == windowId) return window;
  }
  return nullptr;
}

LiveUnit* FindLiveUnit(ControlRef ref) {
  const LoadedWindow* window = FindLoadedWindow(ref.windowId);
  return window != nullptr ? window->FindUnit(ref.controlId) : nullptr;
}

LiveUnit& UnitForAccess(ControlRef ref) {
  const LoadedWindow* window = FindLoadedWindow(ref.windowId);
  if (window == nullptr) ReportFatal("未载入欲访问窗口组件所在的窗口", 0);
  LiveUnit* unit = window->FindUnit(ref.controlId);
  if (unit == nullptr) ReportFatal("指定窗口尚未载入", 0);
  return *unit;
}

std::vector<LoadedWindow*> LoadedWindows() {
  std::lock_guard<std::mutex> guard(Registry().lock);
  return Registry().windows;
}

LiveUnit* UnitOfNativeWindow(HWND window) {
  if (window == nullptr) return nullptr;
  for (LoadedWindow* loaded : LoadedWindows()) {
    for (const auto& unit : loaded->units) {
      if (unit->native.load() == window) return unit.get();
    }
  }
  return nullptr;
}

std::wstring WideWindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = GetWindowTextW(window, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

std::string NativeWindowText(HWND window) {
  return Utf8FromWide(WideWindowText(window));
}

void SendProgressRangeOf(HWND bar, int minimum, int maximum) {
  SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(std::min(minimum, maximum)),
               static_cast<LPARAM>(std::max(minimum, maximum)));
}

COLORREF ResolvedColour(uint32_t colour) {
  return colour == kDefaultColour ? GetSysColor(COLOR_BTNFACE) : static_cast<COLORREF>(colour);
}

HBRUSH BackgroundBrushOf(LiveUnit& unit) {
  if (unit.backgroundColour == kDefaultColour) return GetSysColorBrush(COLOR_BTNFACE);
  if (!unit.backgroundBrush) {
    unit.backgroundBrush.Reset(CreateSolidBrush(static_cast<COLORREF>(unit.backgroundColour)));
  }
  return static_cast<HBRUSH>(unit.backgroundBrush.Get());
}

void ApplyAlwaysOnTop(LiveUnit& windowUnit, int32_t value) {
  constexpr UINT kKeepPlace = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
  windowUnit.alwaysOnTop = value != 0;
  const HWND window = windowUnit.native.load();
  if (window != nullptr) {
    SetWindowPos(window, value == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
  }
  if (value != 0) return;
  // Windows owned by the hidden owner can lose their place on top with this
  // one; those that keep their own always-on-top value get it back.
  for (LoadedWindow* other : LoadedWindows()) {
    LiveUnit& otherUnit = other->WindowUnit();
    if (&otherUnit == &windowUnit) continue;
    const HWND otherWindow = otherUnit.native.load();
    if (otherWindow != nullptr && otherUnit.alwaysOnTop && !otherUnit.shownInTaskBar) {
      SetWindowPos(otherWindow, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
    }
  }
}

// --- Loading ----------------------------------------------------------------

void LoadFormWindow(const FormTemplate& form, const EventBindings& bindings) {
  if (!IsFormTemplateUsable(form, bindings)) ReportFatal("载入窗口模板数据段出错!", 0);
  if (FindLoadedWindow(form.windowId) != nullptr) return;

  RegisterRuntimeClasses();
  CreateGuiCallWindow();
  SetWindowRefResolver(ResolveWindowRef);

  auto* loaded = new LoadedWindow(form, bindings);  // kept until the process exits
  PublishWindow(loaded);

  LiveUnit& windowUnit = loaded->WindowUnit();
  const HWND window = CreateFormWindow(windowUnit);
  for (size_t i = 1; i < loaded->units.size(); ++i) CreateControl(*loaded->units[i], window);

  PlaceAtStartPosition(window, form.units.front().settings.startPosition);
  if (windowUnit.alwaysOnTop) ApplyAlwaysOnTop(windowUnit, 1);

  for (size_t i = 1; i < loaded->units.size(); ++i) {
    const HWND control = loaded->units[i]->native.load();
    if (control == nullptr) continue;
    ShowWindow(control, (loaded->units[i]->flags & kUnitVisible) ? SW_SHOWNA : SW_HIDE);
  }

  // The created event and the two that follow it, each while the window
  // still exists; the window shows once its handler has returned.
  const ControlRef self{form.windowId, kWindowControlId};
  for (const int eventIndex : {kEventWindowCreated, 3, 4}) {
    if (!IsWindow(window)) return;
    RaiseEvent(self, eventIndex);
  }
  if (IsWindow(window) && (windowUnit.flags & kUnitVisible)) ShowWindow(window, SW_SHOW);
}

void LoadStartWindow(const FormList& forms, uint32_t windowId, const EventBindings& bindings) {
  for (const FormTemplate* form : forms) {
    if (form->windowId == windowId) {
      LoadFormWindow(*form, bindings);
      return;
    }
  }
  StartWindowFailed();
}

HWND GetWindowHandle(ControlRef ref) {
  return UnitForAccess(ref).native.load();
}
