#include "platform_call_watch.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace picture_test {

namespace {

// Every import slot of this program for function from dll (an import may be
// listed under more than one descriptor of the same DLL).
std::vector<void**> ImportSlots(const char* dll, const char* function) {
  std::vector<void**> slots;
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return slots;
  for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
    if (descriptor->OriginalFirstThunk == 0) continue;  // names already overwritten
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
    auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++bound) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
        slots.push_back(reinterpret_cast<void**>(&bound->u1.Function));
      }
    }
  }
  return slots;
}

void WriteSlot(void** slot, void* value) {
  DWORD oldProtection = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection);
  *slot = value;
  VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
}

PlatformCallWatch* activeWatch = nullptr;

}  // namespace

// Replaces one imported function in every slot; puts the original back.
struct PlatformCallWatch::Patch {
  Patch(const char* dll, const char* function, void* replacement, void** original)
      : slots(ImportSlots(dll, function)) {
    if (slots.empty()) {
      throw std::runtime_error(std::string("no import of ") + function + " from " + dll);
    }
    saved = *slots.front();
    *original = saved;
    for (void** slot : slots) WriteSlot(slot, replacement);
  }
  ~Patch() {
    for (void** slot : slots) WriteSlot(slot, saved);
  }
  std::vector<void**> slots;
  void* saved = nullptr;
};

struct WatchHooks {
  using GpImage = Gdiplus::GpImage;
  using GpStatus = Gdiplus::GpStatus;

  static inline GpStatus(WINGDIPAPI* realImageWidth)(GpImage*, UINT*) = nullptr;
  static GpStatus WINGDIPAPI ImageWidth(GpImage* image, UINT* value) {
    ++activeWatch->calls.imageWidth;
    return realImageWidth(image, value);
  }

  static inline GpStatus(WINGDIPAPI* realImageHeight)(GpImage*, UINT*) = nullptr;
  static GpStatus WINGDIPAPI ImageHeight(GpImage* image, UINT* value) {
    ++activeWatch->calls.imageHeight;
    return realImageHeight(image, value);
  }

  static inline GpStatus(WINGDIPAPI* realCreateSolidFill)(Gdiplus::ARGB,
                                                          Gdiplus::GpSolidFill**) = nullptr;
  static GpStatus WINGDIPAPI CreateSolidFill(Gdiplus::ARGB colour, Gdiplus::GpSolidFill** brush) {
    ++activeWatch->calls.createSolidFill;
    const GpStatus status = realCreateSolidFill(colour, brush);
    if (brush != nullptr && *brush != nullptr) activeWatch->calls.brushesCreated.push_back(*brush);
    return status;
  }

  static inline GpStatus(WINGDIPAPI* realDeleteBrush)(Gdiplus::GpBrush*) = nullptr;
  static GpStatus WINGDIPAPI DeleteBrush(Gdiplus::GpBrush* brush) {
    activeWatch->calls.brushesDeleted.push_back(brush);
    return realDeleteBrush(brush);
  }

  static inline GpStatus(WINGDIPAPI* realCreateBitmapFromScan0)(INT, INT, INT, Gdiplus::PixelFormat,
                                                                BYTE*,
                                                                Gdiplus::GpBitmap**) = nullptr;
  static GpStatus WINGDIPAPI CreateBitmapFromScan0(INT width, INT height, INT stride,
                                                   Gdiplus::PixelFormat format, BYTE* scan0,
                                                   Gdiplus::GpBitmap** bitmap) {
    ++activeWatch->calls.createBitmapFromScan0;
    return realCreateBitmapFromScan0(width, height, stride, format, scan0, bitmap);
  }

  static inline GpStatus(WINGDIPAPI* realGraphicsContext)(GpImage*,
                                                          Gdiplus::GpGraphics**) = nullptr;
  static GpStatus WINGDIPAPI GraphicsContext(GpImage* image, Gdiplus::GpGraphics** graphics) {
    ++activeWatch->calls.graphicsContexts;
    if (activeWatch->failGraphicsContext) {
      if (graphics != nullptr) *graphics = nullptr;
      return Gdiplus::OutOfMemory;
    }
    return realGraphicsContext(image, graphics);
  }

