// The drop object's OLE drop target.

#include "gui/drop_target_win.h"

#include <shellapi.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/global_memory_win.h"
#include "base/runtime_memory.h"
#include "base/wide_text_win.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_units_win.h"
#include "gui/gui_thread_call_win.h"
#include "gui/property_service_win.h"

namespace {

constexpr wchar_t kUrlFormatName[] = L"UniformResourceLocator";
constexpr wchar_t kWideUrlFormatName[] = L"UniformResourceLocatorW";
constexpr wchar_t kHtmlFormatName[] = L"HTML Format";
constexpr wchar_t kWatcherClass[] = L"_QX_DropObject";

FORMATETC GlobalFormat(CLIPFORMAT format) {
  return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

POINT PointOf(POINTL point) {
  return POINT{point.x, point.y};
}

// The bytes of a text held in global memory, up to its terminator or the end
// of the block: a block without terminator must not be read past its end.
bool FetchTextBytes(IDataObject* data, CLIPFORMAT format, std::string* text) {
  FORMATETC request = GlobalFormat(format);
  StorageMedium medium;
  if (data->GetData(&request, medium.Receive()) != S_OK) return false;
  GlobalLockView view(medium.Global());
  if (view.Data() == nullptr) return false;
  const char* bytes = static_cast<const char*>(view.Data());
  const void* end = std::memchr(bytes, 0, view.Size());
  const size_t length = end != nullptr ? static_cast<const char*>(end) - bytes : view.Size();
  text->assign(bytes, length);
  return true;
}

// A UTF-16 text held in global memory, as UTF-8: up to its terminator or
// the end of the block, like FetchTextBytes.
bool FetchWideText(IDataObject* data, CLIPFORMAT format, std::string* text) {
  FORMATETC request = GlobalFormat(format);
  StorageMedium medium;
  if (data->GetData(&request, medium.Receive()) != S_OK) return false;
  GlobalLockView view(medium.Global());
  if (view.Data() == nullptr) return false;
  const auto* units = static_cast<const wchar_t*>(view.Data());
  const size_t capacity = view.Size() / sizeof(wchar_t);
  size_t length = 0;
  while (length < capacity && units[length] != L'\0') ++length;
  *text = Utf8FromWide(std::wstring_view(units, length));
  return true;
}

// The HTML as it came (the format is UTF-8), with every no-break space made
// a plain space, as the HTML event has always delivered it.
std::string HtmlEventText(const std::string& utf8) {
  std::wstring wide = WideFromUtf8(utf8);
  for (wchar_t& c : wide) {
    if (c == 0x00A0) c = L' ';
  }
  return Utf8FromWide(wide);
}

}  // namespace

// --- Effect -----------------------------------------------------------------

DWORD ChooseDropEffect(bool dropAllowed, DWORD keyState, DWORD allowedEffects) {
  if (!dropAllowed) return DROPEFFECT_NONE;
  const bool control = (keyState & MK_CONTROL) != 0;
  const bool shift = (keyState & MK_SHIFT) != 0;
  if (control && shift) return DROPEFFECT_NONE;  // a link is never made here
  if (control) return (allowedEffects & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  if (shift) return (allowedEffects & DROPEFFECT_MOVE) ? DROPEFFECT_MOVE : DROPEFFECT_NONE;
  if (allowedEffects & DROPEFFECT_COPY) return DROPEFFECT_COPY;
  if (allowedEffects & DROPEFFECT_MOVE) return DROPEFFECT_MOVE;
  if (allowedEffects & DROPEFFECT_LINK) return DROPEFFECT_LINK;
  return DROPEFFECT_NONE;
}

// --- QDropTarget --------------------------------------------------------------

ComPtr<QDropTarget> QDropTarget::Create(DropTargetLinks links) {
  return ComPtr<QDropTarget>::Adopt(new QDropTarget(std::move(links)));
}

QDropTarget::QDropTarget(DropTargetLinks links)
    : urlFormat_(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(kUrlFormatName))),
      wideUrlFormat_(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(kWideUrlFormatName))),
      htmlFormat_(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(kHtmlFormatName))),
      links_(std::move(links)) {
  // The helper draws the drag image over the window; drops work without it.
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IDropTargetHelper, helper_.ReceiveVoid()))) {
    helper_.Reset();
  }
}

