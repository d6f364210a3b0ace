// Parses a filter text (the language is described in platform/view.h) into a FilterExpression,
// binding its field names to the record layouts of the given files.
//
// Bad input never crashes or hangs: a text that does not parse, names an unknown or ambiguous
// field or an unknown function, nests deeper than kMaxDepth, or would need more than kMaxNodes
// nodes or kMaxScratchBytes of working buffers is refused with a message that names the column
// and what was wrong or expected. Parsing takes time and memory in proportion to the text.
//
// Threading: Parse is reentrant; the files' layouts are only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_file.h"
#include "platform/filter_expression.h"
#include "platform/filter_lexer.h"

namespace morlan {

class FilterParser final {
 public:
  static constexpr int kMaxDepth = 64;
  static constexpr std::size_t kMaxNodes = 65536;
  static constexpr std::size_t kMaxScratchBytes = std::size_t{4} * 1024 * 1024;

  // Parses `text` against the fields of `files` (none may be null). A blank text gives the
  // empty expression. On success replaces `*expression` and returns true. On failure returns
  // false, leaves `*expression` as it was and sets `*error` to "Filter: <what> at column <n>".
  static bool Parse(std::string_view text, std::span<DataFile* const> files,
                    FilterExpression* expression, std::string* error);

 private:
  using Node = FilterExpression::Node;
  using Op = FilterExpression::Op;
  static constexpr std::uint32_t kFailed = UINT32_MAX;

  FilterParser(std::string_view text, std::span<DataFile* const> files)
      : lexer_(text), files_(files) {}

  void Advance() { token_ = lexer_.Next(); }
  bool Is(FilterTokenKind kind) const { return token_.kind == kind; }
  bool IsWord(std::string_view word) const;
  // Records the first failure, "Filter: <what> at column <column><after>"; returns kFailed for
  // the caller to pass on.
  std::uint32_t Fail(std::string_view what, std::size_t column, std::string_view after = {});
  // Fails at the current token: "expected <what>", or what is wrong with a broken token.
  std::uint32_t Expected(std::string_view what);
  // One level deeper (parenthesis, NOT, function call); false, with the error set, past
  // kMaxDepth. An Enter that returned true is matched by a Leave.
  bool Enter(std::size_t column);
  void Leave() { --depth_; }

  std::uint32_t ParseOr();
  std::uint32_t ParseAnd();
  std::uint32_t ParseNot();
  std::uint32_t ParseComparison();
  std::uint32_t ParseOperand();
  std::uint32_t ParseNumber(bool negative, std::size_t column);
  std::uint32_t ParseText();
  std::uint32_t ParseField(const FilterToken& name);
  std::uint32_t ParseFunction(const FilterToken& name);
  // AND and OR: operands joined by `word`, as one node when there are two or more.
  std::uint32_t ParseChain(Op op, std::string_view word, std::uint32_t (FilterParser::*operand)());

  // Adds a node with `children` and working buffers for `conversions` numbers written as text
  // plus `result_bytes` of its own; kFailed (with the error set) past the limits.
  std::uint32_t Add(Node node, std::span<const std::uint32_t> children, std::size_t column,
                    std::uint32_t conversions = 0, std::uint32_t result_bytes = 0);
  const Node& node(std::uint32_t index) const { return expression_.nodes_[index]; }
  std::uint32_t Child(const Node& parent, std::uint32_t i) const {
    return expression_.children_[parent.first_child + i];
  }

  FilterLexer lexer_;
  std::span<DataFile* const> files_;
  FilterToken token_;
  int depth_ = 0;
  std::size_t scratch_bytes_ = 0;
  std::string error_;
  FilterExpression expression_;
};

}  // namespace morlan
