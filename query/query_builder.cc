#include "query/query_builder.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "common/fixed_text.h"
#include "common/text_compare.h"
#include "platform/picture.h"

namespace morlan {
namespace {

enum class Bound { kLow, kValue, kHigh };
enum class Pattern { kNone, kContains, kBegins };

constexpr std::string_view kUpper = "UPPER(";

bool IsTextPicture(std::string_view picture) {
  return !picture.empty() && AsciiUpper(picture.front()) == 'S';
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

void UpperCase(std::string& text) {
  for (char& c : text) c = AsciiUpper(c);
}

std::string Quoted(std::string_view value) {
  std::string quoted = "'";
  for (char c : value) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

// The operator written for the signs gathered in `signs`: each of "<", ">" and "~" once, in order
// of first occurrence, then "=" when there is one, unless both "<" and ">" are there.
std::string CompleteOperator(std::string_view signs) {
  std::string op;
  for (char c : signs) {
    if ((c == '<' || c == '>' || c == '~') && op.find(c) == std::string::npos) op += c;
  }
  const bool both = op.find('<') != std::string::npos && op.find('>') != std::string::npos;
  if (!both && signs.find('=') != std::string_view::npos) op += '=';
  return op;
}

// The operators the filter language knows among those CompleteOperator can give. The rest ("><",
// "<~>", "<>~", ...) would make the view refuse the whole filter.
bool IsKnownOperator(std::string_view op) {
  static constexpr std::string_view kKnown[] = {
      "=",  "<",   ">",   "<=",  ">=", "<>", "~",   "~=", "~<",
      "~>", "~<=", "~>=", "~<>", "<~", ">~", "<~=", ">~="};
  for (std::string_view known : kKnown) {
    if (op == known) return true;
  }
  return false;
}

// True for a plain decimal number: an optional sign, digits, optionally "." and more digits, and
// optionally an exponent ("1e+21", as a picture reads a large number back).
// Only such a value may stand unquoted in a filter; anything else would be read as filter text.
bool IsPlainNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  const auto digits = [&text, &i] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > start;
  };
  if (!digits()) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (!digits()) return false;
  }
  if (i != text.size()) return false;
  // Beyond the range of a double ("1e400") the filter could not read it as a number.
  double number = 0;
  const char* first = text.data() + (text.front() == '+' ? 1 : 0);  // from_chars takes no "+"
  const auto result = std::from_chars(first, text.data() + text.size(), number);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// `expression` without an UPPER(...) that encloses all of it, so that wrapping it again does not
// double it; any other expression unchanged. Parentheses inside quoted texts do not count.
std::string_view WithoutEnclosingUpper(std::string_view expression) {
  if (expression.size() <= kUpper.size() ||
      !EqualsNoCase(expression.substr(0, kUpper.size()), kUpper)) {
    return expression;
  }
  int depth = 1;
  bool quoted = false;
  for (std::size_t i = kUpper.size(); i < expression.size(); ++i) {
    const char c = expression[i];
    if (c == '\'') quoted = !quoted;  // a doubled quote toggles twice
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) {
      if (i + 1 != expression.size()) return expression;
      return expression.substr(kUpper.size(), i - kUpper.size());
    }
  }
  return expression;
}

// One condition of a queried field, with the field's parts the conditions share.
struct Condition {
  const QueryField* field;
  std::string_view expression;  // clipped
  std::string_view picture;     // clipped, without "@"
  Bound bound;
  std::string_view typed;  // clipped
};

// Writes `condition` into `written` (left empty when it asks for nothing). False, with `reason`
// set, when it cannot be written without changing what it asks.
bool WriteCondition(const Condition& condition, std::string& written, std::string& reason) {
  const bool text_field = IsTextPicture(condition.picture);
  std::string value(condition.typed);

  // Signs typed in front of the value join the operator, in front of it.
  std::string signs = condition.bound == Bound::kLow    ? ">"
                      : condition.bound == Bound::kHigh ? "<"
                                                        : "";
  if (!value.empty()) signs += '=';
  const std::size_t first_other = value.find_first_not_of("=<>~");
  const std::size_t taken = first_other == std::string::npos ? value.size() : first_other;
  signs.insert(0, value, 0, taken);
  value.erase(0, taken);
  const std::string op = CompleteOperator(signs);

  bool no_case = false;
  if (!value.empty() && value.front() == '^') {
    no_case = true;
    value.erase(0, 1);
    UpperCase(value);
  }
  if (ContainsNoCase(condition.expression, kUpper)) {
    no_case = true;
    UpperCase(value);
  }
  std::string_view picture = condition.picture;
  if (condition.field->FLAG != 0 && !text_field) {
    no_case = false;
    picture = {};
  }

  // A number field compares the number the typed text stands for.
  const bool pattern = condition.bound == Bound::kValue && !value.empty() &&
                       (value.front() == '*' || value.back() == '*');
  if (!picture.empty() && !text_field && !pattern) {
    Picture parsed;
    if (!Picture::Parse(picture, &parsed, &reason)) return false;
    std::string number;
    if (!parsed.ReadBackText(value, &number)) {
      reason = "'" + value + "' is not a number for the picture '@" + std::string(picture) + "'";
      return false;
    }
    value = std::move(number);
    no_case = false;
    picture = {};
  }

  std::string expression(condition.expression);
  Pattern kind = Pattern::kNone;
  if (pattern && value.front() == '*') {
    kind = Pattern::kContains;
    value.erase(0, 1);
  } else if (pattern) {
    kind = Pattern::kBegins;
    value.pop_back();
  }
  // "*" alone contains anything: no condition, where INSTRING of nothing would find nothing.
  if (kind == Pattern::kContains && value.empty()) return true;
  if (kind != Pattern::kNone && !picture.empty() && !text_field) {
    Picture parsed;
    if (!Picture::Parse(picture, &parsed, &reason)) return false;
    expression = "FORMAT(" + expression + ",@" + std::string(picture) + ")";
    no_case = true;
  }
  if (expression.size() > QueryBuilder::kMaxExpression) {
    reason = "the expression with its picture is longer than 99 characters";
    return false;
  }

  if (op == "<>" && value.empty() && !text_field) value = "0";
  if (kind == Pattern::kNone && !IsKnownOperator(op)) {
    reason = "the operator '" + op + "' is not understood";
    return false;
  }

  // Without letter case both sides are upper-cased: the value here, the field in the filter.
  if (no_case) {
    if (!value.empty() && value.front() == '^') value.erase(0, 1);
    UpperCase(value);
    expression = "UPPER(" + std::string(WithoutEnclosingUpper(expression)) + ")";
  }

  const bool quote = kind != Pattern::kNone || text_field || !IsPlainNumber(value);
  const std::string operand = quote ? Quoted(value) : value;
  if (operand.size() > QueryBuilder::kMaxValue) {
    reason = "the value is longer than 1,000 characters once quoted";
    return false;
  }
  if (kind == Pattern::kContains) {
    written = "INSTRING(" + operand + "," + expression + ",1,1) <> 0";
  } else if (kind == Pattern::kBegins) {
    written = "SUB(" + expression + ",1," + std::to_string(value.size()) + ") = " + operand;
  } else {
    written = "(" + expression + " " + op + " " + operand + ")";
  }
  return true;
}

// The text that names `expression` in a refusal.
std::string Refusal(std::string_view expression, std::string_view reason) {
  std::string text = expression.empty() ? "A query field" : "Query field '";
  if (!expression.empty()) {
    text += expression;
    text += "'";
  }
  text += ": ";
  text += reason;
  return text;
}

}  // namespace

