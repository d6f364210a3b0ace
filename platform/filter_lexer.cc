#include "platform/filter_lexer.h"

#include <cstdio>

namespace morlan {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsRelation(char c) { return c == '<' || c == '>' || c == '=' || c == '~'; }

}  // namespace

FilterToken FilterLexer::Next() {
  const std::string_view s = source_;
  std::size_t i = position_;
  while (i < s.size() && IsBlank(s[i])) ++i;
  FilterToken token;
  token.column = i + 1;
  if (i == s.size()) {
    position_ = i;
    token.kind = FilterTokenKind::kEnd;
    return token;
  }

  const std::size_t begin = i;
  const char c = s[i];
  const auto finish = [&](FilterTokenKind kind, std::size_t end) {
    token.kind = kind;
    token.text = s.substr(begin, end - begin);
    position_ = end;
    return token;
  };

  if (IsLetter(c)) {
    ++i;
    while (i < s.size() && (IsLetter(s[i]) || IsDigit(s[i]) || s[i] == ':')) ++i;
    return finish(FilterTokenKind::kName, i);
  }
  if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))) {
    while (i < s.size() && IsDigit(s[i])) ++i;
    if (i < s.size() && s[i] == '.') {
      ++i;
      while (i < s.size() && IsDigit(s[i])) ++i;
    }
    // An exponent only when digits follow; otherwise the "e" is left for the next token.
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
      std::size_t j = i + 1;
      if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
      if (j < s.size() && IsDigit(s[j])) {
        while (j < s.size() && IsDigit(s[j])) ++j;
        i = j;
      }
    }
    return finish(FilterTokenKind::kNumber, i);
  }
  if (c == '\'') {
    ++i;
    for (;;) {
      if (i == s.size()) {
        position_ = s.size();
        token.kind = FilterTokenKind::kError;
        token.text = "unterminated text";
        return token;
      }
      if (s[i] != '\'') {
        ++i;
        continue;
      }
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        i += 2;
        continue;
      }
      break;
    }
    token.kind = FilterTokenKind::kText;
    token.text = s.substr(begin + 1, i - begin - 1);
    position_ = i + 1;
    return token;
  }
  if (c == '@') {
    ++i;
    while (i < s.size() && !IsBlank(s[i]) && s[i] != ',' && s[i] != ')') ++i;
    return finish(FilterTokenKind::kPicture, i);
  }
  if (IsRelation(c)) {
    while (i < s.size() && IsRelation(s[i])) ++i;
    return finish(FilterTokenKind::kRelation, i);
  }
  switch (c) {
    case '(':
      return finish(FilterTokenKind::kLeftParen, i + 1);
    case ')':
      return finish(FilterTokenKind::kRightParen, i + 1);
    case ',':
      return finish(FilterTokenKind::kComma, i + 1);
    case '+':
      return finish(FilterTokenKind::kPlus, i + 1);
    case '-':
      return finish(FilterTokenKind::kMinus, i + 1);
    default:
      break;
  }
  const unsigned char u = static_cast<unsigned char>(c);
  const int n = u >= 0x21 && u < 0x7F
                    ? std::snprintf(unexpected_, sizeof unexpected_, "unexpected character '%c'", c)
                    : std::snprintf(unexpected_, sizeof unexpected_, "unexpected character 0x%02X",
                                    static_cast<unsigned>(u));
  position_ = s.size();
  token.kind = FilterTokenKind::kError;
  token.text = std::string_view(unexpected_, n > 0 ? static_cast<std::size_t>(n) : 0);
  return token;
}

}  // namespace morlan
