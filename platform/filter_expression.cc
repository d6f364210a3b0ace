#include "platform/filter_expression.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "common/fixed_text.h"
#include "common/text_compare.h"
#include "platform/decimal_text.h"

namespace morlan {

namespace {

template <typename T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A position or length argument as a whole number: cut toward zero, kept far from overflow.
std::int64_t WholeNumber(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLimit = 1e15;
  return static_cast<std::int64_t>(std::clamp(value, -kLimit, kLimit));
}

std::uint8_t CompareNumbers(double a, double b) {
  if (a < b) return 1;   // kLess
  if (a > b) return 4;   // kGreater
  if (a == b) return 2;  // kEqual
  return 8;              // kUnordered
}

std::uint8_t CompareTexts(std::string_view a, std::string_view b) {
  // Values come without trailing blanks; clipping again costs little and keeps the rule local.
  a = ClipText(a);
  b = ClipText(b);
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? 1 : 4;
  if (a.size() == b.size()) return 2;
  return a.size() < b.size() ? 1 : 4;
}

// Position (1-based) of `sub` in `text` among start, start+step, ...; 0 when absent.
std::int64_t Find(std::string_view sub, std::string_view text, std::int64_t step,
                  std::int64_t start) {
  const auto n = static_cast<std::int64_t>(text.size());
  const auto m = static_cast<std::int64_t>(sub.size());
  if (m == 0 || step == 0 || m > n) return 0;
  const std::int64_t last = n - m + 1;  // the last position where sub fits
  const auto at = [&](std::int64_t p) {
    return std::memcmp(text.data() + (p - 1), sub.data(), static_cast<std::size_t>(m)) == 0;
  };
  if (step > 0) {
    std::int64_t p = start;
    if (p < 1) p += (1 - p + step - 1) / step * step;
    if (step == 1) {
      if (p > last) return 0;
      const std::size_t found = text.find(sub, static_cast<std::size_t>(p - 1));
      return found == std::string_view::npos ? 0 : static_cast<std::int64_t>(found) + 1;
    }
    for (; p <= last; p += step) {
      if (at(p)) return p;
    }
    return 0;
  }
  const std::int64_t back = -step;
  std::int64_t p = start;
  if (p > last) p -= (p - last + back - 1) / back * back;
  for (; p >= 1; p -= back) {
    if (at(p)) return p;
  }
  return 0;
}

}  // namespace

bool FilterExpression::Matches() {
  if (nodes_.empty()) return true;
  return Truth(root_);
}

bool FilterExpression::Truth(std::uint32_t index) {
  Value value;
  Evaluate(index, &value);
  return value.is_text ? value.size > 0 : value.number != 0;
}

void FilterExpression::TextOf(const Node& node, std::uint32_t i, std::uint32_t slot, Value* value) {
  Evaluate(Child(node, i), value);
  if (value->is_text) return;
  char* out = scratch_.data() + node.scratch + slot * kNumberText;
  const auto written = std::to_chars(out, out + kNumberText, value->number);
  value->is_text = true;
  value->text = out;
  value->size = static_cast<std::size_t>(written.ptr - out);
}

double FilterExpression::NumberOf(const Node& node, std::uint32_t i) {
  Value value;
  Evaluate(Child(node, i), &value);
  if (!value.is_text) return value.number;
  double number = 0;
  ReadDecimal({value.text, value.size}, &number);
  return number;
}

std::uint8_t FilterExpression::Compare(const Node& node) {
  Value left;
  Value right;
  Evaluate(Child(node, 0), &left);
  Evaluate(Child(node, 1), &right);
  if (left.is_text && right.is_text) {
    return CompareTexts({left.text, left.size}, {right.text, right.size});
  }
  if (!left.is_text && !right.is_text) return CompareNumbers(left.number, right.number);
  // A text and a number: as numbers when the text is one (blank counting as 0), else as texts.
  const Value& text = left.is_text ? left : right;
  const double number = left.is_text ? right.number : left.number;
  double read = 0;
  const std::string_view written(text.text, text.size);
  if (ClipText(written).empty() || ReadDecimal(written, &read)) {
    return left.is_text ? CompareNumbers(read, number) : CompareNumbers(number, read);
  }
  char* out = scratch_.data() + node.scratch;
  const auto digits = std::to_chars(out, out + kNumberText, number);
  const std::string_view shown(out, static_cast<std::size_t>(digits.ptr - out));
  return left.is_text ? CompareTexts(written, shown) : CompareTexts(shown, written);
}

void FilterExpression::Evaluate(std::uint32_t index, Value* value) {
  const Node& node = nodes_[index];
  switch (node.op) {
    case Op::kNumber:
      *value = {false, node.number, nullptr, 0};
      return;
    case Op::kText:
      *value = {true, 0, texts_.data() + node.offset, node.size};
      return;
    case Op::kField: {
      const char* address = node.file->record() + node.offset;
      switch (node.field_type) {
        case FieldType::kText: {
          const std::string_view text = ClipText({address, node.size});
          *value = {true, 0, text.data(), text.size()};
          return;
        }
        case FieldType::kByte:
          *value = {false, static_cast<double>(Load<std::uint8_t>(address)), nullptr, 0};
          return;
        case FieldType::kShort:
          *value = {false, static_cast<double>(Load<std::int16_t>(address)), nullptr, 0};
          return;
        case FieldType::kLong:
          *value = {false, static_cast<double>(Load<std::int32_t>(address)), nullptr, 0};
          return;
        case FieldType::kReal:
          *value = {false, Load<double>(address), nullptr, 0};
          return;
      }
      *value = {};
      return;
    }
    case Op::kAnd:
      for (std::uint32_t i = 0; i < node.child_count; ++i) {
        if (!Truth(Child(node, i))) {
          *value = {false, 0, nullptr, 0};
          return;
        }
      }
      *value = {false, 1, nullptr, 0};
      return;
    case Op::kOr:
      for (std::uint32_t i = 0; i < node.child_count; ++i) {
        if (Truth(Child(node, i))) {
          *value = {false, 1, nullptr, 0};
          return;
        }
      }
      *value = {false, 0, nullptr, 0};
      return;
    case Op::kNot:
      *value = {false, Truth(Child(node, 0)) ? 0.0 : 1.0, nullptr, 0};
      return;
    case Op::kCompare:
      *value = {false, (Compare(node) & node.relation) != 0 ? 1.0 : 0.0, nullptr, 0};
      return;
    case Op::kUpper:
    case Op::kLower: {
      Value text;
      TextOf(node, 0, 0, &text);
      char* out = scratch_.data() + node.result;
      const bool upper = node.op == Op::kUpper;
      for (std::size_t i = 0; i < text.size; ++i) {
        const char c = text.text[i];
        if (upper) {
          out[i] = AsciiUpper(c);
        } else {
          out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
      }
      *value = {true, 0, out, text.size};
      return;
    }
    case Op::kClip:
      // Text values never carry trailing blanks; CLIP only makes a number a text.
      TextOf(node, 0, 0, value);
      return;
    case Op::kSub: {
      Value text;
      TextOf(node, 0, 0, &text);
      const std::int64_t start = WholeNumber(NumberOf(node, 1));
      const std::int64_t length = WholeNumber(NumberOf(node, 2));
      const std::int64_t first = std::max<std::int64_t>(start, 1);
      const std::int64_t end =
          std::min<std::int64_t>(start + length, static_cast<std::int64_t>(text.size) + 1);
      if (length <= 0 || first >= end) {
        *value = {true, 0, text.text, 0};
        return;
      }
      const std::string_view part =
          ClipText({text.text + (first - 1), static_cast<std::size_t>(end - first)});
      *value = {true, 0, part.data(), part.size()};
      return;
    }
    case Op::kInstring: {
      Value sub;
      Value text;
      TextOf(node, 0, 0, &sub);
      TextOf(node, 1, 1, &text);
      const std::int64_t step = WholeNumber(NumberOf(node, 2));
      const std::int64_t start = WholeNumber(NumberOf(node, 3));
      const std::int64_t position = Find({sub.text, sub.size}, {text.text, text.size}, step, start);
      *value = {false, static_cast<double>(position), nullptr, 0};
      return;
    }
    case Op::kFormat: {
      Value argument;
      Evaluate(Child(node, 0), &argument);
      char* out = scratch_.data() + node.result;
      const std::size_t width = argument.is_text
                                    ? node.picture.Format({argument.text, argument.size}, out)
                                    : node.picture.Format(argument.number, out);
      std::string_view shown(out, width);
      // A number picture's blanks in front only align the number.
      if (!node.picture.is_text()) {
        while (!shown.empty() && shown.front() == ' ') shown.remove_prefix(1);
      }
      shown = ClipText(shown);
      *value = {true, 0, shown.data(), shown.size()};
      return;
    }
  }
  *value = {};
}

}  // namespace morlan
