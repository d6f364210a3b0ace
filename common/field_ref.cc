#include "common/field_ref.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "common/fixed_text.h"

namespace morlan {

namespace {

template <typename T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(char* p, double value) {
  const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (std::isnan(value)) value = 0;
  T v = static_cast<T>(std::clamp(value, lo, hi));
  std::memcpy(p, &v, sizeof v);
}

// The decimal form a number takes in a text field.
std::string_view DecimalText(double value, char (&digits)[64]) {
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  return {digits, static_cast<std::size_t>(result.ptr - digits)};
}

int CompareText(std::string_view a, std::string_view b, bool no_case) {
  a = ClipText(a);
  b = ClipText(b);
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (no_case) {
      // ASCII only, whatever locale the program runs in.
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

double FieldRef::GetNumber() const {
  switch (type_) {
    case FieldType::kByte:
      return Load<std::uint8_t>(address_);
    case FieldType::kShort:
      return Load<std::int16_t>(address_);
    case FieldType::kLong:
      return Load<std::int32_t>(address_);
    case FieldType::kReal:
      return Load<double>(address_);
    case FieldType::kText:
      break;
  }
  double number = 0;
  ParseNumber({address_, size_}, &number);
  return number;
}

void FieldRef::SetNumber(double value) const {
  switch (type_) {
    case FieldType::kByte:
      return Store<std::uint8_t>(address_, value);
    case FieldType::kShort:
      return Store<std::int16_t>(address_, value);
    case FieldType::kLong:
      return Store<std::int32_t>(address_, value);
    case FieldType::kReal:
      std::memcpy(address_, &value, sizeof value);
      return;
    case FieldType::kText:
      break;
  }
  char digits[64];
  AssignText({address_, size_}, DecimalText(value, digits));
}

FieldValue FieldRef::Get() const {
  if (!valid()) return FieldValue();
  if (is_text()) return FieldValue::Text({address_, size_});
  return FieldValue::Number(GetNumber());
}

void FieldRef::Set(const FieldValue& value) const {
  if (!valid()) return;
  if (is_text() && value.is_text()) return AssignText({address_, size_}, value.text());
  if (value.is_text()) {
    double number = 0;
    ParseNumber(value.text(), &number);
    return SetNumber(number);
  }
  SetNumber(value.number());
}

void FieldRef::Clear() const {
  if (!valid()) return;
  if (is_text()) return AssignText({address_, size_}, {});
  std::memset(address_, 0, size_);
}

bool FieldRef::Holds(const FieldValue& value) const {
  return value.is_text() ? HoldsText(value.text()) : HoldsNumber(value.number());
}

bool FieldRef::Holds(const FieldRef& source) const {
  if (!source.valid()) return HoldsText({});
  if (source.is_text()) return HoldsText({source.address_, source.size_});
  return HoldsNumber(source.GetNumber());
}

bool FieldRef::HoldsText(std::string_view text) const {
  if (!valid()) return ClipText(text).empty();  // reads as blank text
  if (is_text()) return TextEquals({address_, size_}, text.substr(0, size_));
  double number = 0;
  if (!ClipText(text).empty() && !ParseNumber(text, &number)) return false;
  return GetNumber() == Stored(number);
}

bool FieldRef::HoldsNumber(double number) const {
  if (!valid()) return number == 0;
  if (!is_text()) return GetNumber() == Stored(number);
  const std::string_view field(address_, size_);
  if (number == 0 && ClipText(field).empty()) return true;
  char digits[64];
  return TextEquals(field, DecimalText(number, digits).substr(0, size_));
}

double FieldRef::Stored(double value) const {
  char scratch[sizeof(double)];
  const FieldRef probe(type_, scratch, static_cast<std::uint32_t>(sizeof scratch));
  probe.SetNumber(value);
  return probe.GetNumber();
}

void FieldRef::SetLowest() const {
  if (!valid()) return;
  if (is_text()) {
    std::memset(address_, 0x00, size_);
    return;
  }
  SetNumber(type_ == FieldType::kByte ? 0.0 : -std::numeric_limits<double>::max());
}

void FieldRef::SetHighest() const {
  if (!valid()) return;
  if (is_text()) {
    std::memset(address_, 0xFF, size_);
    return;
  }
  SetNumber(std::numeric_limits<double>::max());
}

int FieldRef::Compare(const FieldRef& other, bool no_case) const {
  if (is_text() && other.is_text()) {
    return CompareText({address_, size_}, {other.address_, other.size_}, no_case);
  }
  const double a = GetNumber();
  const double b = other.GetNumber();
  if (a == b) return 0;
  return a < b ? -1 : 1;
}

}  // namespace morlan
