// Makes an existing file refuse write access, even to root, for as long as the object lives (see
// ImmutablePath).
#pragma once

#include <string>
#include <utility>

#include "testing/immutable_path.h"

namespace morlan::testing {

class UnwritableFile final : public ImmutablePath {
 public:
  explicit UnwritableFile(std::string name) : ImmutablePath(std::move(name), 0444, 0644) {}
};

}  // namespace morlan::testing
