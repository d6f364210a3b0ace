#include "platform/filter_expression.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/fixed_text.h"
#include "platform/decimal_text.h"

namespace morlan {

namespace {

template <typename T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Changes the case of the ASCII letters among eight bytes at once: `first` and `last` are 'a'
// and 'z' for upper case, 'A' and 'Z' for lower case. Other bytes, above 127 too, stay.
std::uint64_t ChangeCase(std::uint64_t x, char first, char last) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  const std::uint64_t low7 = x & ~kHigh;
  // The high bit of each byte tells: at least `first`, more than `last`.
  const std::uint64_t from = low7 + kOnes * static_cast<std::uint64_t>(0x80 - first);
  const std::uint64_t beyond = low7 + kOnes * static_cast<std::uint64_t>(0x80 - last - 1);
  const std::uint64_t letters = from & ~beyond & ~x & kHigh;
  return x ^ (letters >> 2);  // 0x80 >> 2 is the case bit 0x20
}

void ChangeCase(const char* in, std::size_t n, char* out, bool upper) {
  const char first = upper ? 'a' : 'A';
  const char last = upper ? 'z' : 'Z';
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, sizeof word);
    word = ChangeCase(word, first, last);
    std::memcpy(out + i, &word, sizeof word);
  }
  for (; i < n; ++i) {
    const char c = in[i];
    out[i] = c >= first && c <= last ? static_cast<char>(c ^ 0x20) : c;
  }
}

// A field without its trailing blanks. Fields are mostly padding, skipped 64 bytes a step, with
// SSE2 where the processor has it (every x86-64 does), else eight bytes at a time.
inline std::string_view ClipField(const char* data, std::size_t n) {
#if defined(__SSE2__)
  const __m128i blanks = _mm_set1_epi8(' ');
  const auto blank16 = [&](std::size_t at) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), blanks);
  };
  while (n >= 64) {
    const __m128i all = _mm_and_si128(_mm_and_si128(blank16(n - 64), blank16(n - 48)),
                                      _mm_and_si128(blank16(n - 32), blank16(n - 16)));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
    n -= 64;
  }
  while (n >= 16) {
    const unsigned others = ~static_cast<unsigned>(_mm_movemask_epi8(blank16(n - 16))) & 0xFFFFu;
    // The last byte that is not a blank ends the text.
    if (others != 0) return {data, n - 16 + static_cast<std::size_t>(std::bit_width(others))};
    n -= 16;
  }
#endif
  return ClipText({data, n});
}

std::uint8_t CompareNumbers(double a, double b) {
  if (a < b) return 1;   // kLess
  if (a > b) return 4;   // kGreater
  if (a == b) return 2;  // kEqual
  return 8;              // kUnordered
}

// Every text value comes without trailing blanks (fields and results are clipped as they are
// made, constants when parsed), so comparing them as they are ignores trailing blanks.
std::uint8_t CompareTexts(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  // Most comparisons are decided in the first bytes: no library call for those.
  std::size_t i = 0;
  for (; i < n && i < 8; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? 1 : 4;
  }
  const int c = i == n ? 0 : std::memcmp(a.data() + i, b.data() + i, n - i);
  if (c != 0) return c < 0 ? 1 : 4;
  if (a.size() == b.size()) return 2;
  return a.size() < b.size() ? 1 : 4;
}

// True when `sub` stands at `text`, which has `room` bytes up to its end (at least sub's
// size); with `fold` the text's letters count as upper case. Eight bytes a step where there is
// room for them.
bool SameAt(const char* text, std::size_t room, std::string_view sub, bool fold) {
  const std::size_t m = sub.size();
  std::size_t j = 0;
  if (room >= 8) {
    for (; j + 8 <= m || (j < m && j + 8 <= room); j += 8) {
      std::uint64_t have;
      std::uint64_t want = 0;
      std::memcpy(&have, text + j, sizeof have);
      const std::size_t count = std::min<std::size_t>(8, m - j);
      std::memcpy(&want, sub.data() + j, count);
      if (fold) have = ChangeCase(have, 'a', 'z');
      // Only the bytes sub still has count.
      std::uint64_t keep = ~std::uint64_t{0};
      if (count < 8) {
        keep = std::endian::native == std::endian::little ? (std::uint64_t{1} << (8 * count)) - 1
                                                          : ~(~std::uint64_t{0} >> (8 * count));
      }
      if (((have ^ want) & keep) != 0) return false;
    }
  }
  for (; j < m; ++j) {
    const char c = text[j];
    if ((fold && c >= 'a' && c <= 'z' ? static_cast<char>(c ^ 0x20) : c) != sub[j]) return false;
  }
  return true;
}

