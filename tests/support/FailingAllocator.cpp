// Replacement operator new/delete with a per-thread failure countdown.
#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool tArmed = false;
thread_local std::size_t tRemaining = 0;

void* Allocate(std::size_t size) {
  if (tArmed) {
    if (tRemaining == 0) throw std::bad_alloc();
    --tRemaining;
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace

namespace testsupport {
void FailAllocationsAfter(std::size_t successes) {
  tRemaining = successes;
  tArmed = true;
}
void StopFailingAllocations() { tArmed = false; }
}  // namespace testsupport

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
