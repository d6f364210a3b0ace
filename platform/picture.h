// Display pictures: how a value is shown as text, and how a text typed for it is read back.
//
// Supported pictures (letters in any case; the leading "@" is optional, blanks around are ignored):
//
//   @S<w>            text, w characters (1..255). Format cuts or pads with blanks to w.
//   @N[0]<w>[.<d>]   number, w characters in all (1..255) with d decimals (0..15); the sign and
//                    the decimal point count in w. Right-aligned and padded with blanks, or with
//                    zeros after the sign when the "0" flag is given ("@N06.2" shows -1.5 as
//                    "-01.50"). No grouping separators. A number too wide for w, or one that is
//                    not finite, shows as w "#" characters. "." is the decimal point whatever
//                    the locale.
//
// Anything else (date, time and pattern pictures, grouping or other flags, a width of 0) is
// refused by Parse, so a caller can tell the person rather than show something wrong.
//
// Rounding: a number is rounded to d decimals as it is written in its shortest exact decimal
// form, halves away from zero: 2.675 shows as "2.68", -0.5 with no decimals as "-1". A value that
// rounds to zero shows without a sign.
//
// Threading: a Picture is a small immutable value; any number of threads may use one at once.
// Nothing here allocates except Parse's error text and ReadBackText's result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morlan {

class Picture final {
 public:
  enum class Kind : std::uint8_t { kText, kNumber };

  static constexpr std::size_t kMaxWidth = 255;
  static constexpr int kMaxDecimals = 15;

  // A text picture of kMaxWidth characters.
  Picture() = default;

  // Parses `text`. On success stores the picture in `*picture` and returns true. On failure
  // returns false, leaves `*picture` as it was and, when `error` is given, sets it to a short
  // reason that quotes the picture ("unsupported picture '@D6'").
  static bool Parse(std::string_view text, Picture* picture, std::string* error = nullptr);

  Kind kind() const { return kind_; }
  bool is_text() const { return kind_ == Kind::kText; }
  // Characters Format writes, always.
  std::size_t width() const { return width_; }
  // Decimals of a number picture; 0 for a text picture.
  int decimals() const { return decimals_; }
  bool zero_fill() const { return zero_fill_; }

  // Writes `value` through the picture into out[0..width()) and returns width(). A text picture
  // shows the number in its shortest decimal form ("12.5", "1e+21"), cut or padded. Allocates
  // nothing.
  std::size_t Format(double value, char* out) const;
  // Writes `text` through the picture into out[0..width()) and returns width(). A text picture
  // cuts or pads it. A number picture shows the number the text holds (the forms ReadBack
  // reads, or a plain decimal with an exponent such as "1e+21") and 0 for a text that is blank
  // or holds no number. Allocates nothing.
  std::size_t Format(std::string_view text, char* out) const;

  // Reads a text shown or typed for a number picture back to the number it stands for: blanks
  // around, a sign in front ("-", "+") or a "-" behind, digits with "," between groups of the
  // whole part, and "." before the decimals. More decimals than the picture has are rounded as
  // Format rounds. Returns false, leaving `*number` untouched, for a blank text and for one that
  // is no number in this form (letters, two points, "1e5", "inf"). For a text picture: the text
  // read as a plain decimal number, false when it is none. Allocates nothing.
  bool ReadBack(std::string_view text, double* number) const;

  // What a filter should compare for a value typed against this picture, as filter text:
  //   - a blank text gives an empty result (blank stays blank);
  //   - a number picture gives the number ReadBack reads, in its shortest decimal form
  //     ("1,234.50" gives "1234.5", "7-" gives "-7"), ready to stand unquoted in a filter;
  //   - a text picture gives the text cut to the picture's width, unchanged otherwise.
  // Returns false, leaving `*out` untouched, when a number picture is given a text that is no
  // number.
  bool ReadBackText(std::string_view text, std::string* out) const;

 private:
  Kind kind_ = Kind::kText;
  bool zero_fill_ = false;
  std::uint16_t width_ = kMaxWidth;
  int decimals_ = 0;
};

}  // namespace morlan
