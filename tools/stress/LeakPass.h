// The leak pass: thousands of calls on good and failing inputs, stopping at every
// progress report in turn, with the process's private bytes, handle count and the
// plug-in's outstanding local blocks compared with their values after a warm-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stress {

struct ProcessCounters {
  std::uint64_t privateBytes = 0;
  std::uint32_t handles = 0;
  std::int64_t localBlocks = 0;  // the plug-in's, outstanding
};

struct LeakReport {
  std::uint64_t rounds = 0;  // each: every call on one input
  std::uint64_t calls = 0;
  std::uint64_t stops = 0;   // decodes stopped by the progress callback
  ProcessCounters baseline, final;
  std::uint64_t peakBlockLeak = 0;  // most blocks outstanding after any round
  std::vector<std::string> wrong;
  double seconds = 0;
};

// Private bytes may grow by at most this much (heap caches, the component's own), and
// handles by this many (made once, late, by the system: under Wine one appears within
// ten thousand rounds). A leak of the plug-in's grows with the rounds, far beyond both.
inline constexpr std::uint64_t kPrivateBytesAllowance = 4u << 20;
inline constexpr std::uint32_t kHandleAllowance = 2;

LeakReport RunLeakPass(std::uint64_t rounds, const std::wstring& dataFolder);
ProcessCounters ReadProcessCounters();

}  // namespace stress
