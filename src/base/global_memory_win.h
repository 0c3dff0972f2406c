#pragma once

// Owners for data in global memory: a movable memory block, a lock on one,
// and a storage medium returned by IDataObject::GetData.

#include <objidl.h>

#include <cstddef>

#include "base/win_handles_win.h"

struct GlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle Empty() noexcept { return nullptr; }
  static bool IsEmpty(Handle h) noexcept { return h == nullptr; }
  static void Release(Handle h) noexcept { GlobalFree(h); }
};
using GlobalMemory = UniqueResource<GlobalMemoryTraits>;

// Releases the medium with ReleaseStgMedium (which frees the block, or not,
// as the data object asked through pUnkForRelease).
class StorageMedium {
 public:
  StorageMedium() noexcept : medium_{} {}
  ~StorageMedium() { Reset(); }
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;

  // For GetData: releases what is held and hands out the medium to fill.
  STGMEDIUM* Receive() noexcept {
    Reset();
    return &medium_;
  }
  const STGMEDIUM& Get() const noexcept { return medium_; }
  HGLOBAL Global() const noexcept {
    return medium_.tymed == TYMED_HGLOBAL ? medium_.hGlobal : nullptr;
  }

  void Reset() noexcept {
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    medium_ = STGMEDIUM{};
  }

 private:
  STGMEDIUM medium_;
};

// Locks a movable block for the owner's lifetime. Data() is null when the
// lock failed (or the block is null); then nothing is unlocked. Size() is
// the block's size as the system reports it.
class GlobalLockView {
 public:
  explicit GlobalLockView(HGLOBAL block) noexcept
      : block_(block), data_(block != nullptr ? GlobalLock(block) : nullptr) {
    size_ = data_ != nullptr ? GlobalSize(block) : 0;
  }
  ~GlobalLockView() {
    if (data_ != nullptr) GlobalUnlock(block_);
  }
  GlobalLockView(const GlobalLockView&) = delete;
  GlobalLockView& operator=(const GlobalLockView&) = delete;

  void* Data() const noexcept { return data_; }
  size_t Size() const noexcept { return size_; }

 private:
  HGLOBAL block_;
  void* data_;
  size_t size_ = 0;
};