  static inline GpStatus(WINGDIPAPI* realDisposeImage)(GpImage*) = nullptr;
  static GpStatus WINGDIPAPI DisposeImage(GpImage* image) {
    activeWatch->calls.imagesDisposed.push_back(image);
    activeWatch->calls.releases.push_back("image");
    return realDisposeImage(image);
  }

  static RecordedSave Record(const CLSID* encoder, const Gdiplus::EncoderParameters* parameters) {
    RecordedSave save;
    if (encoder != nullptr) save.encoder = *encoder;
    if (parameters != nullptr) {
      save.hasParameters = true;
      save.count = parameters->Count;
      if (parameters->Count >= 1) {
        const Gdiplus::EncoderParameter& entry = parameters->Parameter[0];
        save.guid = entry.Guid;
        save.numberOfValues = entry.NumberOfValues;
        save.type = entry.Type;
        save.hasValue = entry.Value != nullptr;
        if (save.hasValue) save.value = *static_cast<const LONG*>(entry.Value);
      }
    }
    return save;
  }

  static inline GpStatus(WINGDIPAPI* realSaveToFile)(GpImage*, const WCHAR*, const CLSID*,
                                                     const Gdiplus::EncoderParameters*) = nullptr;
  static GpStatus WINGDIPAPI SaveToFile(GpImage* image, const WCHAR* path, const CLSID* encoder,
                                        const Gdiplus::EncoderParameters* parameters) {
    activeWatch->calls.saves.push_back(Record(encoder, parameters));
    return realSaveToFile(image, path, encoder, parameters);
  }

  static inline GpStatus(WINGDIPAPI* realSaveToStream)(GpImage*, IStream*, const CLSID*,
                                                       const Gdiplus::EncoderParameters*) = nullptr;
  static GpStatus WINGDIPAPI SaveToStream(GpImage* image, IStream* stream, const CLSID* encoder,
                                          const Gdiplus::EncoderParameters* parameters) {
    activeWatch->calls.saves.push_back(Record(encoder, parameters));
    if (activeWatch->failStreamSaveHalfway) {
      ULONG written = 0;
      stream->Write("GIF89a", 6, &written);
      return Gdiplus::Win32Error;
    }
    const GpStatus status = realSaveToStream(image, stream, encoder, parameters);
    HGLOBAL block = nullptr;
    if (activeWatch->padBlockAfterSave > 0 && SUCCEEDED(GetHGlobalFromStream(stream, &block))) {
      const SIZE_T written = GlobalSize(block);
      if (GlobalReAlloc(block, written + activeWatch->padBlockAfterSave, GMEM_MOVEABLE) != block) {
        throw std::runtime_error("could not grow the stream's block in place");
      }
    }
    return status;
  }

  static inline HGLOBAL(WINAPI* realGlobalAlloc)(UINT, SIZE_T) = nullptr;
  static HGLOBAL WINAPI GlobalAllocHook(UINT flags, SIZE_T bytes) {
    HGLOBAL block = realGlobalAlloc(flags, bytes);
    activeWatch->calls.blocksAllocated.push_back(block);
    return block;
  }

  static inline HGLOBAL(WINAPI* realGlobalFree)(HGLOBAL) = nullptr;
  static HGLOBAL WINAPI GlobalFreeHook(HGLOBAL block) {
    activeWatch->calls.blocksFreed.push_back(block);
    activeWatch->calls.releases.push_back("block");
    return realGlobalFree(block);
  }

  static inline LPVOID(WINAPI* realGlobalLock)(HGLOBAL) = nullptr;
  static LPVOID WINAPI GlobalLockHook(HGLOBAL block) {
    if (activeWatch->failGlobalLock) return nullptr;
    return realGlobalLock(block);
  }

