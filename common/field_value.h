// A value of any field type: text or number. Used where the framework copies or compares fields
// without knowing their types (field pairs, key components, progress by key value).
#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "common/fixed_text.h"

namespace morlan {

// Reads `text` as a decimal number; blanks around it are allowed, anything else is not (no
// hexadecimal, no trailing letters). False, with `*number` untouched, when it is not a number.
inline bool ParseNumber(std::string_view text, double* number) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  text = ClipText(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  *number = value;
  return true;
}

class FieldValue final {
 public:
  FieldValue() = default;  // a blank text
  static FieldValue Text(std::string_view text) {
    FieldValue v;
    v.is_text_ = true;
    v.text_ = std::string(text);
    return v;
  }
  static FieldValue Number(double number) {
    FieldValue v;
    v.is_text_ = false;
    v.number_ = number;
    return v;
  }

  bool is_text() const { return is_text_; }
  std::string_view text() const { return text_; }
  double number() const { return number_; }

  // Blank text, or zero, keeping the kind.
  void Clear() {
    text_.clear();
    number_ = 0;
  }

  // Texts compare with trailing blanks ignored, numbers by value. A text equals a number only
  // when the whole text (blanks aside) reads as that number.
  friend bool operator==(const FieldValue& a, const FieldValue& b) {
    if (a.is_text_ && b.is_text_) return TextEquals(a.text_, b.text_);
    if (!a.is_text_ && !b.is_text_) return a.number_ == b.number_;
    const FieldValue& t = a.is_text_ ? a : b;
    const FieldValue& n = a.is_text_ ? b : a;
    if (ClipText(t.text_).empty()) return n.number_ == 0;
    double parsed = 0;
    return ParseNumber(t.text_, &parsed) && parsed == n.number_;
  }

 private:
  bool is_text_ = true;
  std::string text_;
  double number_ = 0;
};

}  // namespace morlan
