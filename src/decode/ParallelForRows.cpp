// ParallelForRows on C2VectParallel of vcomp120.dll (32-bit build), or on the calling thread.
#include "decode/ParallelForRows.h"

#include <windows.h>

#include <atomic>

#include "common/SystemLibrary.h"

namespace quorvel {

// As many threads as the process may run at once, at most eight. The runtime starts as
// many as it is asked for, and threads beyond the processors only take turns on them,
// each evicting the others' cache tiles: on 2 cores, quarter turns on 8 threads ran 1.2
// to 1.6 times as fast as on one thread, and 1.5 to 1.8 times on 2.
int ProcessorsToUse() noexcept {
  constexpr int kMostThreads = 8;
  static std::atomic<int> counted{0};  // every thread counts the same, so a race is harmless
  if (const int threads = counted.load(std::memory_order_relaxed)) return threads;
  int processors = 0;
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
    for (; process != 0; process &= process - 1) ++processors;
  if (processors == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    processors = static_cast<int>(info.dwNumberOfProcessors);
  }
  const int threads = processors < 1 ? 1 : processors > kMostThreads ? kMostThreads : processors;
  counted.store(threads, std::memory_order_relaxed);
  return threads;
}

namespace {

#if defined(_M_IX86) || defined(__i386__)
// void __cdecl C2VectParallel(int start, int end, int step, BOOL endIncluded, int threadCount,
//                             BOOL dynamicDistribution, void* body, int argCount, ...);
// argCount counts the body's arguments including the two range bounds.
using C2VectParallelFn = void(__cdecl*)(int, int, int, BOOL, int, BOOL, void*, int, ...);

// Resolved once; the runtime is optional, so a plug-in without it still loads and works.
C2VectParallelFn ResolveRuntime() noexcept {
  static std::atomic<C2VectParallelFn> resolved{nullptr};
  static std::atomic<bool> tried{false};
  if (tried.load(std::memory_order_acquire)) return resolved.load(std::memory_order_acquire);
  C2VectParallelFn entry = nullptr;
  // The module stays loaded for the life of the process: freeing it at unload would mean
  // calling FreeLibrary under the loader lock.
  if (HMODULE runtime = LoadSystemLibrary(L"vcomp120.dll"))
    entry = reinterpret_cast<C2VectParallelFn>(reinterpret_cast<void*>(GetProcAddress(runtime, "C2VectParallel")));
  resolved.store(entry, std::memory_order_release);
  tried.store(true, std::memory_order_release);
  return entry;
}
#endif

}  // namespace

void ParallelForRows(int rowCount, RowBody body, const RowJob* jobs, const void* constants) noexcept {
  if (rowCount <= 0) return;
#if defined(_M_IX86) || defined(__i386__)
  C2VectParallelFn parallel = ResolveRuntime();
  if (const int threads = ProcessorsToUse(); parallel && threads > 1) {
    parallel(0, rowCount, 1, FALSE, threads, FALSE, reinterpret_cast<void*>(body), 4, jobs, constants);
    return;
  }
#endif
  body(0, rowCount, jobs, constants);
}

bool ParallelRuntimeAvailable() noexcept {
#if defined(_M_IX86) || defined(__i386__)
  return ResolveRuntime() != nullptr;
#else
  return false;
#endif
}

}  // namespace quorvel
