// Fixed-width, blank-padded text. Assignment cuts longer text and pads shorter text with blanks;
// clipping removes trailing blanks. A blank is the space character only. The free functions work
// on any byte span, so record fields use them in place; none of them allocates.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace morlan {

// `text` without its trailing blanks.
inline std::string_view ClipText(std::string_view text) {
  // Record fields are mostly padding: skip it eight blanks at a time.
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020ULL;
  const char* data = text.data();
  std::size_t n = text.size();
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, data + n - 8, sizeof word);
    if (word != kEightBlanks) break;
    n -= 8;
  }
  while (n > 0 && data[n - 1] == ' ') --n;
  return {data, n};
}

// Copies `value` into `field`, cut to the field's width and padded with blanks.
inline void AssignText(std::span<char> field, std::string_view value) {
  const std::size_t n = std::min(field.size(), value.size());
  if (n > 0) std::memmove(field.data(), value.data(), n);
  std::memset(field.data() + n, ' ', field.size() - n);
}

// Equality of two texts with trailing blanks ignored.
inline bool TextEquals(std::string_view a, std::string_view b) {
  return ClipText(a) == ClipText(b);
}

template <std::size_t N>
class FixedText {
 public:
  FixedText() { Clear(); }
  explicit FixedText(std::string_view value) { Assign(value); }

  FixedText& operator=(std::string_view value) {
    Assign(value);
    return *this;
  }

  void Assign(std::string_view value) { AssignText(span(), value); }
  void Clear() { std::memset(data_, ' ', N); }

  // The whole field, padding included.
  std::string_view view() const { return {data_, N}; }
  // The field without trailing blanks.
  std::string_view Clipped() const { return ClipText(view()); }

  char* data() { return data_; }
  const char* data() const { return data_; }
  std::span<char> span() { return {data_, N}; }
  static constexpr std::size_t capacity() { return N; }

  friend bool operator==(const FixedText& a, std::string_view b) { return TextEquals(a.view(), b); }
  template <std::size_t M>
  friend bool operator==(const FixedText& a, const FixedText<M>& b) {
    return TextEquals(a.view(), b.view());
  }

 private:
  char data_[N];
};

}  // namespace morlan
