// A filter in its parsed, evaluable form: a tree of nodes over constants and fields of record
// buffers, built by FilterParser (the language is described in platform/view.h). Matches tests
// the records now in the files' buffers.
//
// Evaluation allocates nothing: every text a node makes (UPPER, LOWER, FORMAT, a number written
// as text) goes into a buffer of its own, sized when the filter was parsed from the widths of
// its arguments. Its depth was bounded by the parser, so evaluation cannot run out of stack.
//
// The files the fields belong to are not owned; they must outlive the expression.
// Threading: Matches writes the working buffers, so one thread at a time per expression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/record_layout.h"
#include "platform/data_file.h"
#include "platform/picture.h"

namespace morlan {

class FilterExpression final {
 public:
  // An empty expression holds for every record.
  FilterExpression() = default;

  bool empty() const { return nodes_.empty(); }
  // True when the filter holds for the records now in the buffers. Allocates nothing.
  bool Matches();

  // Bytes of working buffer the expression evaluates with, and its number of nodes.
  std::size_t scratch_size() const { return scratch_.size(); }
  std::size_t node_count() const { return nodes_.size(); }

 private:
  friend class FilterParser;

  enum class Op : std::uint8_t {
    kNumber,    // constant number
    kText,      // constant text
    kField,     // a field of a record buffer
    kAnd,       // children: operands, in order
    kOr,        // children: operands, in order
    kNot,       // child: operand
    kCompare,   // children: left, right
    kUpper,     // child: text
    kLower,     // child: text
    kClip,      // child: text
    kSub,       // children: text, start, length
    kInstring,  // children: sub, text, step, start
    kFormat,    // child: value; picture
  };

  // Outcomes of a comparison, as bit positions of a relation's mask.
  static constexpr std::uint8_t kLess = 1;
  static constexpr std::uint8_t kEqual = 2;
  static constexpr std::uint8_t kGreater = 4;
  static constexpr std::uint8_t kUnordered = 8;  // a number that is not a number (NaN)

  // Room for a number written as text.
  static constexpr std::uint32_t kNumberText = 32;

  struct Node {
    Op op = Op::kNumber;
    bool text_result = false;  // the node's value is a text, else a number
    // kCompare: the outcomes for which the relation holds.
    std::uint8_t relation = 0;
    // kInstring over UPPER(text) with a constant sub: the text child is UPPER's argument and is
    // searched as if upper-cased, without making the upper-case copy.
    bool fold_case = false;
    FieldType field_type = FieldType::kText;
    std::uint32_t first_child = 0;  // index into children_
    std::uint32_t child_count = 0;
    double number = 0;       // kNumber
    std::int64_t whole = 0;  // kNumber: the number as a position or length (WholeNumber)
    // kText: the constant in texts_; kField: the field in its record buffer.
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    DataFile* file = nullptr;  // kField
    Picture picture;           // kFormat
    // The node's working buffers in scratch_: kNumberText bytes for each argument that is a
    // number used as text, from `scratch` on; its own result text from `result` on.
    std::uint32_t scratch = 0;
    std::uint32_t result = 0;
    // Longest text the node's value can be (a number: its longest text form).
    std::uint32_t bound = 0;
  };

  // A node's value: a number, or a text (trailing blanks already removed) that lives in a record
  // buffer, in texts_ or in scratch_.
  struct Value {
    bool is_text = false;
    double number = 0;
    const char* text = nullptr;
    std::size_t size = 0;
  };

  void Evaluate(std::uint32_t index, Value* value);
  void SubOf(const Node& node, Value* value);
  std::int64_t InstringOf(const Node& node);
  // Evaluate, with constants and fields taken directly.
  void Operand(std::uint32_t index, Value* value);
  std::uint32_t Child(const Node& node, std::uint32_t i) const {
    return children_[node.first_child + i];
  }
  // The value of child i as text: a number is written into the node's buffer at `slot`.
  void TextOf(const Node& node, std::uint32_t i, std::uint32_t slot, Value* value);
  // The number `value` as text, in the node's buffer at `slot`.
  void WriteNumber(const Node& node, std::uint32_t slot, Value* value);
  // The value of child i as a number: a text is read as one, 0 when it is none.
  double NumberOf(const Node& node, std::uint32_t i);
  // Child i as a position, length or step.
  std::int64_t WholeOf(const Node& node, std::uint32_t i);
  // A number as a position, length or step: cut toward zero, NaN as 0, and bounded far from
  // overflow in the arithmetic on positions.
  static std::int64_t WholeNumber(double value);
  bool Truth(std::uint32_t index);
  std::uint8_t Compare(const Node& node);

  std::vector<Node> nodes_;
  std::uint32_t root_ = 0;
  std::vector<std::uint32_t> children_;
  std::string texts_;
  std::vector<char> scratch_;
};

}  // namespace morlan
