#include "platform/list_format.h"

#include <cstddef>

namespace morlan {

namespace {

class Reader final {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool done() const { return at_ >= text_.size(); }
  std::size_t at() const { return at_; }
  char peek() const { return done() ? '\0' : text_[at_]; }
  void skip() { ++at_; }

  // Reads a decimal number; false (nothing read) when none starts here.
  bool Number(int* out) {
    if (peek() < '0' || peek() > '9') return false;
    long value = 0;
    while (peek() >= '0' && peek() <= '9') {
      // A width past any screen is a fault, not something to wrap around.
      if (value > 1000000) return false;
      value = value * 10 + (peek() - '0');
      skip();
    }
    *out = static_cast<int>(value);
    return true;
  }

  // Reads "(n)" when it starts here; false for a malformed one.
  bool OptionalParenthesised(int* out) {
    if (peek() != '(') return true;
    skip();
    if (!Number(out) || peek() != ')') return false;
    skip();
    return true;
  }

  // Reads up to the next `end`, which it passes; false when there is none.
  bool Until(char end, std::string* out) {
    const std::size_t stop = text_.find(end, at_);
    if (stop == std::string_view::npos) return false;
    *out = std::string(text_.substr(at_, stop - at_));
    at_ = stop + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool IsAlignment(char c) { return c == 'L' || c == 'R' || c == 'C' || c == 'D'; }

// Reads flags up to a title or the picture. False on a malformed flag.
bool ReadFlags(Reader& in, ListColumn& column) {
  for (;;) {
    const char c = in.peek();
    if (c == '~' || c == '@' || c == '\0') return true;
    in.skip();
    int number = 0;
    if (!in.OptionalParenthesised(&number)) return false;
    if (c == '|') column.right_border = true;
    if (c == 'M') column.resizable = true;
    if (c == 'S') column.scroll_width = number;
  }
}

// Reads one column; false on a fault.
bool ReadColumn(Reader& in, ListColumn& column) {
  if (!in.Number(&column.width)) return false;
  if (!IsAlignment(in.peek())) return false;
  column.alignment = static_cast<ColumnAlignment>(in.peek());
  in.skip();
  if (!in.OptionalParenthesised(&column.offset)) return false;
  if (!ReadFlags(in, column)) return false;
  if (in.peek() == '~') {
    in.skip();
    if (!in.Until('~', &column.title)) return false;
    column.title_alignment = column.alignment;
    if (IsAlignment(in.peek())) {
      column.title_alignment = static_cast<ColumnAlignment>(in.peek());
      in.skip();
      if (!in.OptionalParenthesised(&column.title_offset)) return false;
    }
    if (!ReadFlags(in, column)) return false;
  }
  if (in.peek() != '@') return false;
  in.skip();
  return in.Until('@', &column.picture);
}

}  // namespace

ListFormat ListFormat::Parse(std::string_view format) {
  ListFormat result;
  Reader in(format);
  while (!in.done()) {
    const std::size_t start = in.at();
    ListColumn column;
    if (!ReadColumn(in, column)) {
      result.ok_ = false;
      result.error_at_ = start;
      break;
    }
    result.columns_.push_back(std::move(column));
  }
  if (result.ok_) result.error_at_ = format.size();
  if (result.columns_.empty()) result.columns_.emplace_back();
  return result;
}

}  // namespace morlan
