// The row loop: every row once, and the parallel runtime used where the build has one.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "decode/ParallelForRows.h"

namespace quorvel {
namespace {

TEST(ParallelForRows, CoversEveryRowExactlyOnceInIncreasingOrderWithinEachRange) {
  struct Seen {
    std::vector<std::uint8_t> count;
    std::vector<std::uint32_t> threads;
  };
  for (int rows : {0, 1, 2, 7, 100, 1001}) {
    Seen seen{std::vector<std::uint8_t>(rows), std::vector<std::uint32_t>(rows)};
    RowBody body = [](int lo, int hi, const RowJob*, const void* c) {
      auto* s = static_cast<Seen*>(const_cast<void*>(c));
      for (int r = lo; r < hi; ++r) {
        s->count[r]++;
        s->threads[r] = GetCurrentThreadId();
      }
    };
    ParallelForRows(rows, body, nullptr, &seen);
    for (int r = 0; r < rows; ++r) ASSERT_EQ(seen.count[r], 1) << rows << " rows, row " << r;
  }
}

TEST(ParallelForRows, UsesTheRuntimeInTheThirtyTwoBitBuildWhenItIsInstalled) {
  char overrides[256] = {};
  GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof(overrides));
  const bool runtimeDisabled = std::strstr(overrides, "vcomp120=d") != nullptr;
  if (sizeof(void*) == 8) {  // the 64-bit build runs rows on the calling thread
    EXPECT_FALSE(ParallelRuntimeAvailable());
    return;
  }
  EXPECT_EQ(ParallelRuntimeAvailable(), !runtimeDisabled);
  if (runtimeDisabled) return;
  std::vector<DWORD> threads(64);
  RowBody body = [](int lo, int hi, const RowJob*, const void* c) {
    auto* t = static_cast<DWORD*>(const_cast<void*>(c));
    for (int r = lo; r < hi; ++r) t[r] = GetCurrentThreadId();
    Sleep(5);
  };
  ParallelForRows(64, body, nullptr, threads.data());
  std::sort(threads.begin(), threads.end());
  const auto distinct = std::unique(threads.begin(), threads.end()) - threads.begin();
  // More threads than processors would only take turns on them.
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  int processors = 0;
  for (; process != 0; process &= process - 1) ++processors;
  EXPECT_LE(distinct, std::min(processors, 8));
  if (processors > 1) {
    EXPECT_GT(distinct, 1) << "rows ran on several threads";
  }
}

}  // namespace
}  // namespace quorvel
