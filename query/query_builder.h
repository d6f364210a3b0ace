// Turns the values a person typed into a query-by-example form into one filter expression for a
// view (see platform/view.h for the filter language).
//
// Each queried field gives one or two conditions, joined with " AND " in list order:
//   - a low value gives "field >= low"; a high value gives "field <= high" (both: a range);
//   - otherwise the value gives "field = value".
// Comparison signs typed in front of a value ("<", ">", "=", "~") join the operator; the
// operator is each of "<", ">", "~" that occurs, once, in order of first occurrence, then "="
// unless both "<" and ">" occur ("<>5" is "<> 5", "~5" is "~= 5").
// A value beginning with "*" asks for fields containing the rest:
//   INSTRING('rest',field,1,1) <> 0
// and one ending with "*" for fields beginning with the rest:
//   SUB(field,1,length) = 'rest'
// On a number field such a pattern tests the field as its picture shows it, FORMAT(field,@pic).
// "*" alone asks for anything and adds no condition.
// A value beginning with "^", or a field whose expression contains "UPPER(", is compared without
// letter case: UPPER(field) against the upper-cased value. A field whose picture is not text
// ("N9.2") has its values read back through the picture ("1,234.50" is 1234.5) unless its flag
// is set; "<>" with a blank value on such a field means "<> 0".
//
// Values reach the filter as data, never as filter text: a value stands unquoted only when it is
// a plain decimal number; any other is quoted, each "'" doubled.
//
// Limits: a filter of at most kMaxFilter characters, a written value (quoted) of at most
// kMaxValue, an expression of at most kMaxExpression and a picture of at most kMaxPicture.
// Nothing is ever cut: a query that does not fit, or that cannot be written as a filter without
// changing what it asks (an unsupported picture, a value that is no number for its picture, an
// operator the filter language has not got), is refused as a whole.
//
// Threading: a builder belongs to one thread at a time. Building allocates; it runs once per
// query, never per record.
#pragma once

#include <cstddef>
#include <string>

#include "common/levels.h"
#include "query/query.h"

namespace morlan {

class QueryBuilder final {
 public:
  static constexpr std::size_t kMaxFilter = 4999;
  static constexpr std::size_t kMaxValue = 1000;
  static constexpr std::size_t kMaxExpression = 99;
  static constexpr std::size_t kMaxPicture = 19;

  // Sets `filter` to the filter expression for every field of `query`, in list order: empty when
  // nothing was typed. FatalityNone on success. FatalityNotify when the query is refused (see
  // above): `filter` is then empty and error_text() names the field and the reason, for the
  // person to read. Setting an empty filter would deliver every record, so a caller must not set
  // `filter` unless this succeeded.
  [[nodiscard]] Level BuildFilter(const Query& query, std::string& filter);

  // Why the last BuildFilter refused the query; empty after a success.
  const std::string& error_text() const { return error_text_; }

 private:
  std::string error_text_;
};

}  // namespace morlan
