// Splits a filter text into tokens, one at a time, for the filter parser. Columns are 1-based
// byte positions in the text. The lexer keeps a view of the text, which must outlive it; it
// allocates nothing.
//
// Tokens: names ("F1", "INP:F1": a letter or "_" first, then letters, digits, "_" and ":"),
// numbers (digits with an optional fraction and exponent, no sign: "12", "1.5", ".5", "1e+21"),
// texts between apostrophes (an apostrophe inside doubled), pictures ("@" and everything up to a
// blank, "," or ")"), relations (a run of the characters < > = ~; the parser decides whether the
// run is a valid one), "(", ")", ",", "+" and "-". Blanks, tabs and line ends separate tokens.
//
// Threading: one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morlan {

enum class FilterTokenKind : std::uint8_t {
  kEnd,
  kName,
  kNumber,
  kText,
  kPicture,
  kRelation,
  kLeftParen,
  kRightParen,
  kComma,
  kPlus,
  kMinus,
  kError,  // an unterminated text or a character that starts no token; `text` tells which
};

struct FilterToken {
  FilterTokenKind kind = FilterTokenKind::kEnd;
  // The token as written; for a text, what lies between the apostrophes (doubled apostrophes
  // still doubled); for an error, the reason ("unterminated text", "unexpected character '#'").
  std::string_view text;
  std::size_t column = 0;
};

class FilterLexer final {
 public:
  explicit FilterLexer(std::string_view source) : source_(source) {}

  // The next token; kEnd, again and again, at the end of the text.
  FilterToken Next();

 private:
  std::string_view source_;
  std::size_t position_ = 0;
  // Reason text of an unexpected character, kept here so the token can point at it.
  char unexpected_[40] = {};
};

}  // namespace morlan
