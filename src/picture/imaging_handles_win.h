#pragma once

// Owners of the GDI+ objects the picture object holds: images, brushes and
// graphics contexts. Its memory block, the block's lock and the stream over
// it use the base owners (GlobalMemory, GlobalLockView, ComPtr<IStream>).

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "base/com_ptr_win.h"
#include "base/global_memory_win.h"
#include "base/win_handles_win.h"

struct GdiplusImageTraits {
  using Handle = Gdiplus::GpImage*;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { Gdiplus::DllExports::GdipDisposeImage(h); }
};

struct GdiplusBrushTraits {
  using Handle = Gdiplus::GpBrush*;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { Gdiplus::DllExports::GdipDeleteBrush(h); }
};

struct GdiplusGraphicsTraits {
  using Handle = Gdiplus::GpGraphics*;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { Gdiplus::DllExports::GdipDeleteGraphics(h); }
};

using GdiplusImage = UniqueResource<GdiplusImageTraits>;
using GdiplusBrush = UniqueResource<GdiplusBrushTraits>;
using GdiplusGraphics = UniqueResource<GdiplusGraphicsTraits>;
