// A query-by-example form's content: its queried fields in list order. QueryBuilder turns it into
// one filter expression for a view.
//
// Threading: belongs to the thread of the form that fills it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

#include "query/query_field.h"

namespace morlan {

class Query final {
 public:
  Query() = default;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // Appends a field with empty boxes and returns it. The reference stays valid for the life of
  // the query (fields are never moved).
  QueryField& AddField(std::string_view expression, std::string_view picture = {},
                       std::uint8_t flag = 0);
  // The first field whose expression is `expression` (letter case ignored), or nullptr.
  QueryField* Find(std::string_view expression);
  // Blanks the low, value and high boxes of every field; the fields stay.
  void ClearValues();

  const std::deque<QueryField>& fields() const { return fields_; }
  std::size_t size() const { return fields_.size(); }

 private:
  std::deque<QueryField> fields_;
};

}  // namespace morlan
