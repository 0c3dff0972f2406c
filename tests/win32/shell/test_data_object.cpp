#include "test_data_object.h"

#include <shlobj.h>
#include <shellapi.h>

#include <cstring>

CLIPFORMAT HtmlClipboardFormat() {
  return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("HTML Format"));
}

CLIPFORMAT UrlClipboardFormat() {
  return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("UniformResourceLocator"));
}

std::string DropFilesBlock(const std::vector<std::string>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = FALSE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  for (const std::string& path : paths) {
    block += path;
    block += '\0';
  }
  block += '\0';
  return block;
}

std::string WideDropFilesBlock(const std::vector<std::wstring>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::wstring list;
  for (const std::wstring& path : paths) {
    list += path;
    list += L'\0';
  }
  list += L'\0';
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
  return block;
}

void TestDataObject::Offer(CLIPFORMAT format, std::string bytes) {
  blocks_[format] = std::move(bytes);
}

HRESULT TestDataObject::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TestDataObject::AddRef() {
  return ++references_;
}

ULONG TestDataObject::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT TestDataObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_INVALIDARG;
  if (blocks_.count(format->cfFormat) == 0) return DV_E_FORMATETC;
  if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  return S_OK;
}

HRESULT TestDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  const HRESULT offered = QueryGetData(format);
  if (offered != S_OK) return offered;
  if (refuseData_) return E_UNEXPECTED;
  const std::string& bytes = blocks_[format->cfFormat];
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (block == nullptr) return E_OUTOFMEMORY;
  void* data = GlobalLock(block);
  std::memcpy(data, bytes.data(), bytes.size());
  GlobalUnlock(block);
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = block;
  medium->pUnkForRelease = nullptr;  // the receiver frees the block
  return S_OK;
}

HRESULT TestDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out != nullptr) out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT TestDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (formats == nullptr) return E_INVALIDARG;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  std::vector<FORMATETC> list;
  for (const auto& entry : blocks_) {
    list.push_back(FORMATETC{entry.first, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
  }
  return SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), formats);
}