bool QDropTarget::Register(HWND window) {
  if (windowRemembered_) return false;
  windowRemembered_ = true;
  window_ = window;
  return RegisterDragDrop(window, this) == S_OK;
}

HRESULT QDropTarget::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG QDropTarget::AddRef() {
  return ++references_;
}

ULONG QDropTarget::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

bool QDropTarget::Accepts(DropFormat format) const {
  return links_.accepts && links_.accepts(format);
}

bool QDropTarget::Offers(IDataObject* data, CLIPFORMAT format) const {
  FORMATETC request = GlobalFormat(format);
  return data->QueryGetData(&request) == S_OK;
}

HRESULT QDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  POINT where = PointOf(point);
  if (helper_) helper_->DragEnter(window_, data, &where, *effect);
  // The first accepted format the data offers decides, in this order.
  dropAllowed_ = false;
  if (data != nullptr) {
    dropAllowed_ =
        (Accepts(DropFormat::kText) && (Offers(data, CF_UNICODETEXT) || Offers(data, CF_TEXT))) ||
        (Accepts(DropFormat::kFiles) && Offers(data, CF_HDROP)) ||
        (Accepts(DropFormat::kUrl) && (Offers(data, wideUrlFormat_) || Offers(data, urlFormat_))) ||
        (Accepts(DropFormat::kHtml) && Offers(data, htmlFormat_));
  }
  *effect = ChooseDropEffect(dropAllowed_, keyState, *effect);
  return S_OK;
}

HRESULT QDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  POINT where = PointOf(point);
  if (helper_) helper_->DragOver(&where, *effect);
  *effect = ChooseDropEffect(dropAllowed_, keyState, *effect);
  return S_OK;
}

HRESULT QDropTarget::DragLeave() {
  if (helper_) helper_->DragLeave();
  dropAllowed_ = false;
  return S_OK;
}

HRESULT QDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  DWORD allowedEffects = effect != nullptr ? *effect : DROPEFFECT_NONE;
  POINT where = PointOf(point);
  if (helper_) helper_->Drop(data, &where, allowedEffects);
  const DWORD chosen = ChooseDropEffect(dropAllowed_, keyState, allowedEffects);
  if (effect != nullptr) *effect = chosen;
  if (chosen == DROPEFFECT_NONE || data == nullptr) return E_FAIL;

  const ComPtr<QDropTarget> keepAlive = ComPtr<QDropTarget>::Share(this);
  // Each delivery may run a handler that pumps messages; the data object
  // stays referenced by OLE until Drop returns.
  if (Accepts(DropFormat::kText)) DeliverText(data);
  if (Accepts(DropFormat::kHtml)) DeliverHtml(data);
  if (Accepts(DropFormat::kUrl)) DeliverUrl(data);
  if (Accepts(DropFormat::kFiles)) DeliverFiles(data);
  return E_FAIL;
}

void QDropTarget::DeliverText(IDataObject* data) {
  // Data that also comes as HTML is left to the HTML event.
  if (Offers(data, htmlFormat_)) return;
  // The UTF-16 text when offered, else the ANSI one read in the ANSI code
  // page it was written in.
  std::string text;
  if (FetchWideText(data, CF_UNICODETEXT, &text)) {
    links_.deliver(DropFormat::kText, text.c_str());
  } else if (FetchTextBytes(data, CF_TEXT, &text)) {
    links_.deliver(DropFormat::kText, Utf8FromAnsiCodePage(text).c_str());
  }
}

void QDropTarget::DeliverHtml(IDataObject* data) {
  std::string utf8;
  if (!FetchTextBytes(data, htmlFormat_, &utf8)) return;
  links_.deliver(DropFormat::kHtml, HtmlEventText(utf8).c_str());
}

void QDropTarget::DeliverUrl(IDataObject* data) {
  // As the text: the UTF-16 address when offered, else the ANSI one.
  std::string url;
  if (FetchWideText(data, wideUrlFormat_, &url)) {
    links_.deliver(DropFormat::kUrl, url.c_str());
  } else if (FetchTextBytes(data, urlFormat_, &url)) {
    links_.deliver(DropFormat::kUrl, Utf8FromAnsiCodePage(url).c_str());
  }
}

