// COM-object variables over a hand-made object that records every call made
// through its vtable.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_object_win.h"
#include "base/command_call.h"
#include "base/runtime_memory.h"

namespace {

// A COM object with a 19-slot vtable: IUnknown, fifteen slots that must not
// be called, and slot 18, which takes the variable's auxiliary pointer.
struct FakeObject {
  void* const* vtable;
  LONG references = 1;
  std::vector<std::string> calls;
  void* auxSeen = nullptr;
};

HRESULT STDMETHODCALLTYPE FakeQueryInterface(FakeObject* self, REFIID, void** out) {
  self->calls.push_back("QueryInterface");
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE FakeAddRef(FakeObject* self) {
  self->calls.push_back("AddRef");
  return static_cast<ULONG>(++self->references);
}
ULONG STDMETHODCALLTYPE FakeRelease(FakeObject* self) {
  self->calls.push_back("Release");
  return static_cast<ULONG>(--self->references);
}
HRESULT STDMETHODCALLTYPE FakeUnexpected(FakeObject* self) {
  self->calls.push_back("unexpected slot");
  return E_FAIL;
}
HRESULT STDMETHODCALLTYPE FakeSlot18(FakeObject* self, void* aux) {
  self->calls.push_back("slot18");
  self->auxSeen = aux;
  return S_OK;
}

void* const* FakeVtable() {
  static void* table[19];
  table[0] = reinterpret_cast<void*>(FakeQueryInterface);
  table[1] = reinterpret_cast<void*>(FakeAddRef);
  table[2] = reinterpret_cast<void*>(FakeRelease);
  for (int i = 3; i < 18; ++i) table[i] = reinterpret_cast<void*>(FakeUnexpected);
  table[18] = reinterpret_cast<void*>(FakeSlot18);
  return table;
}

class ComObjectTest : public ::testing::Test {
 protected:
  ComObjectTest() { fake_.vtable = FakeVtable(); }
  IUnknown* Interface() { return reinterpret_cast<IUnknown*>(&fake_); }

  FakeObject fake_;
};

TEST_F(ComObjectTest, SetStoresThePointerAndAddsOneReference) {
  ComObject object{nullptr, nullptr};
  EXPECT_TRUE(IsComObjectEmpty(object));
  IUnknown* const source = Interface();
  SetComObject(object, &source);
  EXPECT_EQ(object.iface, source);
  EXPECT_FALSE(IsComObjectEmpty(object));
  EXPECT_EQ(fake_.references, 2);
  EXPECT_EQ(fake_.calls, std::vector<std::string>{"AddRef"});
}

TEST_F(ComObjectTest, ClearHandsAuxToSlot18BeforeReleasing) {
  int auxTarget = 0;
  ComObject object{nullptr, nullptr};
  IUnknown* const source = Interface();
  SetComObject(object, &source);
  object.aux = &auxTarget;
  ClearComObject(object);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"AddRef", "slot18", "Release"}));
  EXPECT_EQ(fake_.auxSeen, &auxTarget);
  EXPECT_EQ(fake_.references, 1);
  EXPECT_EQ(object.iface, nullptr);
  EXPECT_EQ(object.aux, nullptr);
  EXPECT_TRUE(IsComObjectEmpty(object));
}

TEST_F(ComObjectTest, ClearWithoutAuxOnlyReleases) {
  ComObject object{nullptr, nullptr};
  IUnknown* const source = Interface();
  SetComObject(object, &source);
  ClearComObject(object);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"AddRef", "Release"}));
  ClearComObject(object);  // already empty: nothing more
  EXPECT_EQ(fake_.calls.size(), 2u);
}

TEST_F(ComObjectTest, ClearWithoutInterfaceFreesAuxBlock) {
  ComObject object{nullptr, RuntimeAlloc(16)};
  ClearComObject(object);
  EXPECT_EQ(object.aux, nullptr);
  EXPECT_TRUE(fake_.calls.empty());
}

TEST_F(ComObjectTest, SetEmptiesTheVariableWithoutReleasingWhatItHeld) {
  FakeObject other;
  other.vtable = FakeVtable();
  IUnknown* const first = reinterpret_cast<IUnknown*>(&other);
  ComObject object{nullptr, nullptr};
  SetComObject(object, &first);

  IUnknown* const second = Interface();
  SetComObject(object, &second);
  EXPECT_EQ(object.iface, second);
  EXPECT_EQ(other.calls, std::vector<std::string>{"AddRef"}) << "the earlier object was touched";

  IUnknown* const none = nullptr;
  SetComObject(object, &none);
  EXPECT_TRUE(IsComObjectEmpty(object));
  EXPECT_EQ(fake_.calls, std::vector<std::string>{"AddRef"});
}

TEST_F(ComObjectTest, UniformFormWorksOnTheVariableAddress) {
  ComObject object{nullptr, nullptr};
  IUnknown* const source = Interface();
  const ArgRecord variable = MakeComObject(&object);
  const ArgRecord setArgs[] = {
      variable, MakeInteger(static_cast<int32_t>(reinterpret_cast<uintptr_t>(&source)))};
  ArgRecord result = MakeOmitted();
  CmdSetComObject(&result, 2, setArgs);
  EXPECT_EQ(object.iface, source);

  CmdIsComObjectEmpty(&result, 1, &variable);
  EXPECT_TRUE(HasTag(result, TypeTag::Boolean));
  EXPECT_EQ(AsInt32(result), 0);

  CmdClearComObject(&result, 1, &variable);
  CmdIsComObjectEmpty(&result, 1, &variable);
  EXPECT_EQ(AsInt32(result), 1);
  EXPECT_EQ(fake_.calls, (std::vector<std::string>{"AddRef", "Release"}));
}

}  // namespace
