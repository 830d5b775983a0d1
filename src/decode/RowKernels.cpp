// The row bodies: the kernels' build for this processor, chosen once.
#include "decode/RowKernels.h"

#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace quorvel {

bool ProcessorHasSsse3() {
  constexpr unsigned kSsse3 = 1u << 9;  // CPUID leaf 1, ECX
#if defined(_MSC_VER)
  int regs[4] = {};
  __cpuid(regs, 1);
  return (static_cast<unsigned>(regs[2]) & kSsse3) != 0;
#else
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & kSsse3) != 0;
#endif
}

namespace {
// Decided while the DLL loads, before any row loop can run on a worker thread.
const bool kUseSsse3 = ProcessorHasSsse3();

void Run(Walk walk, int lo, int hi, const RowJob* jobs, const void* constants) {
  const RunConstants& c = *static_cast<const RunConstants*>(constants);
  if (kUseSsse3)
    ssse3::RunWalk(walk, lo, hi, jobs, c);
  else
    sse2::RunWalk(walk, lo, hi, jobs, c);
}

}  // namespace

void QUORVEL_ROW_BODY RunRowsForward(int lo, int hi, const RowJob* jobs, const void* constants) {
  Run(Walk::kRowsForward, lo, hi, jobs, constants);
}
void QUORVEL_ROW_BODY RunRowsBackward(int lo, int hi, const RowJob* jobs, const void* constants) {
  Run(Walk::kRowsBackward, lo, hi, jobs, constants);
}
void QUORVEL_ROW_BODY RunColumnsUpward(int lo, int hi, const RowJob* jobs, const void* constants) {
  Run(Walk::kColumnsUpward, lo, hi, jobs, constants);
}
void QUORVEL_ROW_BODY RunColumnsDownward(int lo, int hi, const RowJob* jobs, const void* constants) {
  Run(Walk::kColumnsDownward, lo, hi, jobs, constants);
}

RowBody RowBodyFor(Walk walk) noexcept {
  switch (walk) {
    case Walk::kRowsForward: return &RunRowsForward;
    case Walk::kRowsBackward: return &RunRowsBackward;
    case Walk::kColumnsUpward: return &RunColumnsUpward;
    case Walk::kColumnsDownward: return &RunColumnsDownward;
  }
  return &RunRowsForward;
}

}  // namespace quorvel
