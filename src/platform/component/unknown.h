// The object model of components: reference-counted objects that hand out
// interfaces by identifier, and the class objects that make them.
//
// Interfaces are C++ abstract classes with virtual methods; a module and its
// host are built by the same toolchain, so the vtable layout is shared.
// Rules, as on the system this imitates:
//   - QueryInterface answers S_OK and an AddRef'ed pointer, or E_NOINTERFACE
//     and nullptr; asking for kIidIUnknown always succeeds.
//   - AddRef and Release return the new count (informational only); the
//     object destroys itself when the count reaches zero.
//   - An out pointer is set to nullptr on every failure.
//
// Threading: an object is used on the thread that created it unless its
// contract says otherwise.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/com/status.h"
#include "platform/component/guid.h"

namespace hovane::platform {

inline constexpr Guid kIidIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidIClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// A class object: makes new objects of its class.
class IClassFactory : public IUnknown {
 public:
  // outer: aggregation, which no class here supports (non-null answers
  // CLASS_E_NOAGGREGATION). On success *object holds the iid interface.
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** object) = 0;
  // Keeps the class's module loaded while locked (true), balanced by false.
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// An owning interface pointer: Release on destruction, AddRef on copy.
template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  // Adopts a reference the caller already holds.
  static ComPtr Adopt(Interface* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (pointer_) std::exchange(pointer_, nullptr)->Release();
  }
  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For out parameters: releases what is held and yields the slot.
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace hovane::platform
