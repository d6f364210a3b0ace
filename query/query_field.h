// One queried field of a query-by-example form: the field as filters name it, its display
// picture, and what the person typed into its low, value and high boxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/fixed_text.h"

namespace morlan {

struct QueryField final {
  // Capacity of each of the three typed boxes; longer input is cut, as any fixed-width text.
  static constexpr std::size_t kValueCapacity = 500;

  // The field's expression as filters name it ("CUS:NAME", "UPPER(CUS:NAME)").
  std::string EXPRESSION;
  // Display picture without its "@" ("S20", "N9.2"); one beginning with "S" (either case) marks
  // a text field. Empty when the field has none.
  std::string PICTURE;
  // Lower bound, value or pattern, and upper bound as typed.
  FixedText<kValueCapacity> LOW;
  FixedText<kValueCapacity> VALUE;
  FixedText<kValueCapacity> HIGH;
  // When set on a field that is not text: values are taken as typed (no picture conversion) and
  // compared with their letter case.
  std::uint8_t FLAG = 0;
};

}  // namespace morlan
