// Makes operator new fail on demand in the program that links FailingAllocator.cpp, to
// check what happens when memory runs out part way.
#pragma once

#include <cstddef>

namespace testsupport {

// The next `successes` allocations of the calling thread succeed, every later one throws
// std::bad_alloc until StopFailingAllocations.
void FailAllocationsAfter(std::size_t successes);
void StopFailingAllocations();

}  // namespace testsupport
