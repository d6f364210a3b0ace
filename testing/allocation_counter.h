// Counts the heap allocations (operator new) the calling thread makes, for tests of paths that
// must not allocate. The test binary links allocation_counter.cc, which replaces the global
// operator new and delete.
//
//   testing::AllocationCounter allocations;
//   ... the path under test ...
//   EXPECT_EQ(allocations.count(), 0);
#pragma once

#include <cstdint>

namespace morlan::testing {

class AllocationCounter final {
 public:
  AllocationCounter();
  // Allocations the calling thread made since construction (or the last Restart).
  std::int64_t count() const;
  void Restart();

 private:
  std::int64_t start_;
};

}  // namespace morlan::testing
