// Decimal numbers as text, the same in every locale: reading a plain decimal and writing a number
// in its shortest form. Shared by pictures and filter expressions; neither allocates.
#pragma once

#include <charconv>
#include <cstddef>
#include <string_view>
#include <system_error>

namespace morlan {

// Room for the shortest form of any double ("-1.7976931348623157e+308" is 24 characters).
inline constexpr std::size_t kShortestDecimalCapacity = 32;

// Reads `text` as a plain decimal number: blanks around, an optional sign, digits with an
// optional fraction ("12", "-0.5", ".5", "3.") and an optional exponent ("1e+21"). Nothing else:
// no "inf" or "nan", no hexadecimal, no grouping. False, with `*number` untouched, when the text
// is no such number or its value is out of the range of a double.
inline bool ReadDecimal(std::string_view text, double* number) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (begin < end && text[begin] == '+') ++begin;
  // from_chars accepts more than the form above (inf, nan): check the form first.
  std::size_t i = begin;
  if (i < end && text[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < end && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < end && text[i] >= '0' && text[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (i != end) return false;
  double value = 0;
  const auto result = std::from_chars(text.data() + begin, text.data() + end, value);
  if (result.ec != std::errc() || result.ptr != text.data() + end) return false;
  *number = value;
  return true;
}

// Writes `value` in its shortest decimal form that reads back exactly ("12.5", "1e+21", "-0").
inline std::string_view WriteShortestDecimal(double value, char (&out)[kShortestDecimalCapacity]) {
  const auto result = std::to_chars(out, out + kShortestDecimalCapacity, value);
  return {out, static_cast<std::size_t>(result.ptr - out)};
}

}  // namespace morlan
