// Owners for the Windows resources the plug-in holds: COM interfaces, local memory
// blocks, kernel handles and the per-thread COM initialisation. Each releases its
// resource exactly once, on every path out of the scope that made it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cassert>
#include <utility>

namespace quorvel {

// Owning pointer to a COM interface; Release on reset and destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Out-parameter for a creating call. The owner must be empty: filling a full owner
  // would leak what it held.
  T** Put() noexcept {
    assert(p_ == nullptr);
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  template <class U>
  HRESULT As(ComPtr<U>& out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out.PutVoid());
  }

 private:
  T* p_ = nullptr;
};

// Owner of one value of a handle type described by Traits
// (Traits::Type, Traits::Invalid(), Traits::Close(value)).
template <class Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const noexcept { return value_; }
  bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return IsValid(); }

  Type* Put() noexcept {
    assert(!IsValid());
    Reset();
    return &value_;
  }
  Type Release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void Reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  void Swap(UniqueResource& other) noexcept { std::swap(value_, other.value_); }

 private:
  Type value_ = Traits::Invalid();
};

struct LocalBlockTraits {
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { LocalFree(value); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { CloseHandle(value); }
};

// Kernel objects whose creators return null on failure (processes, threads, mappings, events).
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { CloseHandle(value); }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { RegCloseKey(value); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { FreeLibrary(value); }
};

// A LocalAlloc block (LMEM_FIXED blocks double as their own address).
using LocalBlock = UniqueResource<LocalBlockTraits>;
// A kernel file handle as CreateFileW returns it (INVALID_HANDLE_VALUE when empty).
using FileHandle = UniqueResource<FileHandleTraits>;
using KernelHandle = UniqueResource<KernelHandleTraits>;
using RegistryKey = UniqueResource<RegistryKeyTraits>;
// One reference to a loaded library.
using LoadedModule = UniqueResource<ModuleTraits>;

}  // namespace quorvel
