// A dialog that asks the person for the records to process and gives them as a filter text.
//
// Threading: belongs to the thread of the record process that uses it.
#pragma once

#include <cstdint>
#include <string>

namespace morlan {

class QueryDialog {
 public:
  virtual ~QueryDialog() = default;

  // --- Virtual operations, in slot order ---

  // Runs the dialog in `mode`; non-zero when the person asked for a query.
  virtual std::uint8_t Ask(std::uint8_t mode) = 0;
  // The filter expression of the query last asked.
  virtual std::string FilterText() = 0;
};

}  // namespace morlan
