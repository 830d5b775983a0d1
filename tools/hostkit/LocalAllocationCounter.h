// Counts a loaded plug-in's local memory blocks by patching its imports of LocalAlloc,
// LocalReAlloc and LocalFree: blocks outstanding, bytes outstanding and their peak.
// For the stress and benchmark programs, which act as the host.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace hostkit {

struct LocalAllocations {
  std::int64_t blocks = 0;        // outstanding
  std::int64_t bytes = 0;         // outstanding
  std::int64_t peakBytes = 0;     // since the last ResetPeak
  std::uint64_t allocations = 0;  // ever made
};

class LocalAllocationCounter {
 public:
  // Patches module's import table. False when the imports are not found.
  static bool Install(HMODULE module);
  static LocalAllocations Now();
  static void ResetPeak();
  // Frees a block the plug-in handed over, keeping the count right.
  static void FreeHandedOver(HLOCAL block);
  // From now on every block of at least `bytes` is refused as if memory had run out;
  // 0 refuses none.
  static void RefuseBlocksFrom(SIZE_T bytes);
};

}  // namespace hostkit
