// The column format of a list control: one column after another, each written as
//
//   width alignment [(offset)] flags [~title~ [alignment [(offset)]]] flags @picture@
//
// e.g. "217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@" is two columns, "Message"
// 217 dialog units wide and "Category" 42 wide, both left-aligned. The width is a decimal number;
// the alignment is L (left), R (right), C (centre) or D (decimal point); the offset moves the
// text that many dialog units away from the aligned edge. Flags are single letters or "|", some
// with a number in parentheses: "|" draws a line right of the column, "M" lets the person resize
// it, "S(n)" gives it a scroll width; other flags are skipped. The title's own alignment (after
// the closing "~") places the header. The picture, between "@" signs, says how a cell is shown
// ("s255": text of up to 255 characters); it is kept as written.
//
// A list without a format has one column. A format the parser cannot read yields the columns it
// read before the fault (at least one) and ok() false, so a bad format still shows its data.
//
// Threading: a plain value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morlan {

enum class ColumnAlignment : char {
  kLeft = 'L',
  kRight = 'R',
  kCentre = 'C',
  kDecimal = 'D',
};

struct ListColumn {
  int width = 0;  // dialog units; 0: as wide as the presenter likes
  ColumnAlignment alignment = ColumnAlignment::kLeft;
  int offset = 0;
  std::string title;
  ColumnAlignment title_alignment = ColumnAlignment::kLeft;
  int title_offset = 0;
  bool right_border = false;
  bool resizable = false;
  int scroll_width = 0;
  std::string picture;  // "s255"

  friend bool operator==(const ListColumn&, const ListColumn&) = default;
};

class ListFormat final {
 public:
  // Reads `format`; an empty one gives one plain column.
  static ListFormat Parse(std::string_view format);

  const std::vector<ListColumn>& columns() const { return columns_; }
  int column_count() const { return static_cast<int>(columns_.size()); }
  // False when `format` had a fault; columns() holds what was read before it.
  bool ok() const { return ok_; }
  // Where the column the parser could not read starts (the format's length when ok).
  std::size_t error_at() const { return error_at_; }

 private:
  std::vector<ListColumn> columns_;
  bool ok_ = true;
  std::size_t error_at_ = 0;
};

}  // namespace morlan
