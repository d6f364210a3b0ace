// Two small files for the filter tests, INP and OUT, and helpers that parse a filter against
// them. Both files have a NAME field, so a bare NAME is ambiguous.
#pragma once

#include <string>
#include <string_view>

#include "common/field_value.h"
#include "common/record_layout.h"
#include "gtest/gtest.h"
#include "platform/filter_expression.h"
#include "platform/filter_parser.h"
#include "platform/memory_keyed_file.h"

namespace morlan::testing {

class FilterTestFiles {
 public:
  FilterTestFiles() : inp_("INP", InpLayout()), out_("OUT", OutLayout()) {}

  // INP: NAME text 12, REGION text 8, AMOUNT long, PRICE real, FLAG byte, CODE short.
  static RecordLayout InpLayout() {
    RecordLayout layout;
    layout.AddField("INP:NAME", FieldType::kText, 12);
    layout.AddField("INP:REGION", FieldType::kText, 8);
    layout.AddField("INP:AMOUNT", FieldType::kLong);
    layout.AddField("INP:PRICE", FieldType::kReal);
    layout.AddField("INP:FLAG", FieldType::kByte);
    layout.AddField("INP:CODE", FieldType::kShort);
    return layout;
  }
  // OUT: NAME text 10, NOTE text 40.
  static RecordLayout OutLayout() {
    RecordLayout layout;
    layout.AddField("OUT:NAME", FieldType::kText, 10);
    layout.AddField("OUT:NOTE", FieldType::kText, 40);
    return layout;
  }

  MemoryKeyedFile& inp() { return inp_; }
  MemoryKeyedFile& out() { return out_; }
  void Set(DataFile& file, std::string_view field, const FieldValue& value) {
    file.field(file.layout().Find(field)).Set(value);
  }
  void SetText(std::string_view field, std::string_view text) {
    Set(field.substr(0, 3) == "OUT" ? static_cast<DataFile&>(out_) : inp_, field,
        FieldValue::Text(text));
  }
  void SetNumber(std::string_view field, double number) {
    Set(inp_, field, FieldValue::Number(number));
  }

  // Parses `text`; on failure returns false with the message in `*error`.
  bool Parse(std::string_view text, FilterExpression* expression, std::string* error) {
    DataFile* const files[] = {&inp_, &out_};
    return FilterParser::Parse(text, files, expression, error);
  }
  // The parse error of `text`, or "parsed" when it parses.
  std::string ErrorOf(std::string_view text) {
    FilterExpression expression;
    std::string error;
    return Parse(text, &expression, &error) ? "parsed" : error;
  }
  // Whether `text` holds for the records now in the buffers; a parse error fails the test.
  bool Holds(std::string_view text) {
    FilterExpression expression;
    std::string error;
    if (!Parse(text, &expression, &error)) {
      ADD_FAILURE() << text << ": " << error;
      return false;
    }
    return expression.Matches();
  }

 private:
  MemoryKeyedFile inp_;
  MemoryKeyedFile out_;
};

}  // namespace morlan::testing
