#pragma once

// One owner of one COM interface reference.

#include <unknwn.h>

#include <utility>

template <typename Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { Reset(); }

  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  // Takes over a reference the caller already holds (a new object's first
  // reference, or one handed out by a Get... or Create... call).
  static ComPtr Adopt(Interface* pointer) noexcept {
    ComPtr owner;
    owner.pointer_ = pointer;
    return owner;
  }

  // Adds a reference of its own to pointer.
  static ComPtr Share(Interface* pointer) noexcept {
    if (pointer != nullptr) pointer->AddRef();
    return Adopt(pointer);
  }

  Interface* Get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  // Releases what is held and hands out the address for a call that returns
  // a new reference through an out-parameter.
  Interface** Receive() noexcept {
    Reset();
    return &pointer_;
  }
  void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

  // Gives up the reference without releasing it.
  Interface* Detach() noexcept { return std::exchange(pointer_, nullptr); }

  void Reset(Interface* pointer = nullptr) noexcept {
    Interface* old = std::exchange(pointer_, pointer);
    if (old != nullptr) old->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};
