// Counting allocator behind benchalloc::ThreadAllocations.
#include "bench/alloc_count.h"

#include <cstddef>

namespace {
thread_local uint64_t tAllocations;
}  // namespace

namespace benchalloc {

uint64_t ThreadAllocations() {
  return tAllocations;
}

}  // namespace benchalloc

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace {
void CountAllocation(const volatile void*, size_t) {
  ++tAllocations;
}
void IgnoreFree(const volatile void*) {}
[[maybe_unused]] const int kHooks =
    __sanitizer_install_malloc_and_free_hooks(CountAllocation, IgnoreFree);
}  // namespace
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
  ++tAllocations;
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
  ++tAllocations;
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
  ++tAllocations;
  return __libc_realloc(p, n);
}
}
#endif