  static inline HRESULT(WINAPI* realCreateStream)(HGLOBAL, BOOL, IStream**) = nullptr;
  static HRESULT WINAPI CreateStreamHook(HGLOBAL block, BOOL deleteOnRelease, IStream** stream) {
    if (activeWatch->failStreamOpen) {
      if (stream != nullptr) *stream = nullptr;
      return E_OUTOFMEMORY;
    }
    const HRESULT result = realCreateStream(block, deleteOnRelease, stream);
    if (SUCCEEDED(result) && stream != nullptr && *stream != nullptr) {
      (*stream)->AddRef();
      activeWatch->keptStreams.push_back(*stream);
      activeWatch->calls.streamsOpened.push_back(*stream);
    }
    return result;
  }
};

PlatformCallWatch::PlatformCallWatch() {
  if (activeWatch != nullptr) throw std::logic_error("one PlatformCallWatch at a time");
  activeWatch = this;
  struct ClearOnThrow {
    bool armed = true;
    ~ClearOnThrow() {
      if (armed) activeWatch = nullptr;
    }
  } clearOnThrow;
  auto patch = [this](const char* dll, const char* function, auto replacement, auto& original) {
    patches.push_back(std::make_unique<Patch>(dll, function, reinterpret_cast<void*>(replacement),
                                              reinterpret_cast<void**>(&original)));
  };
  patch("gdiplus.dll", "GdipGetImageWidth", &WatchHooks::ImageWidth, WatchHooks::realImageWidth);
  patch("gdiplus.dll", "GdipGetImageHeight", &WatchHooks::ImageHeight, WatchHooks::realImageHeight);
  patch("gdiplus.dll", "GdipCreateSolidFill", &WatchHooks::CreateSolidFill,
        WatchHooks::realCreateSolidFill);
  patch("gdiplus.dll", "GdipDeleteBrush", &WatchHooks::DeleteBrush, WatchHooks::realDeleteBrush);
  patch("gdiplus.dll", "GdipCreateBitmapFromScan0", &WatchHooks::CreateBitmapFromScan0,
        WatchHooks::realCreateBitmapFromScan0);
  patch("gdiplus.dll", "GdipGetImageGraphicsContext", &WatchHooks::GraphicsContext,
        WatchHooks::realGraphicsContext);
  patch("gdiplus.dll", "GdipDisposeImage", &WatchHooks::DisposeImage, WatchHooks::realDisposeImage);
  patch("gdiplus.dll", "GdipSaveImageToFile", &WatchHooks::SaveToFile, WatchHooks::realSaveToFile);
  patch("gdiplus.dll", "GdipSaveImageToStream", &WatchHooks::SaveToStream,
        WatchHooks::realSaveToStream);
  patch("kernel32.dll", "GlobalAlloc", &WatchHooks::GlobalAllocHook, WatchHooks::realGlobalAlloc);
  patch("kernel32.dll", "GlobalFree", &WatchHooks::GlobalFreeHook, WatchHooks::realGlobalFree);
  patch("kernel32.dll", "GlobalLock", &WatchHooks::GlobalLockHook, WatchHooks::realGlobalLock);
  patch("ole32.dll", "CreateStreamOnHGlobal", &WatchHooks::CreateStreamHook,
        WatchHooks::realCreateStream);
  clearOnThrow.armed = false;
}

PlatformCallWatch::~PlatformCallWatch() {
  patches.clear();
  for (IStream* stream : keptStreams) stream->Release();
  activeWatch = nullptr;
}

ULONG PlatformCallWatch::ReleaseKeptStream(IStream* stream) {
  auto kept = std::find(keptStreams.begin(), keptStreams.end(), stream);
  if (kept == keptStreams.end()) return ~0u;
  keptStreams.erase(kept);
  return stream->Release();
}

}  // namespace picture_test