Level QueryBuilder::BuildFilter(const Query& query, std::string& filter) {
  filter.clear();
  error_text_.clear();
  std::string built;
  std::string written;
  std::string reason;
  for (const QueryField& field : query.fields()) {
    Condition condition{.field = &field,
                        .expression = ClipText(field.EXPRESSION),
                        .picture = ClipText(field.PICTURE),
                        .bound = Bound::kValue,
                        .typed = field.VALUE.Clipped()};
    if (!condition.picture.empty() && condition.picture.front() == '@') {
      condition.picture.remove_prefix(1);
    }
    // A low value gives a condition and brings the high one along; a high value alone gives
    // one; otherwise the value gives one. A field with nothing typed gives none, whatever its
    // expression and picture.
    const std::string_view low = field.LOW.Clipped();
    const std::string_view high = field.HIGH.Clipped();
    if (low.empty() && high.empty() && condition.typed.empty()) continue;

    std::string_view problem;
    if (condition.expression.empty()) problem = "no expression names it";
    if (condition.expression.size() > kMaxExpression) {
      problem = "the expression is longer than 99 characters";
    }
    if (condition.picture.size() > kMaxPicture)
      problem = "the picture is longer than 19 characters";
    if (!problem.empty()) {
      error_text_ = Refusal(condition.expression, problem);
      return FatalityNotify;
    }

    Condition conditions[2] = {condition, condition};
    int count = 0;
    if (!low.empty()) {
      conditions[count].bound = Bound::kLow;
      conditions[count++].typed = low;
    }
    if (!high.empty()) {
      conditions[count].bound = Bound::kHigh;
      conditions[count++].typed = high;
    }
    if (count == 0) ++count;

    for (int i = 0; i < count; ++i) {
      written.clear();
      if (!WriteCondition(conditions[i], written, reason)) {
        error_text_ = Refusal(condition.expression, reason);
        return FatalityNotify;
      }
      if (written.empty()) continue;
      if (!built.empty()) built += " AND ";
      built += written;
      if (built.size() > kMaxFilter) {
        error_text_ = "Query: the filter would be longer than 4,999 characters";
        return FatalityNotify;
      }
    }
  }
  filter = std::move(built);
  return FatalityNone;
}

}  // namespace morlan
