// A form field whose previous value the person can put back, with HISTORYKEY in its control or
// the toolbar's restore-field button (WindowController::HISTORY, looked up by control).
//
// The saved copy holds the field's value from when the form was last completed (SaveFieldValues),
// or, before that, from when the field was added. Consecutive entries of one field (a field shown
// by several controls) share one saved copy, so every control of the field puts back the same
// value, and the copy is taken once per completion.
#pragma once

#include <cstdint>
#include <memory>

#include "common/field_ref.h"
#include "common/field_value.h"

namespace morlan {

struct FieldHistoryEntry final {
  FieldRef FIELD;                     // the field in its record buffer; FIELD.type() is its type
  std::shared_ptr<FieldValue> SAVED;  // never null in a HISTORY entry
  std::int32_t CONTROL = 0;           // the control that shows the field
};

}  // namespace morlan
