// Import-table patching and the bookkeeping behind it.
#include "LocalAllocationCounter.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace hostkit {
namespace {

using LocalAllocFn = HLOCAL(WINAPI*)(UINT, SIZE_T);
using LocalReAllocFn = HLOCAL(WINAPI*)(HLOCAL, SIZE_T, UINT);
using LocalFreeFn = HLOCAL(WINAPI*)(HLOCAL);

std::mutex gLock;
std::unordered_map<HLOCAL, SIZE_T>* gSizes = nullptr;
LocalAllocations gNow;
std::atomic<SIZE_T> gRefuseFrom{0};

// The system's own entries, so that the counter may patch the program it is linked into.
template <class Fn>
Fn Real(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
const LocalAllocFn gLocalAlloc = Real<LocalAllocFn>("LocalAlloc");
const LocalReAllocFn gLocalReAlloc = Real<LocalReAllocFn>("LocalReAlloc");
const LocalFreeFn gLocalFree = Real<LocalFreeFn>("LocalFree");

void AddedLocked(HLOCAL h, SIZE_T size) {
  (*gSizes)[h] = size;
  gNow.blocks++;
  gNow.bytes += static_cast<std::int64_t>(size);
  gNow.allocations++;
  if (gNow.bytes > gNow.peakBytes) gNow.peakBytes = gNow.bytes;
}

void Added(HLOCAL h, SIZE_T size) {
  if (!h) return;
  std::lock_guard<std::mutex> hold(gLock);
  AddedLocked(h, size);
}

void RemovedLocked(HLOCAL h) {
  const auto it = gSizes->find(h);
  if (it == gSizes->end()) return;
  gNow.blocks--;
  gNow.bytes -= static_cast<std::int64_t>(it->second);
  gSizes->erase(it);
}

void Removed(HLOCAL h) {
  if (!h) return;
  std::lock_guard<std::mutex> hold(gLock);
  RemovedLocked(h);
}

HLOCAL WINAPI CountingAlloc(UINT flags, SIZE_T size) {
  if (const SIZE_T from = gRefuseFrom.load(); from != 0 && size >= from) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HLOCAL h = gLocalAlloc(flags, size);
  Added(h, size);
  return h;
}

HLOCAL WINAPI CountingReAlloc(HLOCAL old, SIZE_T size, UINT flags) {
  // Under the lock throughout: another thread may be given the old block the moment it
  // is released.
  std::lock_guard<std::mutex> hold(gLock);
  HLOCAL h = gLocalReAlloc(old, size, flags);
  if (h) {
    RemovedLocked(old);
    AddedLocked(h, size);
  }
  return h;
}

HLOCAL WINAPI CountingFree(HLOCAL h) {
  Removed(h);
  return gLocalFree(h);
}

bool Patch(HMODULE module, const char* name, void* replacement) {
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  bool patched = false;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); dir.Size && d->Name; ++d) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
      DWORD old = 0;
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
      patched = true;
    }
  }
  return patched;
}

}  // namespace

bool LocalAllocationCounter::Install(HMODULE module) {
  {
    std::lock_guard<std::mutex> hold(gLock);
    if (!gSizes) gSizes = new std::unordered_map<HLOCAL, SIZE_T>;
  }
  const bool a = Patch(module, "LocalAlloc", reinterpret_cast<void*>(&CountingAlloc));
  Patch(module, "LocalReAlloc", reinterpret_cast<void*>(&CountingReAlloc));
  const bool f = Patch(module, "LocalFree", reinterpret_cast<void*>(&CountingFree));
  return a && f;
}

LocalAllocations LocalAllocationCounter::Now() {
  std::lock_guard<std::mutex> hold(gLock);
  return gNow;
}

void LocalAllocationCounter::ResetPeak() {
  std::lock_guard<std::mutex> hold(gLock);
  gNow.peakBytes = gNow.bytes;
}

void LocalAllocationCounter::FreeHandedOver(HLOCAL block) { CountingFree(block); }

void LocalAllocationCounter::RefuseBlocksFrom(SIZE_T bytes) { gRefuseFrom.store(bytes); }

}  // namespace hostkit
