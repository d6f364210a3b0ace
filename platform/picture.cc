#include "platform/picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/decimal_text.h"

namespace morlan {

namespace {

// Room for any finite double written in fixed notation, shortest form (about 330 characters),
// plus the decimals a picture may ask for.
constexpr std::size_t kFixedCapacity = 400;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of decimal digits at `*i` as a number no larger than `limit`; false when there
// are none or the value is larger.
bool ReadCount(std::string_view text, std::size_t* i, int limit, int* value) {
  const std::size_t begin = *i;
  int n = 0;
  while (*i < text.size() && IsDigit(text[*i])) {
    n = n * 10 + (text[*i] - '0');
    if (n > limit) return false;
    ++*i;
  }
  if (*i == begin) return false;
  *value = n;
  return true;
}

// A decimal number split into its sign and digits, in a fixed buffer: `digits` holds the whole
// part followed by the fraction, `whole` of them before the point.
struct Decimal {
  bool negative = false;
  char digits[kFixedCapacity];
  std::size_t size = 0;
  std::size_t whole = 0;

  bool Push(char c) {
    if (size == sizeof digits) return false;
    digits[size++] = c;
    return true;
  }

  // Rounds to `decimals` places, halves away from zero, and pads the fraction with zeros to
  // exactly that many. False when the result would not fit.
  bool Round(int decimals) {
    const std::size_t keep = whole + static_cast<std::size_t>(decimals);
    if (size > keep) {
      const bool up = digits[keep] >= '5';
      size = keep;
      if (up) {
        std::size_t i = size;
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i > 0) {
          ++digits[i - 1];
        } else {
          // Every digit carried: one more whole digit in front.
          if (size == sizeof digits) return false;
          std::memmove(digits + 1, digits, size);
          digits[0] = '1';
          ++size;
          ++whole;
        }
      }
    }
    while (size < whole + static_cast<std::size_t>(decimals)) {
      if (!Push('0')) return false;
    }
    return true;
  }

  // Drops leading zeros of the whole part, keeping one.
  void TrimWhole() {
    std::size_t zeros = 0;
    while (zeros + 1 < whole && digits[zeros] == '0') ++zeros;
    if (zeros == 0) return;
    std::memmove(digits, digits + zeros, size - zeros);
    size -= zeros;
    whole -= zeros;
  }

  bool IsZero() const {
    return std::all_of(digits, digits + size, [](char c) { return c == '0'; });
  }

  // "[-]whole[.fraction]" into `out`; returns its length, 0 when it does not fit.
  std::size_t Write(char* out, std::size_t capacity) const {
    const bool sign = negative && !IsZero();
    const std::size_t length = (sign ? 1 : 0) + size + (size > whole ? 1 : 0);
    if (length > capacity) return 0;
    std::size_t n = 0;
    if (sign) out[n++] = '-';
    std::memcpy(out + n, digits, whole);
    n += whole;
    if (size > whole) {
      out[n++] = '.';
      std::memcpy(out + n, digits + whole, size - whole);
      n += size - whole;
    }
    return n;
  }
};

// Splits a finite double into `decimal`: the digits of its shortest form that reads back
// exactly ("2.675", not the 2.67499999... it holds), placed by their exponent.
bool Split(double value, Decimal* decimal) {
  char text[kShortestDecimalCapacity];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  if (result.ec != std::errc()) return false;
  *decimal = Decimal();
  const char* p = text;
  if (*p == '-') {
    decimal->negative = true;
    ++p;
  }
  char mantissa[kShortestDecimalCapacity];
  std::size_t digits = 0;
  for (; p < result.ptr && *p != 'e'; ++p) {
    if (*p != '.') mantissa[digits++] = *p;
  }
  int exponent = 0;
  if (p == result.ptr ||
      std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), result.ptr, exponent).ec != std::errc()) {
    return false;
  }
  // d.ddd times ten to the exponent.
  if (exponent < 0) {
    decimal->Push('0');
    for (int i = 0; i < -exponent - 1; ++i) decimal->Push('0');
    decimal->whole = 1;
  } else {
    decimal->whole = static_cast<std::size_t>(exponent) + 1;
  }
  for (std::size_t i = 0; i < digits; ++i) {
    if (!decimal->Push(mantissa[i])) return false;
  }
  while (decimal->size < decimal->whole) {
    if (!decimal->Push('0')) return false;
  }
  return true;
}

// Reads the typed forms ReadBack accepts into `decimal`.
bool SplitTyped(std::string_view text, Decimal* decimal) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  if (begin == end) return false;
  *decimal = Decimal();
  bool signed_in_front = false;
  if (text[begin] == '-' || text[begin] == '+') {
    decimal->negative = text[begin] == '-';
    signed_in_front = true;
    ++begin;
  }
  if (begin < end && text[end - 1] == '-') {
    if (signed_in_front) return false;
    decimal->negative = true;
    --end;
    while (end > begin && text[end - 1] == ' ') --end;
  }
  std::size_t i = begin;
  bool leading = true;  // leading zeros of the whole part are not kept
  std::size_t digits = 0;
  for (; i < end && text[i] != '.'; ++i) {
    const char c = text[i];
    if (c == ',') {
      // Only between two digits of the whole part.
      if (i == begin || !IsDigit(text[i - 1]) || i + 1 >= end || !IsDigit(text[i + 1])) {
        return false;
      }
      continue;
    }
    if (!IsDigit(c)) return false;
    ++digits;
    if (leading && c == '0') continue;
    leading = false;
    if (!decimal->Push(c)) return false;
  }
  if (decimal->size == 0) decimal->Push('0');
  decimal->whole = decimal->size;
  if (i < end) {
    for (++i; i < end; ++i) {
      if (!IsDigit(text[i])) return false;
      ++digits;
      // Decimals beyond what any picture rounds to change nothing once rounded; keep enough.
      if (decimal->size - decimal->whole <= static_cast<std::size_t>(Picture::kMaxDecimals) + 1) {
        if (!decimal->Push(text[i])) return false;
      }
    }
  }
  return digits > 0;
}

