// COM-object variables.

#include "base/com_object_win.h"

#include "base/runtime_memory.h"

namespace {

// Slot 18 of the interface's vtable takes the auxiliary pointer; like every
// COM method it is __stdcall with the interface as first argument.
constexpr int kAuxReleaseSlot = 18;
using AuxReleaseMethod = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, void* aux);

void CallAuxRelease(IUnknown* iface, void* aux) {
  void* const* vtable = *reinterpret_cast<void* const* const*>(iface);
  const auto method = reinterpret_cast<AuxReleaseMethod>(vtable[kAuxReleaseSlot]);
  method(iface, aux);
}

ComObject* VariableOf(int argCount, const ArgRecord* args) {
  const ArgRecord record = ArgAt(argCount, args, 0);
  return IsOmitted(record) ? nullptr : static_cast<ComObject*>(AsPointer(record));
}

}  // namespace

void SetComObject(ComObject& object, IUnknown* const* source) {
  object.iface = nullptr;
  object.aux = nullptr;
  IUnknown* const iface = source != nullptr ? *source : nullptr;
  if (iface == nullptr) return;
  object.iface = iface;
  iface->AddRef();
}

void ClearComObject(ComObject& object) {
  if (object.iface != nullptr) {
    if (object.aux != nullptr) {
      CallAuxRelease(object.iface, object.aux);
      object.aux = nullptr;
    }
    IUnknown* const iface = object.iface;
    object.iface = nullptr;
    iface->Release();
  } else if (object.aux != nullptr) {
    RuntimeFree(object.aux);
    object.aux = nullptr;
  }
}

bool IsComObjectEmpty(const ComObject& object) { return object.iface == nullptr; }

void CmdSetComObject(ArgRecord* result, int argCount, const ArgRecord* args) {
  ComObject* const object = VariableOf(argCount, args);
  const ArgRecord source = ArgAt(argCount, args, 1);
  if (object != nullptr) {
    SetComObject(*object,
                 IsOmitted(source) ? nullptr : static_cast<IUnknown* const*>(AsPointer(source)));
  }
  if (result != nullptr) *result = MakeOmitted();
}

void CmdClearComObject(ArgRecord* result, int argCount, const ArgRecord* args) {
  ComObject* const object = VariableOf(argCount, args);
  if (object != nullptr) ClearComObject(*object);
  if (result != nullptr) *result = MakeOmitted();
}

void CmdIsComObjectEmpty(ArgRecord* result, int argCount, const ArgRecord* args) {
  const ComObject* const object = VariableOf(argCount, args);
  if (result != nullptr) *result = MakeBoolean(object == nullptr || IsComObjectEmpty(*object));
}
