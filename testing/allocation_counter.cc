#include "testing/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::int64_t thread_allocations = 0;

}  // namespace

// The other forms of new (arrays, nothrow) come through this one.
void* operator new(std::size_t size) {
  ++thread_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace morlan::testing {

AllocationCounter::AllocationCounter() : start_(thread_allocations) {}

std::int64_t AllocationCounter::count() const { return thread_allocations - start_; }

void AllocationCounter::Restart() { start_ = thread_allocations; }

}  // namespace morlan::testing