bool ToDouble(const Decimal& decimal, double* number) {
  char text[kFixedCapacity + 2];
  const std::size_t n = decimal.Write(text, sizeof text);
  if (n == 0) return false;
  double value = 0;
  const auto result = std::from_chars(text, text + n, value);
  if (result.ec != std::errc()) return false;
  *number = value;
  return true;
}

}  // namespace

bool Picture::Parse(std::string_view text, Picture* picture, std::string* error) {
  std::string_view body = text;
  while (!body.empty() && body.front() == ' ') body.remove_prefix(1);
  while (!body.empty() && body.back() == ' ') body.remove_suffix(1);
  if (!body.empty() && body.front() == '@') body.remove_prefix(1);

  Picture parsed;
  bool ok = false;
  if (!body.empty()) {
    const char kind = body.front();
    std::size_t i = 1;
    int width = 0;
    if (kind == 'S' || kind == 's') {
      parsed.kind_ = Kind::kText;
      ok =
          ReadCount(body, &i, static_cast<int>(kMaxWidth), &width) && width > 0 && i == body.size();
    } else if (kind == 'N' || kind == 'n') {
      parsed.kind_ = Kind::kNumber;
      if (i + 1 < body.size() && body[i] == '0' && IsDigit(body[i + 1])) {
        parsed.zero_fill_ = true;
        ++i;
      }
      int decimals = 0;
      ok = ReadCount(body, &i, static_cast<int>(kMaxWidth), &width) && width > 0;
      if (ok && i < body.size() && body[i] == '.') {
        ++i;
        ok = ReadCount(body, &i, kMaxDecimals, &decimals);
        // Room for at least "0." and the decimals.
        ok = ok && width >= decimals + 2;
      }
      ok = ok && i == body.size();
      parsed.decimals_ = decimals;
    }
    parsed.width_ = static_cast<std::uint16_t>(width);
  }
  if (!ok) {
    if (error != nullptr) {
      *error = "unsupported picture '";
      error->append(text.substr(0, std::min<std::size_t>(text.size(), 40)));
      *error += '\'';
    }
    return false;
  }
  *picture = parsed;
  return true;
}

std::size_t Picture::Format(double value, char* out) const {
  const std::size_t width = width_;
  if (is_text()) {
    char digits[kShortestDecimalCapacity];
    return Format(WriteShortestDecimal(value, digits), out);
  }
  Decimal decimal;
  char text[kFixedCapacity + 2];
  std::size_t length = 0;
  if (std::isfinite(value) && Split(value, &decimal) && decimal.Round(decimals_)) {
    decimal.TrimWhole();
    length = decimal.Write(text, sizeof text);
  }
  if (length == 0 || length > width) {
    std::memset(out, '#', width);
    return width;
  }
  const std::size_t pad = width - length;
  if (!zero_fill_) {
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text, length);
    return width;
  }
  // Zeros go between the sign and the digits.
  const std::size_t sign = text[0] == '-' ? 1 : 0;
  std::memcpy(out, text, sign);
  std::memset(out + sign, '0', pad);
  std::memcpy(out + sign + pad, text + sign, length - sign);
  return width;
}

std::size_t Picture::Format(std::string_view text, char* out) const {
  const std::size_t width = width_;
  if (is_text()) {
    const std::size_t n = std::min(width, text.size());
    std::memcpy(out, text.data(), n);
    std::memset(out + n, ' ', width - n);
    return width;
  }
  double number = 0;
  if (!ReadBack(text, &number) && !ReadDecimal(text, &number)) number = 0;
  return Format(number, out);
}

bool Picture::ReadBack(std::string_view text, double* number) const {
  if (is_text()) return ReadDecimal(text, number);
  Decimal decimal;
  if (!SplitTyped(text, &decimal) || !decimal.Round(decimals_)) return false;
  return ToDouble(decimal, number);
}

bool Picture::ReadBackText(std::string_view text, std::string* out) const {
  if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; })) {
    out->clear();
    return true;
  }
  if (is_text()) {
    out->assign(text.substr(0, std::min<std::size_t>(text.size(), width_)));
    return true;
  }
  double number = 0;
  if (!ReadBack(text, &number)) return false;
  // A negative zero is just zero to whoever compares it.
  if (number == 0) number = 0;
  char digits[kShortestDecimalCapacity];
  out->assign(WriteShortestDecimal(number, digits));
  return true;
}

}  // namespace morlan