// Index of the first `sub` in `text` at or after `from`, or npos; `sub` is not empty and, with
// `fold`, has no lower-case letters. Many positions a step: a position is tried only when both
// the first and the last byte of `sub` are there (in either case, with `fold`).
std::size_t Search(std::string_view text, std::string_view sub, std::size_t from, bool fold) {
  const std::size_t n = text.size();
  const std::size_t m = sub.size();
  if (m > n || from > n - m) return std::string_view::npos;
  const char* data = text.data();
  const std::size_t positions = n - m + 1;  // positions 0 .. positions-1 can hold sub
  // The byte `c` of sub and, with `fold`, its lower-case twin when it is a letter.
  const auto twin = [fold](char c) {
    return fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c ^ 0x20) : c;
  };
  std::size_t p = from;
#if defined(__SSE2__)
  if (positions >= 16) {
    const __m128i first = _mm_set1_epi8(sub.front());
    const __m128i first_twin = _mm_set1_epi8(twin(sub.front()));
    const __m128i last = _mm_set1_epi8(sub.back());
    const __m128i last_twin = _mm_set1_epi8(twin(sub.back()));
    while (p < positions) {
      // The last block overlaps the one before; positions before p are masked off.
      const std::size_t block = std::min(p, positions - 16);
      const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block));
      const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + block + m - 1));
      const __m128i heads =
          _mm_or_si128(_mm_cmpeq_epi8(head, first), _mm_cmpeq_epi8(head, first_twin));
      const __m128i tails =
          _mm_or_si128(_mm_cmpeq_epi8(tail, last), _mm_cmpeq_epi8(tail, last_twin));
      unsigned candidates = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(heads, tails)));
      candidates &= ~0u << (p - block);
      while (candidates != 0) {
        const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(candidates));
        if (SameAt(data + at, n - at, sub, fold)) return at;
        candidates &= candidates - 1;
      }
      p = block + 16;
    }
    return std::string_view::npos;
  }
#endif
  const char first = sub.front();
  const char first_twin = twin(first);
  for (; p < positions; ++p) {
    const char c = data[p];
    if ((c == first || c == first_twin) && SameAt(data + p, n - p, sub, fold)) return p;
  }
  return std::string_view::npos;
}

