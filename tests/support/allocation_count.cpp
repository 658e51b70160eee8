#include "tests/support/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

#if !defined(__SANITIZE_ADDRESS__)
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace alloctest {

bool counting() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#else
  return true;
#endif
}

long allocations_so_far() { return allocations.load(); }

}  // namespace alloctest
