#include "platform/filter_parser.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

#include "common/text_compare.h"

namespace morlan {

namespace {

// A name or picture as a message quotes it: cut, and with anything unprintable shown as "?".
std::string Quoted(std::string_view text) {
  constexpr std::size_t kMost = 40;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  if (text.size() > kMost) out += "...";
  out += '\'';
  return out;
}

}  // namespace

bool FilterParser::Parse(std::string_view text, std::span<DataFile* const> files,
                         FilterExpression* expression, std::string* error) {
  FilterParser parser(text, files);
  parser.Advance();
  if (parser.Is(FilterTokenKind::kEnd)) {
    *expression = FilterExpression();
    return true;
  }
  std::uint32_t root = parser.ParseOr();
  if (root != kFailed && !parser.Is(FilterTokenKind::kEnd)) {
    root = parser.Expected("AND, OR or the end");
  }
  if (root == kFailed) {
    *error = std::move(parser.error_);
    return false;
  }
  parser.expression_.root_ = root;
  parser.expression_.scratch_.assign(parser.scratch_bytes_, '\0');
  *expression = std::move(parser.expression_);
  return true;
}

bool FilterParser::IsWord(std::string_view word) const {
  return token_.kind == FilterTokenKind::kName && EqualsNoCase(token_.text, word);
}

std::uint32_t FilterParser::Fail(std::string_view what, std::size_t column,
                                 std::string_view after) {
  if (error_.empty()) {
    error_ = "Filter: ";
    error_ += what;
    error_ += " at column ";
    error_ += std::to_string(column);
    error_ += after;
  }
  return kFailed;
}

std::uint32_t FilterParser::Expected(std::string_view what) {
  // A broken token says more than what was expected in its place.
  if (Is(FilterTokenKind::kError)) return Fail(token_.text, token_.column);
  return Fail("expected " + std::string(what), token_.column);
}

bool FilterParser::Enter(std::size_t column) {
  if (depth_ >= kMaxDepth) {
    Fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels", column);
    return false;
  }
  ++depth_;
  return true;
}

std::uint32_t FilterParser::ParseOr() { return ParseChain(Op::kOr, "OR", &FilterParser::ParseAnd); }

std::uint32_t FilterParser::ParseAnd() {
  return ParseChain(Op::kAnd, "AND", &FilterParser::ParseNot);
}

std::uint32_t FilterParser::ParseChain(Op op, std::string_view word,
                                       std::uint32_t (FilterParser::*operand)()) {
  const std::size_t column = token_.column;
  const std::uint32_t first = (this->*operand)();
  if (first == kFailed || !IsWord(word)) return first;
  // One node for the whole chain: a long chain adds no depth.
  std::vector<std::uint32_t> operands{first};
  while (IsWord(word)) {
    Advance();
    const std::uint32_t next = (this->*operand)();
    if (next == kFailed) return kFailed;
    operands.push_back(next);
  }
  Node chain;
  chain.op = op;
  chain.bound = FilterExpression::kNumberText;
  return Add(chain, operands, column);
}

std::uint32_t FilterParser::ParseNot() {
  if (!IsWord("NOT")) return ParseComparison();
  const std::size_t column = token_.column;
  Advance();
  if (!Enter(column)) return kFailed;
  const std::uint32_t operand = ParseNot();
  Leave();
  if (operand == kFailed) return kFailed;
  Node negation;
  negation.op = Op::kNot;
  negation.bound = FilterExpression::kNumberText;
  return Add(negation, std::span(&operand, 1), column);
}

std::uint32_t FilterParser::ParseComparison() {
  const std::size_t column = token_.column;
  const std::uint32_t left = ParseOperand();
  if (left == kFailed || !Is(FilterTokenKind::kRelation)) return left;

  // Each character at most once, "=" only last, not all three of < > =.
  const std::string_view written = token_.text;
  bool less = false;
  bool greater = false;
  bool equal = false;
  bool negated = false;
  bool valid = true;
  for (std::size_t i = 0; i < written.size() && valid; ++i) {
    bool* seen = nullptr;
    switch (written[i]) {
      case '<':
        seen = &less;
        break;
      case '>':
        seen = &greater;
        break;
      case '~':
        seen = &negated;
        break;
      default:
        seen = &equal;
        valid = i + 1 == written.size();
        break;
    }
    valid = valid && !*seen;
    *seen = true;
  }
  if (!valid || (less && greater && equal)) {
    return Fail("invalid relation " + Quoted(written), token_.column);
  }
  std::uint8_t relation = 0;
  if (less && greater) {
    relation = FilterExpression::kLess | FilterExpression::kGreater | FilterExpression::kUnordered;
  } else if (less || greater) {
    relation = less ? FilterExpression::kLess : FilterExpression::kGreater;
    if (equal) relation |= FilterExpression::kEqual;
  } else {
    relation = FilterExpression::kEqual;  // "=", and the lone "~" that negates it
  }
  if (negated) {
    relation = static_cast<std::uint8_t>(
        ~relation & (FilterExpression::kLess | FilterExpression::kEqual |
                     FilterExpression::kGreater | FilterExpression::kUnordered));
  }
  Advance();

  const std::uint32_t right = ParseOperand();
  if (right == kFailed) return kFailed;
  Node comparison;
  comparison.op = Op::kCompare;
  comparison.relation = relation;
  comparison.bound = FilterExpression::kNumberText;
  const std::uint32_t operands[] = {left, right};
  // A text compared with a number that it does not hold is compared with the number's text.
  const bool mixed = node(left).text_result != node(right).text_result;
  return Add(comparison, operands, column, mixed ? 1 : 0);
}

std::uint32_t FilterParser::ParseOperand() {
  const std::size_t column = token_.column;
  switch (token_.kind) {
    case FilterTokenKind::kNumber:
      return ParseNumber(false, column);
    case FilterTokenKind::kMinus:
    case FilterTokenKind::kPlus: {
      const bool negative = Is(FilterTokenKind::kMinus);
      Advance();
      if (!Is(FilterTokenKind::kNumber)) {
        return Expected(negative ? "a number after '-'" : "a number after '+'");
      }
      return ParseNumber(negative, column);
    }
    case FilterTokenKind::kText:
      return ParseText();
    case FilterTokenKind::kName: {
      if (IsWord("AND") || IsWord("OR") || IsWord("NOT")) return Expected("a value");
      const FilterToken name = token_;
      Advance();
      if (Is(FilterTokenKind::kLeftParen)) return ParseFunction(name);
      return ParseField(name);
    }
    case FilterTokenKind::kLeftParen: {
      Advance();
      if (!Enter(column)) return kFailed;
      const std::uint32_t inner = ParseOr();
      Leave();
      if (inner == kFailed) return kFailed;
      if (!Is(FilterTokenKind::kRightParen)) return Expected("')'");
      Advance();
      return inner;
    }
    case FilterTokenKind::kPicture:
      return Fail("a picture is only allowed as FORMAT's second argument", column);
    default:
      return Expected("a value");
  }
}

std::uint32_t FilterParser::ParseNumber(bool negative, std::size_t column) {
  const std::string_view digits = token_.text;
  double value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
    return Fail("number " + Quoted(digits) + " out of range", token_.column);
  }
  Advance();
  Node constant;
  constant.op = Op::kNumber;
  constant.number = negative ? -value : value;
  constant.whole = FilterExpression::WholeNumber(constant.number);
  constant.bound = FilterExpression::kNumberText;
  return Add(constant, {}, column);
}

