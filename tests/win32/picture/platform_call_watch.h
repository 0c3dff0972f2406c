#pragma once

// Watches the platform calls the picture object makes. The test program's
// own import table is patched for the life of a PlatformCallWatch, so the
// calls compiled into the picture object reach a recorder that forwards them
// to the real GDI+, kernel and COM functions (or, when asked, fails them).
// One watch at a time, used on the test's own thread.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace picture_test {

// What one save call received.
struct RecordedSave {
  CLSID encoder{};
  bool hasParameters = false;
  UINT count = 0;
  GUID guid{};
  ULONG numberOfValues = 0;
  ULONG type = 0;
  bool hasValue = false;
  LONG value = 0;  // *Value, read during the call
};

struct RecordedCalls {
  int imageWidth = 0;   // GdipGetImageWidth
  int imageHeight = 0;  // GdipGetImageHeight
  int createSolidFill = 0;
  std::vector<Gdiplus::GpBrush*> brushesCreated;
  std::vector<Gdiplus::GpBrush*> brushesDeleted;
  int createBitmapFromScan0 = 0;
  int graphicsContexts = 0;
  std::vector<Gdiplus::GpImage*> imagesDisposed;
  std::vector<RecordedSave> saves;  // file and stream saves, in order
  std::vector<HGLOBAL> blocksAllocated;
  std::vector<HGLOBAL> blocksFreed;
  std::vector<IStream*> streamsOpened;
  std::vector<std::string> releases;  // "image" and "block", in call order

  int TotalGdiplusCalls() const {
    return imageWidth + imageHeight + createSolidFill + static_cast<int>(brushesDeleted.size()) +
           createBitmapFromScan0 + graphicsContexts + static_cast<int>(imagesDisposed.size()) +
           static_cast<int>(saves.size());
  }
};

class PlatformCallWatch {
 public:
  PlatformCallWatch();
  ~PlatformCallWatch();
  PlatformCallWatch(const PlatformCallWatch&) = delete;
  PlatformCallWatch& operator=(const PlatformCallWatch&) = delete;

  RecordedCalls& Calls() { return calls; }
  void Clear() { calls = RecordedCalls(); }

  // Every stream the picture opened is kept alive by one extra reference of
  // the watch. Drops that reference and answers the count left: 0 means the
  // picture (and GDI+) let go of the stream.
  ULONG ReleaseKeptStream(IStream* stream);

  // Failure injection: the next calls fail like the platform would.
  bool failGraphicsContext = false;  // GdipGetImageGraphicsContext: no context
  bool failStreamOpen = false;       // CreateStreamOnHGlobal: E_OUTOFMEMORY, no stream
  bool failGlobalLock = false;       // GlobalLock: null
  // GdipSaveImageToStream: writes a GIF header into the stream, then fails,
  // as an encoder that gives up halfway does.
  bool failStreamSaveHalfway = false;
  // After a successful GdipSaveImageToStream, grows the stream's memory block
  // by this many bytes without changing the stream, as a block rounded up
  // beyond the written length looks.
  SIZE_T padBlockAfterSave = 0;

 private:
  struct Patch;
  RecordedCalls calls;
  std::vector<IStream*> keptStreams;
  std::vector<std::unique_ptr<Patch>> patches;

  friend struct WatchHooks;
};

}  // namespace picture_test
