// Maps the value of a key field to a completion percentage, for a record process that reads
// along a key whose values spread over a known range (a date, a name): the process sets the
// lowest and highest values of its order once per run, then asks for the percentage of each
// record's value.
//
// Threading: belongs to the thread of the record process that uses it.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/field_ref.h"

namespace morlan {

class StepManager {
 public:
  virtual ~StepManager() = default;

  // --- Virtual operations, in slot order ---

  // Percentage (0..100) of `value`'s way from the low limit to the high one. `value` refers to
  // the record's field, or to an upper-cased copy of it; it is good only during the call.
  // Called for every record read: it should not allocate.
  virtual std::uint8_t Percentage(const FieldRef& value) = 0;
  // The record process is being killed.
  virtual void Kill() = 0;
  // The values of the first and the last record of the order, as texts of at most 64
  // characters (upper-cased unless the process compares case-sensitively).
  virtual void SetLimits(std::string_view low, std::string_view high) = 0;
};

}  // namespace morlan
