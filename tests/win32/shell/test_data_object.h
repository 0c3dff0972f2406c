#pragma once

// A data object made by the tests, as a drag source hands one to a drop
// target: each format holds a block of bytes, handed out in global memory.

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

// The registered formats a browser puts on HTML and URL drags.
CLIPFORMAT HtmlClipboardFormat();
CLIPFORMAT UrlClipboardFormat();

// A CF_HDROP block (DROPFILES followed by the ANSI paths, each zero-ended,
// and a final zero) listing paths in this order.
std::string DropFilesBlock(const std::vector<std::string>& paths);
// The same with fWide set and the paths in UTF-16, as the shell makes it.
std::string WideDropFilesBlock(const std::vector<std::wstring>& paths);

class TestDataObject final : public IDataObject {
 public:
  // Created with one reference, which the caller owns.
  TestDataObject() = default;

  // Offers format with these bytes (handed out as they are, without adding
  // a terminator).
  void Offer(CLIPFORMAT format, std::string bytes);
  // Keeps announcing every format but refuses to hand any out.
  void RefuseData() { refuseData_ = true; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDataObject
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  ~TestDataObject() = default;

  std::atomic<ULONG> references_{1};
  std::map<CLIPFORMAT, std::string> blocks_;
  bool refuseData_ = false;
};