std::uint32_t FilterParser::ParseText() {
  const std::size_t column = token_.column;
  std::string& texts = expression_.texts_;
  const std::size_t offset = texts.size();
  const std::string_view written = token_.text;
  for (std::size_t i = 0; i < written.size(); ++i) {
    texts += written[i];
    if (written[i] == '\'') ++i;  // the second of a doubled apostrophe
  }
  // Trailing blanks never count, so the constant is kept without them.
  while (texts.size() > offset && texts.back() == ' ') texts.pop_back();
  Advance();
  Node constant;
  constant.op = Op::kText;
  constant.text_result = true;
  constant.offset = static_cast<std::uint32_t>(offset);
  constant.size = static_cast<std::uint32_t>(texts.size() - offset);
  constant.bound = constant.size;
  if (texts.size() > UINT32_MAX / 2) return Fail("text too long", column);
  return Add(constant, {}, column);
}

std::uint32_t FilterParser::ParseField(const FilterToken& name) {
  DataFile* found_file = nullptr;
  const FieldDesc* found = nullptr;
  int matches = 0;
  for (DataFile* file : files_) {
    const RecordLayout& layout = file->layout();
    for (int i = 0; i < layout.field_count(); ++i) {
      if (!layout.Names(i, name.text)) continue;
      ++matches;
      found_file = file;
      found = &layout.field(i);
    }
  }
  if (matches == 0) return Fail("unknown field " + Quoted(name.text), name.column);
  if (matches > 1) return Fail("field " + Quoted(name.text), name.column, " is ambiguous");
  Node field;
  field.op = Op::kField;
  field.file = found_file;
  field.field_type = found->type;
  field.offset = found->offset;
  field.size = found->size;
  field.text_result = found->type == FieldType::kText;
  field.bound = field.text_result ? found->size : FilterExpression::kNumberText;
  return Add(field, {}, name.column);
}