// Position (1-based) of `sub` in `text` among start, start+step, ...; 0 when absent. With `fold`
// the text's letters count as upper case (`sub` then has no lower-case letters).
std::int64_t Find(std::string_view sub, std::string_view text, std::int64_t step,
                  std::int64_t start, bool fold) {
  const auto n = static_cast<std::int64_t>(text.size());
  const auto m = static_cast<std::int64_t>(sub.size());
  if (m == 0 || step == 0 || m > n) return 0;
  const std::int64_t last = n - m + 1;  // the last position where sub fits
  const auto at = [&](std::int64_t p) {
    return SameAt(text.data() + (p - 1), static_cast<std::size_t>(n - p + 1), sub, fold);
  };
  if (step > 0) {
    std::int64_t p = start;
    if (p < 1) p += (1 - p + step - 1) / step * step;
    if (step == 1) {
      if (p > last) return 0;
      const std::size_t found = Search(text, sub, static_cast<std::size_t>(p - 1), fold);
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

std::int64_t FilterExpression::WholeNumber(double value) {
  // Cut toward zero, and kept far from overflow in the arithmetic on positions.
  if (std::isnan(value)) return 0;
  constexpr double kLimit = 1e15;
  return static_cast<std::int64_t>(std::clamp(value, -kLimit, kLimit));
}

bool FilterExpression::Matches() {
  if (nodes_.empty()) return true;
  return Truth(root_);
}

// Conditions are tested here directly rather than through Evaluate's dispatch: a filter is
// mostly conditions over constants and fields, and the dispatch costs more than they do.
bool FilterExpression::Truth(std::uint32_t index) {
  const Node& node = nodes_[index];
  if (node.op == Op::kCompare) return (Compare(node) & node.relation) != 0;
  if (node.op == Op::kAnd) {
    for (std::uint32_t i = 0; i < node.child_count; ++i) {
      if (!Truth(Child(node, i))) return false;
    }
    return true;
  }
  if (node.op == Op::kOr) {
    for (std::uint32_t i = 0; i < node.child_count; ++i) {
      if (Truth(Child(node, i))) return true;
    }
    return false;
  }
  if (node.op == Op::kNot) return !Truth(Child(node, 0));
  Value value;
  Operand(index, &value);
  return value.is_text ? value.size > 0 : value.number != 0;
}

// Constants and fields, the usual operands, without Evaluate's dispatch.
inline void FilterExpression::Operand(std::uint32_t index, Value* value) {
  const Node& node = nodes_[index];
  if (node.op == Op::kNumber) {
    *value = {false, node.number, nullptr, 0};
    return;
  }
  if (node.op == Op::kText) {
    *value = {true, 0, texts_.data() + node.offset, node.size};
    return;
  }
  if (node.op == Op::kField && node.field_type == FieldType::kText) {
    const std::string_view text = ClipField(node.file->record() + node.offset, node.size);
    *value = {true, 0, text.data(), text.size()};
    return;
  }
  // What the system's own filters test ("contains", "begins with") comes next.
  if (node.op == Op::kInstring) {
    *value = {false, static_cast<double>(InstringOf(node)), nullptr, 0};
    return;
  }
  if (node.op == Op::kSub) return SubOf(node, value);
  Evaluate(index, value);
}

inline void FilterExpression::TextOf(const Node& node, std::uint32_t i, std::uint32_t slot,
                                     Value* value) {
  Operand(Child(node, i), value);
  if (!value->is_text) WriteNumber(node, slot, value);
}

void FilterExpression::WriteNumber(const Node& node, std::uint32_t slot, Value* value) {
  char* out = scratch_.data() + node.scratch + slot * kNumberText;
  const auto written = std::to_chars(out, out + kNumberText, value->number);
  value->is_text = true;
  value->text = out;
  value->size = static_cast<std::size_t>(written.ptr - out);
}

inline std::int64_t FilterExpression::WholeOf(const Node& node, std::uint32_t i) {
  const Node& child = nodes_[Child(node, i)];
  if (child.op == Op::kNumber) return child.whole;
  return WholeNumber(NumberOf(node, i));
}

double FilterExpression::NumberOf(const Node& node, std::uint32_t i) {
  const Node& child = nodes_[Child(node, i)];
  if (child.op == Op::kNumber) return child.number;
  Value value;
  Operand(Child(node, i), &value);
  if (!value.is_text) return value.number;
  double number = 0;
  ReadDecimal({value.text, value.size}, &number);
  return number;
}

std::uint8_t FilterExpression::Compare(const Node& node) {
  // The shapes the system writes most, "INSTRING(...) <> 0" and "SUB(...) = 'text'", directly.
  const Node& constant = nodes_[Child(node, 1)];
  const Node& tested = nodes_[Child(node, 0)];
  if (constant.op == Op::kNumber && tested.op == Op::kInstring) {
    return CompareNumbers(static_cast<double>(InstringOf(tested)), constant.number);
  }
  if (constant.op == Op::kText && tested.op == Op::kSub) {
    Value part;
    SubOf(tested, &part);
    return CompareTexts({part.text, part.size}, {texts_.data() + constant.offset, constant.size});
  }
  Value left;
  Value right;
  Operand(Child(node, 0), &left);
  Operand(Child(node, 1), &right);
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

void FilterExpression::SubOf(const Node& node, Value* value) {
  Value text;
  const Node& source = nodes_[Child(node, 0)];
  if (source.op == Op::kField && source.field_type == FieldType::kText) {
    // The padding reads as blanks, which the result drops: no need to clip the whole field.
    text = {true, 0, source.file->record() + source.offset, source.size};
  } else {
    TextOf(node, 0, 0, &text);
  }
  const std::int64_t start = WholeOf(node, 1);
  const std::int64_t length = WholeOf(node, 2);
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
}

std::int64_t FilterExpression::InstringOf(const Node& node) {
  const Node& constant = nodes_[Child(node, 0)];
  const Node& field = nodes_[Child(node, 1)];
  if (constant.op == Op::kText && field.op == Op::kField && field.field_type == FieldType::kText) {
    // A constant searched for in a text field: the common case, without the general steps.
    return Find({texts_.data() + constant.offset, constant.size},
                ClipField(field.file->record() + field.offset, field.size), WholeOf(node, 2),
                WholeOf(node, 3), node.fold_case);
  }
  Value sub;
  Value text;
  TextOf(node, 0, 0, &sub);
  TextOf(node, 1, 1, &text);
  return Find({sub.text, sub.size}, {text.text, text.size}, WholeOf(node, 2), WholeOf(node, 3),
              node.fold_case);
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
          const std::string_view text = ClipField(address, node.size);
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
      ChangeCase(text.text, text.size, out, node.op == Op::kUpper);
      *value = {true, 0, out, text.size};
      return;
    }
    case Op::kClip:
      // Text values never carry trailing blanks; CLIP only makes a number a text.
      TextOf(node, 0, 0, value);
      return;
    case Op::kSub:
      return SubOf(node, value);
    case Op::kInstring:
      *value = {false, static_cast<double>(InstringOf(node)), nullptr, 0};
      return;
    case Op::kFormat: {
      Value argument;
      Operand(Child(node, 0), &argument);
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
