// Comparisons of short texts that the framework makes on hot paths and for names: byte equality
// without a library call, and ASCII case-insensitive equality (independent of the locale).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace morlan {

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equality of two texts, byte for byte, letter case ignored for A-Z only.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Equality of two short texts, compared in place: names are compared on every record operation,
// where a library call costs more than the comparison itself.
inline bool SameText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const auto load8 = [](const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  };
  const auto load4 = [](const char* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  };
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      if (load8(a.data() + i) != load8(b.data() + i)) return false;
    }
    return load8(a.data() + n - 8) == load8(b.data() + n - 8);  // the tail, overlapping
  }
  if (n >= 4) {
    return load4(a.data()) == load4(b.data()) && load4(a.data() + n - 4) == load4(b.data() + n - 4);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace morlan