std::uint32_t FilterParser::ParseFunction(const FilterToken& name) {
  struct Function {
    std::string_view name;
    Op op;
    std::uint32_t arguments;
  };
  static constexpr Function kFunctions[] = {
      {"UPPER", Op::kUpper, 1}, {"LOWER", Op::kLower, 1},       {"CLIP", Op::kClip, 1},
      {"SUB", Op::kSub, 3},     {"INSTRING", Op::kInstring, 4}, {"FORMAT", Op::kFormat, 2},
  };
  const Function* function = nullptr;
  for (const Function& candidate : kFunctions) {
    if (EqualsNoCase(candidate.name, name.text)) function = &candidate;
  }
  if (function == nullptr) return Fail("unknown function " + Quoted(name.text), name.column);
  if (!Enter(name.column)) return kFailed;
  Advance();  // the "("

  std::vector<std::uint32_t> arguments;
  std::vector<std::size_t> columns;
  Picture picture;
  if (!Is(FilterTokenKind::kRightParen)) {
    for (;;) {
      columns.push_back(token_.column);
      if (function->op == Op::kFormat && arguments.size() == 1) {
        // FORMAT's second argument is a picture, not a value.
        if (!Is(FilterTokenKind::kPicture)) {
          Leave();
          return Expected("a picture such as @N9.2");
        }
        std::string why;
        if (!Picture::Parse(token_.text, &picture, &why)) {
          Leave();
          return Fail(why, token_.column);
        }
        Advance();
        arguments.push_back(kFailed);  // stands for the picture
      } else {
        const std::uint32_t argument = ParseOr();
        if (argument == kFailed) {
          Leave();
          return kFailed;
        }
        arguments.push_back(argument);
      }
      if (!Is(FilterTokenKind::kComma)) break;
      Advance();
    }
  }
  Leave();
  if (!Is(FilterTokenKind::kRightParen)) return Expected("',' or ')'");
  if (arguments.size() != function->arguments) {
    return Fail(std::string(function->name) + " needs " + std::to_string(function->arguments) +
                    (function->arguments == 1 ? " argument" : " arguments"),
                name.column);
  }
  Advance();

  Node call;
  call.op = function->op;
  const Node& first = node(arguments[0]);
  // Room for the first argument when it is a number written as text.
  const std::uint32_t first_bound = first.bound;
  switch (function->op) {
    case Op::kUpper:
    case Op::kLower:
      call.text_result = true;
      call.bound = first_bound;
      return Add(call, arguments, name.column, first.text_result ? 0 : 1, first_bound);
    case Op::kClip:
    case Op::kSub:
      call.text_result = true;
      call.bound = first_bound;
      return Add(call, arguments, name.column, first.text_result ? 0 : 1);
    case Op::kInstring: {
      const Node& step = node(arguments[2]);
      if (step.op == Op::kNumber && step.whole == 0) {
        return Fail("INSTRING's step is 0", columns[2]);
      }
      call.bound = FilterExpression::kNumberText;
      // A constant searched for in the upper-cased text of a field: searched in the field with
      // its letters taken as upper case, which is the same and costs no copy. (A constant with
      // lower-case letters is never found in upper case; the plain way says so.)
      const Node& text = node(arguments[1]);
      if (first.op == Op::kText && text.op == Op::kUpper && node(Child(text, 0)).text_result) {
        const std::string_view sub(expression_.texts_.data() + first.offset, first.size);
        if (std::none_of(sub.begin(), sub.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
          call.fold_case = true;
          arguments[1] = Child(text, 0);
          return Add(call, arguments, name.column);
        }
      }
      const std::uint32_t conversions = !text.text_result ? 2 : !first.text_result ? 1 : 0;
      return Add(call, arguments, name.column, conversions);
    }
    case Op::kFormat: {
      call.text_result = true;
      call.picture = picture;
      call.bound = static_cast<std::uint32_t>(picture.width());
      const std::uint32_t value = arguments[0];
      return Add(call, std::span(&value, 1), name.column, 0, call.bound);
    }
    default:
      return Fail("unknown function " + Quoted(name.text), name.column);
  }
}

std::uint32_t FilterParser::Add(Node added, std::span<const std::uint32_t> children,
                                std::size_t column, std::uint32_t conversions,
                                std::uint32_t result_bytes) {
  FilterExpression& e = expression_;
  if (e.nodes_.size() >= kMaxNodes) {
    return Fail("filter too long (more than " + std::to_string(kMaxNodes) + " parts)", column);
  }
  const std::size_t bytes =
      std::size_t{conversions} * FilterExpression::kNumberText + std::size_t{result_bytes};
  if (scratch_bytes_ + bytes > kMaxScratchBytes) {
    return Fail("filter needs more than " + std::to_string(kMaxScratchBytes / (1024 * 1024)) +
                    " MiB of working buffers",
                column);
  }
  added.scratch = static_cast<std::uint32_t>(scratch_bytes_);
  added.result =
      static_cast<std::uint32_t>(scratch_bytes_ + conversions * FilterExpression::kNumberText);
  scratch_bytes_ += bytes;
  added.first_child = static_cast<std::uint32_t>(e.children_.size());
  added.child_count = static_cast<std::uint32_t>(children.size());
  e.children_.insert(e.children_.end(), children.begin(), children.end());
  e.nodes_.push_back(added);
  return static_cast<std::uint32_t>(e.nodes_.size() - 1);
}

}  // namespace morlan
