// The row machinery of the banded copy: a list of RowJobs (one per destination row,
// made on the calling thread before the loop) and the row-parallel loop over them.
// The 32-bit build spreads rows over the parallel-loop runtime's workers (vcomp120.dll,
// loaded on first use; the calling thread does the work when it is absent), one per
// processor the process may use, at most eight; the 64-bit build runs the rows on the
// calling thread in increasing order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

struct RowJob {
  std::uint8_t* destination;   // start of one destination row
  const std::uint8_t* source;  // where in the source that row is produced from
};

// Row bodies are called by the runtime's own threads with the C calling convention; on
// x86 they cannot assume a 16-byte-aligned stack, so they realign it.
// QUORVEL_ROW_BODY goes on every row body's definition.
#if defined(_M_IX86) || defined(__i386__)
#define QUORVEL_ROW_CALL __cdecl
#else
#define QUORVEL_ROW_CALL
#endif
#if defined(__GNUC__) && defined(__i386__)
#define QUORVEL_ROW_BODY __attribute__((force_align_arg_pointer)) QUORVEL_ROW_CALL
#else
#define QUORVEL_ROW_BODY QUORVEL_ROW_CALL
#endif

// Processes rows [lo, hi) in increasing order. jobs and constants are shared, read-only.
using RowBody = void(QUORVEL_ROW_CALL*)(int lo, int hi, const RowJob* jobs, const void* constants);

// Row bodies never store past their own run's last byte: rows (and, for quarter turns,
// the column ranges of a band) may be written by several threads at once.

// Runs body over rows 0 .. rowCount-1 and returns when all are done.
void ParallelForRows(int rowCount, RowBody body, const RowJob* jobs, const void* constants) noexcept;

// The processors the process may run on at once, at most eight.
int ProcessorsToUse() noexcept;

// Whether the parallel runtime was found (always false in the 64-bit build).
bool ParallelRuntimeAvailable() noexcept;

}  // namespace quorvel
