// Makes a folder refuse new files and removals, even to root, for as long as the object lives
// (see ImmutablePath). Files already in it can still be read and written.
#pragma once

#include <string>
#include <utility>

#include "testing/immutable_path.h"

namespace morlan::testing {

class ReadOnlyFolder final : public ImmutablePath {
 public:
  explicit ReadOnlyFolder(std::string path) : ImmutablePath(std::move(path), 0555, 0755) {}
};

}  // namespace morlan::testing
