// The reload pass: the plug-in loaded, used for one picture and unloaded again, more
// times than a process has thread-local storage slots, as a viewer does that loads its
// plug-ins per folder. Whatever a load takes (handles, memory, TLS slots) must be given
// back by its unload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LeakPass.h"

namespace stress {

// A process has 64 + 1,024 TLS slots: a slot lost per load shows within this many cycles.
inline constexpr std::uint64_t kCyclesBeyondTlsSlots = 1'100;

// What private bytes may grow by over the whole pass (the heap's own bookkeeping): a
// load that keeps a few hundred bytes shows beyond it after a thousand cycles.
inline constexpr std::uint64_t kReloadPrivateBytesAllowance = 512u << 10;

struct ReloadReport {
  std::uint64_t cycles = 0;
  ProcessCounters baseline, final;
  std::uint32_t freeTlsBefore = 0, freeTlsAfter = 0;
  std::vector<std::string> wrong;
  double seconds = 0;
};

ReloadReport RunReloadPass(std::uint64_t cycles);

}  // namespace stress
