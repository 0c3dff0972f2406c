#include "picture/imaging_service_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

namespace {
// Written once by StartImagingService and never handed back: GDI+ stays up
// until the process ends.
ULONG_PTR imagingToken = 0;
}  // namespace

bool StartImagingService() {
  Gdiplus::GdiplusStartupInput input;
  input.GdiplusVersion = 1;
  input.DebugEventCallback = nullptr;
  input.SuppressBackgroundThread = FALSE;
  input.SuppressExternalCodecs = FALSE;
  return Gdiplus::GdiplusStartup(&imagingToken, &input, nullptr) == Gdiplus::Ok;
}

ByteBuffer ToWideText(const char* text) {
  if (text == nullptr) text = "";
  // Code units needed, terminator included; at least room for the terminator.
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units < 1) units = 1;
  ByteBuffer wide = ByteBuffer::Zeroed(static_cast<size_t>(units) * sizeof(wchar_t));
  // The terminator comes from the zero fill; the capacity handed over leaves
  // it alone (MultiByteToWideChar counts code units, not bytes).
  const int bytes = static_cast<int>(std::strlen(text));
  if (bytes > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text, bytes, reinterpret_cast<wchar_t*>(wide.Data()), units - 1);
  }
  return wide;
}