void QDropTarget::DeliverFiles(IDataObject* data) {
  FORMATETC request = GlobalFormat(CF_HDROP);
  StorageMedium medium;
  if (data->GetData(&request, medium.Receive()) != S_OK) return;
  const HDROP drop = static_cast<HDROP>(medium.Global());
  if (drop == nullptr) return;

  // One path alone; several, each followed by CR LF, in the shell's order.
  // The wide query reads wide and ANSI blocks alike.
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::string text;
  std::vector<wchar_t> path;
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    path.assign(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
    text += Utf8FromWide(std::wstring_view(path.data(), copied < length ? copied : length));
    if (count > 1) text += "\r\n";
  }
  links_.deliver(DropFormat::kFiles, text.c_str());
}

// --- DropObject ---------------------------------------------------------------

DropObject::DropObject(DropTargetLinks links) : target_(QDropTarget::Create(std::move(links))) {}

DropObject::~DropObject() {
  watcher_.Reset();  // its WM_DESTROY revokes the registration
}

bool DropObject::RegisterFileDrop(HWND window) {
  if (!target_->Register(window)) return false;

  static const ATOM watcherClass = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WatcherProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWatcherClass;
    return RegisterClassExW(&windowClass);
  }();
  (void)watcherClass;
  // A hidden child goes with its parent; its WM_DESTROY comes while the
  // parent still exists, in time to revoke the parent's registration.
  watcher_.Reset(CreateWindowExW(0, kWatcherClass, L"", WS_CHILD, 0, 0, 0, 0, window, nullptr,
                                 GetModuleHandleA(nullptr), nullptr));
  if (watcher_) {
    SetWindowLongPtrW(watcher_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  return true;
}

LRESULT CALLBACK DropObject::WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    auto* self = reinterpret_cast<DropObject*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      RevokeDragDrop(self->target_->RegisteredWindow());
      self->watcher_.Release();  // being destroyed already
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// --- The form's drop objects --------------------------------------------------

namespace {

struct FormDropObjects {
  // Keyed by (window id, control id); GUI thread only. Never destroyed: the
  // program ends through ExitProcess.
  std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<DropObject>> objects;
};

FormDropObjects& TheFormDropObjects() {
  static FormDropObjects* const objects = new FormDropObjects;
  return *objects;
}

DropObject* FormDropObject(ControlRef ref) {
  LiveUnit& unit = UnitForAccess(ref);
  if (unit.kind != UnitKind::kDropObject) return nullptr;
  auto& slot = TheFormDropObjects().objects[{ref.windowId, ref.controlId}];
  if (!slot) {
    DropTargetLinks links;
    links.accepts = [ref](DropFormat format) {
      return PropertyService::Read(ref, kFirstOwnProperty + static_cast<int>(format)) != 0;
    };
    links.deliver = [ref](DropFormat format, const char* text) {
      // The handler gets a runtime text of its own, freed once it returns.
      RuntimeBlock copy(RuntimeTextCopy(text));
      RaiseEvent(ref, static_cast<int>(format), static_cast<const char*>(copy.Get()));
    };
    slot = std::make_unique<DropObject>(std::move(links));
  }
  return slot.get();
}

}  // namespace

bool RegisterFileDrop(ControlRef dropObject, HWND window) {
  bool registered = false;
  RunOnGuiThread([&] {
    DropObject* object = FormDropObject(dropObject);
    registered = object != nullptr && object->RegisterFileDrop(window);
  });
  return registered;
}

QDropTarget* DropTargetOf(ControlRef dropObject) {
  DropObject* object = FormDropObject(dropObject);
  return object != nullptr ? object->Target() : nullptr;
}

void CmdRegisterFileDrop(ArgRecord* result, int argCount, const ArgRecord* args) {
  const ArgRecord reference = ArgAt(argCount, args, 0);
  const HWND window =
      reinterpret_cast<HWND>(static_cast<uintptr_t>(LowWord(ArgAt(argCount, args, 1))));
  const bool registered =
      RegisterFileDrop(ControlRef{LowWord(reference), HighWord(reference)}, window);
  if (result != nullptr) *result = MakeBoolean(registered);
}
