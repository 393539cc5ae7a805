// Heap allocations counted per thread, for benchmarks that must show a loop allocates nothing.
// Linking alloc_count.cpp replaces the C library's allocation entry points (operator new goes
// through them), or, in sanitizer builds, installs the sanitizer's allocation hook.
#pragma once

#include <cstdint>

namespace benchalloc {

// Number of heap allocations the calling thread has made so far. Any thread.
uint64_t ThreadAllocations();

}  // namespace benchalloc
