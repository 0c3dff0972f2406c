// Move-only owners for Win32 handles: each handle has exactly one owner and is
// released once, by that owner.
#pragma once

#include <windows.h>

#include <utility>

// One owner of a handle described by Traits:
//   using Handle = ...;                 the handle type
//   static bool IsEmpty(Handle h);      true for the values that own nothing
//   static void Release(Handle h);      frees a non-empty handle
//   static Handle Empty();              the value an empty owner holds
template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() noexcept : handle_(Traits::Empty()) {}
  explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
  ~UniqueResource() { Reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      Reset(other.Release());
    }
    return *this;
  }

  Handle Get() const noexcept { return handle_; }
  bool IsValid() const noexcept { return !Traits::IsEmpty(handle_); }
  explicit operator bool() const noexcept { return IsValid(); }

  // Gives up ownership without releasing.
  Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }

  void Reset(Handle handle = Traits::Empty()) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (!Traits::IsEmpty(old)) {
      Traits::Release(old);
    }
  }

 private:
  Handle handle_;
};

// Kernel object handles. Win32 uses both null and INVALID_HANDLE_VALUE for
// "no handle" depending on the function, so both count as empty.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void Release(Handle h) noexcept { CloseHandle(h); }
};

// Handles from FindFirstFile, closed with FindClose.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void Release(Handle h) noexcept { FindClose(h); }
};

// Modules from LoadLibrary, freed with FreeLibrary.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { FreeLibrary(h); }
};

// Windows created by the program and destroyed by their owner.
struct WindowTraits {
  using Handle = HWND;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { DestroyWindow(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;

// GDI objects (brushes, fonts, bitmaps, regions) and icons.
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { DeleteObject(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { DestroyIcon(h); }
};
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueIcon = UniqueResource<IconTraits>;
