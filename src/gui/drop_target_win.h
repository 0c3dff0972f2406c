#pragma once

// The drop object: an OLE drop target on a window that hands what is dropped
// (files, and on request plain text, HTML or URLs) to the drop object's
// events as one text.

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <functional>

#include "base/com_ptr_win.h"
#include "base/command_call.h"
#include "base/win_handles_win.h"
#include "gui/form_ids_win.h"

// What a drop can carry. The value is both the drop object's own property
// index of the matching "accept" flag and the index of the event it raises.
enum class DropFormat : int {
  kText = 0,   // CF_UNICODETEXT, else CF_TEXT
  kHtml = 1,   // registered format "HTML Format"
  kUrl = 2,    // registered format "UniformResourceLocatorW", else "UniformResourceLocator"
  kFiles = 3,  // CF_HDROP, wide or ANSI
};

// How a drop target reaches its drop object. Both are called on the thread
// that registered the target (the GUI thread), inside OLE's drag loop.
struct DropTargetLinks {
  // Whether drops of this format are accepted now; asked at every DragEnter
  // and Drop, so a flag changed between drags takes effect.
  std::function<bool(DropFormat)> accepts;
  // Raises the format's event with the dropped text in UTF-8 (never null).
  std::function<void(DropFormat, const char* text)> deliver;
};

// The effect a drop target reports for a drag, from whether it accepts the
// data, the keys held (MK_CONTROL, MK_SHIFT) and the effects the source
// allows: Control+Shift (link) is refused; Control copies, Shift moves, each
// only if allowed; with neither, copy, move, then link, whichever the source
// allows first.
DWORD ChooseDropEffect(bool dropAllowed, DWORD keyState, DWORD allowedEffects);

// The OLE drop target of a drop object. Created with one reference, which
// the creator owns. All calls come on the thread that registered it.
class QDropTarget final : public IDropTarget {
 public:
  static ComPtr<QDropTarget> Create(DropTargetLinks links);

  // Remembers window, then registers this target on it with RegisterDragDrop.
  // A target that has already remembered a window refuses (false) and does
  // nothing, also when that earlier registration failed. True exactly when
  // RegisterDragDrop answered S_OK.
  bool Register(HWND window);
  HWND RegisteredWindow() const { return window_; }

  bool HasDragImageHelper() const { return static_cast<bool>(helper_); }
  // Set by DragEnter when the data offers an accepted format; cleared by
  // DragLeave.
  bool DropAllowed() const { return dropAllowed_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  // Delivers what the data carries to each accepted format's event, then
  // answers E_FAIL in every case: the source must never take a drop here for
  // a completed move and delete its files.
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point,
                                 DWORD* effect) override;

 private:
  explicit QDropTarget(DropTargetLinks links);
  ~QDropTarget() = default;

  bool Accepts(DropFormat format) const;
  bool Offers(IDataObject* data, CLIPFORMAT format) const;
  void DeliverText(IDataObject* data);
  void DeliverHtml(IDataObject* data);
  void DeliverUrl(IDataObject* data);
  void DeliverFiles(IDataObject* data);

  std::atomic<ULONG> references_{1};
  ComPtr<IDropTargetHelper> helper_;  // null when the shell offers none
  CLIPFORMAT urlFormat_;
  CLIPFORMAT wideUrlFormat_;
  CLIPFORMAT htmlFormat_;
  DropTargetLinks links_;
  bool dropAllowed_ = false;
  HWND window_ = nullptr;
  bool windowRemembered_ = false;
};

// The runtime object of a drop object unit: its drop target and, once the
// target is registered on a window, a hidden child window of that window
// whose destruction (with its parent) revokes the registration.
class DropObject {
 public:
  explicit DropObject(DropTargetLinks links);
  ~DropObject();  // revokes a registration still in place
  DropObject(const DropObject&) = delete;
  DropObject& operator=(const DropObject&) = delete;

  // See QDropTarget::Register. On the thread that owns window.
  bool RegisterFileDrop(HWND window);

  QDropTarget* Target() const { return target_.Get(); }
  // True while the registration is in place (until the window is destroyed).
  bool IsRegistered() const { return watcher_.IsValid(); }

 private:
  static LRESULT CALLBACK WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  ComPtr<QDropTarget> target_;
  UniqueWindow watcher_;
};

// --- The form's drop objects ------------------------------------------------
// Each drop object unit of a loaded window gets its DropObject on first use;
// it lives until the program ends. Its accept flags are the unit's own
// properties 0 to 3 (property indexes 8 to 11) as the property service
// stores them, and its events are raised through the event dispatch.

// Registers the drop object's target on window (usually the native window of
// the drop object's own window). Refused (false) after a first call. Runs on the GUI
// thread (a call from another thread is carried there). An unknown window or
// control is fatal as in the property service; a unit that is not a drop
// object answers false.
bool RegisterFileDrop(ControlRef dropObject, HWND window);

// The drop object's target, borrowed (null for a unit that is not a drop
// object). GUI thread.
QDropTarget* DropTargetOf(ControlRef dropObject);

// Uniform calling form: RegisterFileDrop(drop object reference, integer
// window handle) answering a boolean.
void CmdRegisterFileDrop(ArgRecord* result, int argCount, const ArgRecord* args);
