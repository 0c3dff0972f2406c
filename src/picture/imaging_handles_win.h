#pragma once

// One owner for each kind of handle the picture object holds: GDI+ images,
// brushes and graphics contexts, movable global memory blocks and their
// locks, and the COM stream opened over such a block.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "gui/win_handles_win.h"

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

struct GlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { GlobalFree(h); }
};

// Holds one reference to a stream.
struct ComStreamTraits {
  using Handle = IStream*;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { h->Release(); }
};

using GdiplusImage = UniqueResource<GdiplusImageTraits>;
using GdiplusBrush = UniqueResource<GdiplusBrushTraits>;
using GdiplusGraphics = UniqueResource<GdiplusGraphicsTraits>;
using GlobalMemory = UniqueResource<GlobalMemoryTraits>;
using ComStream = UniqueResource<ComStreamTraits>;

// Locks a movable block for the owner's lifetime. Data() is null when the
// lock failed (or the block is null); then nothing is unlocked.
class GlobalMemoryLock {
 public:
  explicit GlobalMemoryLock(HGLOBAL block) noexcept
      : block(block), data(block != nullptr ? GlobalLock(block) : nullptr) {}
  ~GlobalMemoryLock() {
    if (data != nullptr) GlobalUnlock(block);
  }
  GlobalMemoryLock(const GlobalMemoryLock&) = delete;
  GlobalMemoryLock& operator=(const GlobalMemoryLock&) = delete;

  void* Data() const noexcept { return data; }

 private:
  HGLOBAL block;
  void* data;
};
